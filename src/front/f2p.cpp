// Building the model: file -> modules -> one program record (f2p0), the
// flattening after property selection (f2p1), the summary fields and the
// deadlock transition (f2p1INFO), and the model dump (ggbwrite).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "formula/tlf.h"
#include "front/int.h"
#include "front/prep.h"
#include "front/progint.h"
#include "front/clk.h"
#include "tree/check.h"

ggbrec *ggb = nullptr;

// Clock transitions join the last process; the guarded transitions that
// became conditions of the tick leave their processes.
static void F2Pclocks(prg *p) {
  PROGsyncprocs(p);
  std::unordered_map<tree *, size_t> owner;
  for (size_t i = 0; i < p->procs.size(); ++i)
    for (tree *t : p->procs[i].trans) owner[t] = i;
  tree *ct = clkcheckvlist(p->prog);
  if (!ct) return;
  tree **ts = PROGpartref(p->prog, 2);
  std::vector<tree *> v = PROGunlist(*ts);
  for (tree *c : PROGunlist(ct)) v.push_back(c);
  *ts = PROGvec2list(v);
  if (p->procs.empty()) {
    p->procs.assign(1, prgproc{});
    p->PRCNT = 1;
  }
  for (prgproc &pr : p->procs) pr.n = 0;
  for (tree *t : v) {
    auto it = owner.find(t);
    p->procs[it == owner.end() ? p->procs.size() - 1 : it->second].n++;
  }
  if (FILE *f = utillogopen("logtmp.tmp", "a")) {
    std::fprintf(f, "f2p trs\n");
    treewrite(*ts, f);
    std::fprintf(f, "\n");
    std::fclose(f);
  }
}

static bool isrange(const char *s) {
  const char *p = s;
  if (!PROGdigit(*p)) return false;
  while (PROGdigit(*p)) ++p;
  if (p[0] != '.' || p[1] != '.') return false;
  p += 2;
  if (!PROGdigit(*p)) return false;
  while (PROGdigit(*p)) ++p;
  return *p == 0;
}

// After the clock step every declaration type is a range lo..hi; anything
// else would otherwise be read silently as 0..0.
static void F2Pchecktypes(tree *vars) {
  for (tree *d : PROGelems(vars)) {
    if (!PROGis(d, ':') || !PROGisleaf(d->left) || !PROGlower(d->left->text[0])) utilerror("read");
    if (!PROGisleaf(d->right) || !isrange(d->right->text)) utilerror("type");
    if (ran(d->right->text, 1) > 0x7fffffff) utilerror("type");
  }
}

// The parser drops a property that is only operators ("AG;"), which would
// renumber the ones after it without a word: say so.  The properties are the
// last "#" section of the main module (unless that is the fairness section,
// which starts with "1=0;").
static void F2Pemptyproperties(const std::string &text) {
  size_t end = std::min(text.find('M', 3), text.find("PROCEDURE"));
  std::string main = text.substr(0, end);
  if (std::count(main.begin(), main.end(), '#') < 3) return;
  std::string props = main.substr(main.rfind('#') + 1);
  if (props.compare(0, 4, "1=0;") == 0) return;
  int k = 0, depth = 0;
  size_t from = 0;
  for (size_t i = 0; i <= props.size(); ++i) {
    char c = i < props.size() ? props[i] : ';';
    if (c == '(' || c == '[') ++depth;
    else if (c == ')' || c == ']') --depth;
    if (c != ';' || depth != 0) continue;
    std::string elem = props.substr(from, i - from);
    from = i + 1;
    if (elem.empty()) continue;
    ++k;
    if (elem.find_first_not_of(OP4) != std::string::npos) continue;  // not only prefixes
    std::printf("ERROR:      property %i (%s) is empty and left out; the later ones move up\n", k,
                elem.c_str());
  }
}

ggbrec *f2p0(const char *file, int selector, char *name, char **argv, int argc) {
  (void)argv, (void)argc;
  ggb = new ggbrec{};
  LUM_OWN(ggb);
  std::string text = PREPfile2txt(file);
  F2Pemptyproperties(text);
  // an overflow check run (-ck iN) has its width already
  if (selector != F2P_SEL_INTPROBE && F2Phasint(text)) {
    bool child = false;
    int w = F2Pintprobe(child);
    if (child) selector = F2P_SEL_INTPROBE;
    else std::printf("INFO:       int width %i\n", w);
    F2Psetintwidth(text, w);
  }
  modrec *mods = PROGtxt2modules(text);
  for (modrec *m = mods; m; m = m->next) m->body->right = PROGreplacefor(m->body->right);
  if (selector == F2P_SEL_AGCHECK && name)
    name[0] = (char)(F2P_AG_NOPROC + AGcheckmodule(mods, name));
  else if (selector == F2P_SEL_ARRAYCHECK) arraycheckmodule(mods);
  ggb->modules = mods;
  prg *p = new prg{};
  LUM_OWN(p);
  ggb->program = p;
  p->prog = PROGmerge(mods, p);
  for (tree *t : PROGelems(PROGpart(p->prog, 2))) PROGreplacecolon(t, mods);
  PROGreplacesemiand(PROGpart(p->prog, 1));
  PROGreplacechan(p->prog);
  if (selector == F2P_SEL_INTPROBE) F2Paddoverflow(p, mods);
  F2Pclocks(p);
  F2Pchecktypes(PROGpart(p->prog, 0));
  ggb->file = file;
  ggb->text.clear();
  p->vlist = treecopy(PROGpart(p->prog, 0));
  PROGsyncprocs(p);
  ggbtssplitt(p, mods);
  fnessaddprog(p);
  return ggb;
}

