// Processes: merging module instances into one program, instance renaming,
// "pid", fairness with the process identity, nested guards, call splitting.
#include <cstdio>
#include <cstring>

#include "front/progint.h"

tree **PROGpartref(tree *prog, int k) {
  tree **s = &prog;
  for (int i = 0; i < k; ++i) {
    if (!*s || !PROGis(*s, '#')) utilerror("program");
    s = &(*s)->right;
  }
  if (k == 4) return s;
  if (!*s || !PROGis(*s, '#')) utilerror("program");
  return &(*s)->left;
}

tree *PROGpart(tree *prog, int k) { return *PROGpartref(prog, k); }

void PROGsyncprocs(prg *p) {
  std::vector<tree *> all = PROGelems(PROGpart(p->prog, 2));
  size_t at = 0;
  for (prgproc &pr : p->procs) {
    if (at + pr.n > all.size()) utilerror("ggbtssplitt");
    pr.trans.assign(all.begin() + at, all.begin() + at + pr.n);
    pr.calls.resize(pr.n, nullptr);
    at += pr.n;
  }
  if (at != all.size()) utilerror("ggbtssplitt");
}

// The fairness section begins with its marker element 1=0; nothing else
// (an equality as first property, say) is taken for one.
static bool ismarker(const tree *e) {
  return PROGis(e, '=') && PROGisleaf(e->left) && PROGisleaf(e->right) &&
         std::strcmp(e->left->text, "1") == 0 && std::strcmp(e->right->text, "0") == 0;
}

tree *specmergeg1(tree *rest) {
  std::vector<tree *> sections = PROGunlist(rest, '#'), fair, props;
  for (tree *s : sections) {
    std::vector<tree *> el = PROGunlist(s);
    if (!el.empty() && ismarker(el[0])) {
      treefree(el[0]);
      fair.insert(fair.end(), el.begin() + 1, el.end());
    } else {
      props.insert(props.end(), el.begin(), el.end());
    }
  }
  return treecompose("#", PROGvec2list(fair), PROGvec2list(props));
}

void reprunning2(tree *&t, int i) {
  PROGwalk(t, [&](tree *&n) {
    if (std::strcmp(n->text, "running") == 0 && PROGisleaf(n)) {
      treefree(n);
      n = treecompose("=", PROGleaf("p_id_", "running"), treenum(i));
      return false;
    }
    return true;
  });
}

tree *specmerge(tree *merged, tree *part, int i) {
  reprunning2(part->left, i);
  std::vector<tree *> f = PROGunlist(merged->left), pr = PROGunlist(merged->right);
  for (tree *e : PROGunlist(part->left)) f.push_back(e);
  for (tree *e : PROGunlist(part->right)) pr.push_back(e);
  part->left = part->right = nullptr;
  treefree(part);
  merged->left = PROGvec2list(f);
  merged->right = PROGvec2list(pr);
  return merged;
}

void replacepid1(tree *t, int i) {
  char num[16];
  std::snprintf(num, sizeof num, "%3i", i);
  for (char *c = num; *c; ++c)
    if (*c == ' ') *c = '0';
  PROGwalk(t, [&](tree *&n) {
    if (std::strcmp(n->text, "pid") == 0) {
      PROGsettext(n, num, "pid");
      return true;
    }
    std::string s = n->text;
    bool changed = false;
    for (size_t p = s.find("pid", 1); p != std::string::npos; p = s.find("pid", p + 1)) {
      char after = p + 3 < s.size() ? s[p + 3] : 0;
      if (PROGalnum(after) || after == '_') continue;
      s.replace(p, 3, num);
      changed = true;
    }
    if (changed) PROGsettext(n, s, "pid");
    return true;
  });
}

static bool idchar(char c) { return PROGalnum(c) || c == '_' || c == '.'; }

// Names inside an index: whole identifiers that are formals or locals.
static std::string renameindex(const std::string &idx, const std::vector<std::string> &fnames,
                               const std::vector<std::string> &atexts,
                               const std::vector<std::string> &lnames, const std::string &inst) {
  std::string out;
  for (size_t i = 0; i < idx.size();) {
    if (!PROGlower(idx[i]) || (i > 0 && idchar(idx[i - 1]))) {
      out += idx[i++];
      continue;
    }
    size_t j = i;
    while (j < idx.size() && idchar(idx[j])) ++j;
    std::string id = idx.substr(i, j - i);
    std::string rep = id;
    for (size_t k = 0; k < fnames.size(); ++k)
      if (fnames[k] == id) rep = atexts[k];
    if (rep == id)
      for (const std::string &l : lnames)
        if (l == id || l == id + "[") rep = inst + "." + id;
    out += rep;
    i = j;
  }
  return out;
}

