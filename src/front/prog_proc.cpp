// Procedures: one program per call (procedurecreate, prog2prg) and the
// assume/guarantee harness of a single procedure (AGcheckmodule).
#include <cstdio>
#include <cstring>

#include "front/progint.h"
#include "front/clk.h"
#include "front/int.h"
#include "opt/opt.h"
#include "tree/check.h"

static bool ismarker1(const tree *e) {
  return PROGis(e, '=') && PROGisleaf(e->left) && PROGisleaf(e->right) &&
         std::strcmp(e->left->text, "1") == 0 && std::strcmp(e->right->text, "1") == 0;
}

// Copies of the assumption and guarantee lists (without their 1=1 markers)
// of a procedure body; false when the body has none.
static bool procparts(const tree *body, std::vector<tree *> &as, std::vector<tree *> &gs) {
  std::vector<tree *> sections = PROGelems(body->right->right->right, '#');
  int found = 0;
  for (tree *s : sections) {
    std::vector<tree *> el = PROGelems(s);
    if (el.empty() || !ismarker1(el[0])) continue;
    std::vector<tree *> &dst = found == 0 ? as : gs;
    for (size_t i = 1; i < el.size(); ++i) dst.push_back(treecopy(el[i]));
    if (++found == 2) break;
  }
  return found > 0;
}

// Declarations in the assumption are taken out (to decls) and become 1=1.
static tree *cleanassumption(std::vector<tree *> &as, std::vector<tree *> *decls) {
  tree *c = nullptr;
  for (tree *&e : as) {
    if (PROGis(e, ':')) {
      if (decls) decls->push_back(e);
      else treefree(e);
      e = string2tree(std::string("1=1"));
    }
    c = PROGand(c, e);
  }
  return c;
}

static tree *conj(std::vector<tree *> &v) {
  tree *c = nullptr;
  for (tree *e : v) c = PROGand(c, e);
  return c;
}

static std::string three(int i) {
  char b[16];
  std::snprintf(b, sizeof b, "%3i", i);
  for (char *c = b; *c; ++c)
    if (*c == ' ') *c = '0';
  return b;
}

tree *procedurecreate(const tree *call, modrec *modules, const tree *callervars, int mode) {
  static int counter = 0;
  const tree *name = PROGis(call, ':') ? call->left : call;
  if (!PROGisleaf(name)) utilerror("procedure");
  modrec *m = PROGfindmodule(modules, name->text);
  if (!m || m->kind != 'P') utilerror("procedure");
  std::string num = three(counter++);
  std::string inst = std::string(name->text) + "_x_" + num;
  tree *body = treecopy(m->body);
  std::vector<tree *> locals;
  for (tree *d : PROGelems(body->left))
    if (PROGis(d, ':') && d->left) locals.push_back(PROGleaf(PROGkey(d->left->text), "procedure"));
  tree *ll = PROGvec2list(locals);
  treereplacenames(body, m->header->right, PROGis(call, ':') ? call->right : nullptr, ll, inst.c_str());
  treefree(ll);
  std::string ret = "ret_" + num;
  PROGwalk(body, [&](tree *&n) {
    if (std::strcmp(n->text, "ret_") == 0) PROGsettext(n, ret, "procedure");
    return true;
  });
  // caller's declarations without their bit numbers
  std::vector<tree *> vars;
  for (tree *d : PROGelems(const_cast<tree *>(callervars))) {
    tree *c = treecopy(d);
    if (PROGis(c, ':') && c->left) {
      treefree(c->left->left), treefree(c->left->right);
      c->left->left = c->left->right = nullptr;
    }
    vars.push_back(c);
  }
  size_t callers = vars.size();
  for (tree *d : PROGunlist(body->left)) vars.push_back(d);
  body->left = nullptr;
  vars.push_back(treecompose(":", PROGleaf(ret, "procedure"), PROGleaf("0..1", "procedure")));
  std::vector<tree *> as, gs;
  tree *fourth;
  if (mode != -1 && procparts(body, as, gs)) {
    fourth = treecompose(";", cleanassumption(as, nullptr), conj(gs));
    for (size_t i = callers; i < vars.size(); ++i) treefree(vars[i]);
    vars.resize(callers);
  } else {
    fourth = treecompose(";", nullptr, nullptr);
  }
  tree *res = treecompose("#", PROGvec2list(vars),
                          treecompose("#", body->right->left,
                                      treecompose("#", body->right->right->left, fourth)));
  body->right->left = body->right->right->left = nullptr;
  treefree(body);
  // the width probe sees an overflow inside the procedure: it sets err_x_ and returns
  if (op0.prop == PARSEL_INTW && PROGpart(res, 2)) {
    PROGreplacesemiand(PROGpart(res, 1));
    if (tree *ovf = intcheckvlist(modules, res, ret.c_str())) {
      tree **ts = PROGpartref(res, 2);
      std::vector<tree *> v = PROGunlist(*ts);
      for (tree *e : PROGunlist(ovf)) v.push_back(e);
      *ts = PROGvec2list(v);
    }
  }
  return res;
}