// A transition list element without a guard is always enabled.
static void F2Pguardall(tree *prog) {
  for (tree *t : PROGelems(PROGpart(prog, 2))) {
    if (PROGis(t, ':')) continue;
    tree *inner = treecompose(t->text, t->left, t->right);
    PROGsettext(t, ":", "f2p1");
    t->left = treeconst(1);
    t->right = inner;
  }
}

static void F2Pnnf(tree *&t) {
  if (t) t = treedopost(TLFnnf(t), TLFnnfsimp);
}

// Normal form of everything after the variable list, element by element so
// that the transition nodes the process records point at stay in place.
static void F2Pnnfall(tree *prog) {
  F2Pnnf(*PROGpartref(prog, 1));
  for (tree *t : PROGelems(PROGpart(prog, 2))) {
    F2Pnnf(t->left);
    F2Pnnf(t->right);
  }
  for (int k : {3, 4}) {
    tree **s = PROGpartref(prog, k);
    while (PROGis(*s, ';')) {
      F2Pnnf((*s)->left);
      s = &(*s)->right;
    }
    F2Pnnf(*s);
  }
}

void F2Pflatten(tree *prog) {
  F2Pguardall(prog);
  PROGreplacemarray(prog);
  PROGaddeq(prog);
  PROGcleanarray(prog);
  PROGaddnext(prog);
  PROGaddvc(prog);
  PROGreplaceconstants(prog);
  // bare conditions, -1 and free choice are resolved while array elements
  // still carry their declared type
  PROGboolvars(prog);
  PROGreplacem1(prog);
  PROGreplacestar(prog);
  PROGreplacearray(prog);
  PROGaddvc(prog);
  PROGreplaceconstants(prog);
  PROGreplacem1(prog);
  PROGreplacestarORcond(prog);
  F2Pnnfall(prog);
}

void f2p1(prg *p) {
  F2Pflatten(p->prog);
  PROGsyncprocs(p);
  treefree(p->vlist);
  p->vlist = treecopy(PROGpart(p->prog, 0));
}

// Right-nested, so that long transition lists stay right spines.
tree *INFOdeadlockfreecond(tree *translist) {
  std::vector<tree *> gs;
  for (tree *t : PROGelems(translist)) {
    tree *g = PROGis(t, ':') ? treecopy(t->left) : treeconst(1);
    gs.push_back(g ? g : treeconst(1));
  }
  tree *d = PROGvec2list(gs, '|');
  return d ? d : treeconst(0);
}

int INFOpuret(const tree *translist, modrec *modules) {
  for (modrec *m = modules; m; m = m->next)
    if (m->kind == 'P') return 0;
  std::vector<const tree *> st{translist};
  while (!st.empty()) {
    const tree *n = st.back();
    st.pop_back();
    if (!n) continue;
    if (PROGis(n, ';') || PROGis(n, '&')) {
      st.push_back(n->left);
      st.push_back(n->right);
    } else if (PROGis(n, ':')) {
      st.push_back(n->right);
    } else if (PROGis(n, '=')) {
      if (!n->left || n->left->text[0] != 'O') return 0;
    }
  }
  return 1;
}

void deadlocktradd(prg *p) {
  tree *vars = PROGpart(p->prog, 0);
  tree *t = treecompose(":", treecompose("!", nullptr, INFOdeadlockfreecond(PROGpart(p->prog, 2))),
                        nullptr);
  PROGaddeqone(t, vars);
  PROGaddnextone(t->right);
  PROGmarkvc(t->right, PROGdecls(vars));
  F2Pnnf(t->left);
  F2Pnnf(t->right);
  p->deadtr = t;
  p->dead = treecopy(t->left);
}

void f2p1INFO(ggbrec *g) {
  prg *p = g->program;
  tree *vars = PROGpart(p->prog, 0);
  p->BOOLN = INFOvlist(vars);
  p->varc = INFOconstr_a(vars);
  treefree(p->vlist);
  p->vlist = treecopy(vars);
  p->PURETRANS = INFOpuret(PROGpart(p->prog, 2), g->modules);
  deadlocktradd(p);
}

void ggbwrite(const ggbrec *g, FILE *out) {
  if (!g || !out) return;
  if (!g->file.empty()) std::fprintf(out, "FILE=%s\n", g->file.c_str());
  if (!g->text.empty()) std::fprintf(out, "STRING=%s\n", g->text.c_str());
  for (const modrec *m = g->modules; m; m = m->next) {
    std::fprintf(out, "PROG=\n");
    treewrite(m->body, out);
    std::fprintf(out, "\nTYPE=%c\nPAR=\n", m->kind);
    treewrite(m->header, out);
    std::fprintf(out, "\n");
  }
  for (const prg *p : {g->program, g->bprogram})
    if (p) {
      std::fprintf(out, "PR\n");
      prgwrite(p, out);
    }
}