void treereplacenames(tree *body, const tree *formals, const tree *actuals, const tree *locals,
                      const char *inst) {
  std::vector<tree *> fv = PROGelems(const_cast<tree *>(formals), '|');
  std::vector<tree *> av = PROGelems(const_cast<tree *>(actuals), '|');
  if (fv.size() == 1 && PROGisleaf(fv[0]) && PROGdigit(fv[0]->text[0])) fv.clear();  // leaf 1: none
  if (fv.empty()) av.clear();
  if (av.size() != fv.size()) utilerror("module");
  std::vector<std::string> fnames, atexts, lnames;
  for (size_t k = 0; k < fv.size(); ++k) {
    fnames.push_back(fv[k]->text);
    std::string t;
    treewrites(av[k], t, 0);
    atexts.push_back(PROGisleaf(av[k]) ? t : "(" + t + ")");
  }
  for (tree *l : PROGelems(const_cast<tree *>(locals))) lnames.push_back(l->text);
  std::string in = inst;
  PROGwalk(body, [&](tree *&n) {
    if (!PROGlower(n->text[0])) return true;
    for (size_t k = 0; k < fnames.size(); ++k)
      if (fnames[k] == n->text) {  // a formal stands for its actual, which may be an expression
        tree *c = treecopy(av[k]);
        treefree(n);
        n = c;
        return false;
      }
    for (const std::string &l : lnames)
      if (l == n->text) {
        PROGsettext(n, in + "." + l, "treecopyreplace");
        return true;
      }
    char buf[4 * TREE_TEXTLEN];
    std::snprintf(buf, sizeof buf, "%s", n->text);
    bool done = false;
    for (size_t k = 0; k < fnames.size() && !done; ++k)
      if (atexts[k].size() < (size_t)TREE_TEXTLEN)
        done = stringreplacestringfixlength(buf, fnames[k].c_str(), atexts[k].c_str());
    for (size_t k = 0; k < lnames.size() && !done; ++k)
      done = stringreplacestringfixlength(buf, lnames[k].c_str(), (in + "." + lnames[k]).c_str());
    std::string s = buf;
    size_t b = s.find('[');
    if (b != std::string::npos)
      s = s.substr(0, b + 1) + renameindex(s.substr(b + 1), fnames, atexts, lnames, in);
    PROGsettext(n, s, "treecopyreplace");
    return true;
  });
}

tree *treecopyreplace(const tree *inst, modrec *modules) {
  if (!PROGis(inst, ':') || !PROGisleaf(inst->left) || !inst->right) utilerror("module");
  const tree *call = inst->right;
  const tree *name = PROGis(call, ':') ? call->left : call;
  const tree *args = PROGis(call, ':') ? call->right : nullptr;
  if (!PROGisleaf(name)) utilerror("module");
  modrec *m = PROGfindmodule(modules, name->text);
  if (!m || m->kind != 'M') utilerror("module");
  tree *body = treecopy(m->body);
  std::vector<tree *> locals;
  for (tree *d : PROGelems(body->left))
    if (PROGis(d, ':') && d->left) locals.push_back(PROGleaf(PROGkey(d->left->text), "module"));
  tree *ll = PROGvec2list(locals);
  treereplacenames(body, m->header->right, args, ll, inst->left->text);
  treefree(ll);
  return body;
}