// The program record of one procedure call: one process, flattened like the
// model, encoding information filled; no deadlock condition.
prg *prog2prg(tree *prog) {
  prg *p = new prg{};
  LUM_OWN(p);
  p->prog = prog;
  tree *fourth = prog->right->right->right;
  if (!PROGis(fourth, ';')) utilerror("prog2prg");
  fourth->text[0] = '#';  // flattened like fairness and properties
  if (clkcheckvlist(prog)) utilerror("clock in procedure");
  modrec *mods = ggb ? ggb->modules : nullptr;
  for (tree *t : PROGelems(PROGpart(prog, 2))) PROGreplacecolon(t, mods);
  PROGreplacesemiand(PROGpart(prog, 1));
  PROGreplacechan(prog);
  p->PRCNT = 1;
  p->procs.assign(1, prgproc{});
  p->procs[0].n = (int)PROGelems(PROGpart(prog, 2)).size();
  PROGsyncprocs(p);
  ggbtssplitt(p, mods);
  F2Pflatten(prog);
  PROGsyncprocs(p);
  prog->right->right->right->text[0] = ';';
  tree *vars = PROGpart(prog, 0);
  p->BOOLN = INFOvlist(vars);
  p->varc = INFOconstr_a(vars);
  p->vlist = treecopy(vars);
  p->PURETRANS = 0;
  return p;
}

int AGcheckmodule(modrec *modules, const char *name) {
  modrec *m = PROGfindmodule(modules, name);
  if (!m || m->kind != 'P') return 0;
  tree *mb = modules->body;
  std::vector<tree *> as, gs, decls;
  procparts(m->body, as, gs);
  for (tree *g : gs) treefree(g);
  tree *assume = cleanassumption(as, &decls);
  std::vector<tree *> vars = PROGunlist(mb->left);
  vars.push_back(string2tree(std::string("pc_x_:0..1")));
  vars.insert(vars.end(), decls.begin(), decls.end());
  mb->left = PROGvec2list(vars);
  treefree(mb->right->left);
  mb->right->left = PROGand(assume, string2tree(std::string("pc_x_=0")));
  tree *params = m->header->right;
  bool none = PROGisleaf(params) && PROGdigit(params->text[0]);
  tree *call = none ? PROGleaf(name, "AGcheckmodule")
                    : treecompose(":", PROGleaf(name, "AGcheckmodule"), treecopy(params));
  tree *t1 = treecompose(":", string2tree(std::string("pc_x_=0")),
                         treecompose("&", call, string2tree(std::string("pc_x_=1"))));
  tree *t2 = string2tree(std::string("pc_x_=1:pc_x_=1"));
  treefree(mb->right->right->left);
  mb->right->right->left = treecompose(";", t1, t2);
  tree **rest = &mb->right->right->right;
  *rest = treecompose("#", string2tree(std::string("AG(1=1)")), *rest);
  return 1;
}