tree *PROGmerge(modrec *modules, prg *p) {
  tree *mb = modules->body;
  tree *rest = specmergeg1(treecopy(mb->right->right->right));
  tree *trans = mb->right->right->left;
  if (!modules->next || modules->next->kind != 'M') {
    p->PRCNT = 1;
    p->procs.assign(1, prgproc{});
    p->procs[0].n = (int)PROGelems(trans).size();
    return treecompose("#", treecopy(mb->left),
                       treecompose("#", treecopy(mb->right->left),
                                   treecompose("#", treecopy(trans), rest)));
  }
  std::vector<tree *> vars = PROGunlist(treecopy(mb->left)), trs;
  std::vector<tree *> init{treecopy(mb->right->left)};
  std::vector<tree *> insts = PROGelems(trans);
  p->PRCNT = (int)insts.size();
  p->procs.assign(insts.size(), prgproc{});
  for (size_t i = 0; i < insts.size(); ++i) {
    tree *b = treecopyreplace(insts[i], modules);
    replacepid1(b, (int)i);
    for (tree *v : PROGunlist(b->left)) vars.push_back(v);
    if (b->right->left) init.push_back(b->right->left);
    std::vector<tree *> t = PROGunlist(b->right->right->left);
    p->procs[i].n = (int)t.size();
    trs.insert(trs.end(), t.begin(), t.end());
    rest = specmerge(rest, specmergeg1(b->right->right->right), (int)i);
    b->right->right->right = b->right->right->left = b->right->left = b->left = nullptr;
    treefree(b);
  }
  if (!rest->right) rest->right = string2tree(std::string("1=1"));
  return treecompose("#", PROGvec2list(vars),
                     treecompose("#", PROGvec2list(init, '&'),
                                 treecompose("#", PROGvec2list(trs), rest)));
}

// The inner ":" of g : p(args) is a call, not a nested guard.
static bool iscall(const tree *t, modrec *modules) {
  const tree *name = PROGis(t, ':') ? t->left : t;
  if (!PROGisleaf(name)) return false;
  modrec *m = PROGfindmodule(modules, name->text);
  return m && m->kind == 'P';
}

void PROGreplacecolon(tree *tr, modrec *modules) {
  if (!PROGis(tr, ':')) return;
  tree *in = tr->right;
  if (!PROGis(in, ':') || iscall(in, modules)) return;
  PROGreplacecolon(in, modules);  // innermost first
  tr->left = treecompose("&", tr->left, in->left);
  tr->right = in->right;
  in->left = in->right = nullptr;
  treefree(in);
}

void ggbtssplitt(prg *p, modrec *modules) {
  for (prgproc &pr : p->procs) {
    pr.calls.assign(pr.n, nullptr);
    for (int j = 0; j < pr.n; ++j) {
      tree *t = pr.trans[j];
      if (!PROGis(t, ':') || !t->right) continue;
      if (iscall(t->right, modules)) {
        pr.calls[j] = t->right;
        t->right = treeconst(1);
        continue;
      }
      // the first conjunct of a conjunction: the leftmost operand of its "&" chain
      tree **s = &t->right;
      tree **parent = nullptr;
      while (PROGis(*s, '&')) {
        parent = s;
        s = &(*s)->left;
      }
      if (!parent || !iscall(*s, modules)) continue;
      pr.calls[j] = *s;
      tree *cell = *parent;
      *parent = cell->right;
      cell->left = cell->right = nullptr;
      treefree(cell);
    }
  }
}

void fnessaddprog(prg *p) {
  tree *r = p->prog->right->right->right;
  if (!PROGis(r, '#')) utilerror("checkfness");
  PROGwalk(r->left, [&](tree *&n) {
    if (std::strcmp(n->text, "running") == 0 && PROGisleaf(n)) {
      treefree(n);
      n = string2tree(std::string("1=1"));
      return false;
    }
    return true;
  });
  if (!treesearch("p_id_", 0, r->left)) return;
  char range[32];
  std::snprintf(range, sizeof range, "0..%i", p->PRCNT - 1);
  tree **vars = PROGpartref(p->prog, 0);
  std::vector<tree *> v = PROGunlist(*vars);
  v.push_back(treecompose(":", PROGleaf("p_id_", "checkfness"), PROGleaf(range, "checkfness")));
  *vars = PROGvec2list(v);
  tree **init = PROGpartref(p->prog, 1);
  *init = PROGand(treecompose("=", PROGleaf("p_id_", "checkfness"), treenum(0)), *init);
  PROGsyncprocs(p);
  for (size_t i = 0; i < p->procs.size(); ++i)
    for (tree *t : p->procs[i].trans)
      if (PROGis(t, ':'))
        t->right = PROGand(treecompose("=", PROGleaf("p_id_", "checkfness"), treenum((int)i)),
                           t->right);
}
