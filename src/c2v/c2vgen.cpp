// Writing the model of a read C program.  Every statement gets locations of
// the function's "pc"; jumps go to labels that are bound to locations (or to
// other labels) as translation proceeds, so statements without effect
// (empty statements, break, continue, case labels) take no location.
// Expressions are written fully parenthesised: the model language groups
// operators of one level to the right, C to the left.  A truth value used as a
// number (x = a < b) splits the transition into one case per outcome.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "c2v/c2v.h"
#include "c2v/c2vint.h"

c2vmap C2Vmap;

namespace {

const std::string C2V_T = "(1=1)";  // constant conditions
const std::string C2V_F = "(1=0)";
constexpr size_t C2V_MAXCASES = 64;   // outcomes of one expression
constexpr size_t C2V_LEAFLEN = 63;    // longest leaf of the model parser

// Names the model language reserves or reads specially.
bool C2Vbadname(const std::string &n, bool fun) {
  if (n.empty() || n[0] < 'a' || n[0] > 'z' || n.size() > 40) return true;
  for (char c : n)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (!fun && c == '_'))) return true;
  static const char *const inner[] = {"pid", "running", "_x_", "record", nullptr};
  for (int i = 0; inner[i]; ++i)
    if (n.find(inner[i]) != std::string::npos) return true;
  static const char *const prefix[] = {"ret_", "par_", "for", "goto", "c2v_", nullptr};
  for (int i = 0; prefix[i]; ++i)
    if (n.rfind(prefix[i], 0) == 0) return true;
  return n == "pc" || n == "return_val" || n == "ret" || n.back() == '_';
}

struct Tr {
  int from;                                              // location
  std::string guard;                                     // condition beside pc=from, "" for none
  std::vector<std::pair<std::string, std::string>> as;   // assignments beside pc
  std::string call;                                      // procedure call, "" for none
  int to;                                                // label of the next location
  bool ret = false;                                      // the procedure returns
};

struct Case {
  std::string g;  // condition of this outcome, "" for always
  std::string t;  // the value
};

struct Prop {
  int loc = -1;          // location in main, -1: a failure flag
  std::string cond;
  std::string flag;      // failure flag set by a procedure
  int line = 0;
  std::string text;
};

struct Gen;

struct Unit {  // the whole program's writer state
  C2Vprog &P;
  std::set<std::string> taken;              // model names in use (and every C name)
  std::vector<C2Vvar *> made;               // variables the translator adds to main
  std::map<std::string, C2Vvar *> dummy;    // result holders of calls whose value is unused
  std::map<const C2Vstm *, Prop> props;
  int serial = 0;
  explicit Unit(C2Vprog &p) : P(p) {}

  std::string fresh(const std::string &stem) {
    for (;;) {
      std::string n = stem + std::to_string(++serial);
      if (!taken.count(n)) {
        taken.insert(n);
        return n;
      }
    }
  }
  C2Vvar *madevar(const std::string &stem, const std::string &type, C2Vfun *f) {
    P.vars.push_back(C2Vvar{});
    C2Vvar *v = &P.vars.back();
    v->type = type;
    v->mname = fresh(stem);
    v->cname = v->mname;
    if (f && f->cname != "main") {
      v->fun = f;
      f->locals.push_back(v);
    } else {
      v->global = true;
      made.push_back(v);
    }
    return v;
  }
};

// Gives every variable and function a model name: its C name where the model
// reads that name as C does, otherwise a made one; names are unique per module
// and a procedure's names differ from the main module's.
void C2Vnames(Unit &U) {
  C2Vprog &P = U.P;
  U.taken = P.idents;
  for (const char *n : {"pc", "return_val", "main", "ret"}) U.taken.insert(n);
  auto mangle = [&](const std::string &c, bool fun) {
    std::string b;
    for (char ch : c) {
      char l = (char)std::tolower((unsigned char)ch);
      if ((l >= 'a' && l <= 'z') || (l >= '0' && l <= '9')) b += l;
    }
    if (b.empty() || !(b[0] >= 'a' && b[0] <= 'z')) b = (fun ? "f" : "v") + b;
    if (b.size() > 24) b.resize(24);  // leaves of the model hold 63 characters
    std::string n = U.fresh(b + (fun ? "" : "_"));
    if (C2Vbadname(n, fun)) {
      U.taken.erase(n);
      n = U.fresh(fun ? "f" : "v");
    }
    return n;
  };
  std::set<std::string> mainnames;
  auto name = [&](C2Vvar *v, std::set<std::string> &used, bool isparam) {
    bool bad = C2Vbadname(v->cname, false) || (isparam && ("par_" + v->cname).find("_x_") != std::string::npos);
    if (!bad && !used.count(v->cname)) v->mname = v->cname;
    else v->mname = mangle(v->cname, false);
    used.insert(v->mname);
    U.taken.insert(v->mname);
  };
  for (C2Vvar *v : P.globals) name(v, mainnames, false);
  C2Vfun *mainf = P.fbyname["main"];
  for (C2Vvar *v : mainf->locals) name(v, mainnames, false);
  mainf->mname = "main";
  std::set<std::string> funnames = {"main"};
  for (C2Vfun *f : P.order) {
    if (f == mainf || !f->body) continue;
    if (!C2Vbadname(f->cname, true) && !funnames.count(f->cname)) f->mname = f->cname;
    else f->mname = mangle(f->cname, true);
    funnames.insert(f->mname);
    std::set<std::string> used = mainnames;
    for (C2Vvar *v : f->params) name(v, used, true);
    for (C2Vvar *v : f->locals) name(v, used, false);
  }
}

std::string C2Vtrim(const std::string &s) {
  size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

std::string C2Vand(const std::string &a, const std::string &b) {
  if (a.empty() || a == C2V_T) return b;
  if (b.empty() || b == C2V_T) return a;
  if (a == C2V_F || b == C2V_F) return C2V_F;
  return a + "&" + b;
}

std::string C2Vnot(const std::string &a) {
  if (a == C2V_T) return C2V_F;
  if (a == C2V_F) return C2V_T;
  if (a[0] == '!') return a.substr(1);  // conditions are "(..)" or "!(..)"
  return "!" + a;
}

bool C2Vbool(const C2Vexpr *e) {
  if (e->kind == EX_UN) return true;
  if (e->kind != EX_BIN) return false;
  const std::string &o = e->op;
  return o == "<" || o == "<=" || o == ">" || o == ">=" || o == "==" || o == "!=" || o == "&&" || o == "||";
}

struct Gen {
  Unit &U;
  C2Vfun *f;
  bool ismain;
  std::vector<int> lbind, lalias;           // label -> location / label, -1 when none
  std::vector<Tr> trs;
  std::vector<int> locline;                 // C line of each location
  int finallab = -1;
  std::map<const C2Vstm *, int> caselab;    // labels of the case labels of the switches
  Gen(Unit &u, C2Vfun *fn) : U(u), f(fn), ismain(fn->cname == "main") {}

  int newlabel() {
    lbind.push_back(-1);
    lalias.push_back(-1);
    return (int)lbind.size() - 1;
  }
  int newloc(int lab, int line) {
    int L = (int)locline.size();
    locline.push_back(line);
    lbind[lab] = L;
    return L;
  }
  void alias(int lab, int to) { lalias[lab] = to; }
  int resolve(int lab) const {
    for (size_t n = 0; lbind[lab] < 0; ++n) {
      if (lalias[lab] < 0 || n > lbind.size()) throw C2Verror("c2v error: unbound label\n");
      lab = lalias[lab];
    }
    return lbind[lab];
  }
  void emit(int from, const std::string &guard, std::vector<std::pair<std::string, std::string>> as,
            int to, const std::string &call = "", bool ret = false) {
    if (guard == C2V_F) return;  // never enabled
    trs.push_back(Tr{from, guard == C2V_T ? "" : guard, std::move(as), call, to, ret});
  }

  // ---- values and conditions
  std::vector<Case> vals(const C2Vexpr *e) {
    switch (e->kind) {
      case EX_NUM:
        if (e->val < 0) C2Vunsupported(e->line, "negative value " + std::to_string(e->val));
        return {{"", std::to_string(e->val)}};
      case EX_VAR: return {{"", e->var->mname}};
      case EX_IDX: {
        std::vector<Case> out;
        for (Case &c : vals(e->a[0])) {
          std::string ix = c.t;
          if (ix.size() > 1 && ix[0] == '(' && ix.back() == ')') ix = ix.substr(1, ix.size() - 2);
          std::string leaf = e->var->mname + "[" + ix + "]";
          if (leaf.size() > C2V_LEAFLEN) C2Vunsupported(e->line, "index of " + e->var->cname + " too long");
          out.push_back({c.g, leaf});
        }
        return out;
      }
      case EX_COND: {
        std::string c = cond(e->a[0]);
        std::vector<Case> out;
        for (Case &x : vals(e->a[1])) out.push_back({C2Vand(c, x.g), x.t});
        for (Case &x : vals(e->a[2])) out.push_back({C2Vand(C2Vnot(c), x.g), x.t});
        return prune(out, e->line);
      }
      case EX_BIN:
        if (!C2Vbool(e)) {
          std::vector<Case> out;
          for (Case &a : vals(e->a[0]))
            for (Case &b : vals(e->a[1])) out.push_back({C2Vand(a.g, b.g), "(" + a.t + e->op + b.t + ")"});
          return prune(out, e->line);
        }
        [[fallthrough]];
      case EX_UN: {
        std::string c = cond(e);
        return prune({{c, "1"}, {C2Vnot(c), "0"}}, e->line);
      }
      case EX_CALL: C2Vunsupported(e->line, "call of " + e->op + " inside an expression");
      case EX_GETC: C2Vunsupported(e->line, "getc inside an expression");
      default: C2Vunsupported(e->line, "assignment inside an expression");
    }
  }
  std::vector<Case> prune(std::vector<Case> v, int line) {
    v.erase(std::remove_if(v.begin(), v.end(), [](const Case &c) { return c.g == C2V_F; }), v.end());
    for (Case &c : v)
      if (c.g == C2V_T) c.g.clear();
    if (v.size() > C2V_MAXCASES) C2Vunsupported(line, "expression with too many truth values inside");
    return v;
  }

  std::string cond(const C2Vexpr *e) {
    if (e->kind == EX_NUM) return e->val ? C2V_T : C2V_F;
    if (e->kind == EX_UN) return C2Vnot(cond(e->a[0]));
    if (e->kind == EX_COND) {
      std::string c = cond(e->a[0]), a = cond(e->a[1]), b = cond(e->a[2]);
      return "(" + C2Vand(c, a) + "|" + C2Vand(C2Vnot(c), b) + ")";
    }
    if (e->kind == EX_BIN && (e->op == "&&" || e->op == "||")) {
      std::string a = cond(e->a[0]), b = cond(e->a[1]);
      if (e->op == "&&") {
        std::string r = C2Vand(a, b);
        return r == a || r == b || r == C2V_F ? r : "(" + r + ")";
      }
      if (a == C2V_T || b == C2V_T) return C2V_T;
      if (a == C2V_F) return b;
      if (b == C2V_F) return a;
      return "(" + a + "|" + b + ")";
    }
    if (e->kind == EX_BIN && C2Vbool(e)) {
      std::string op = e->op == "==" ? "=" : e->op;
      std::vector<std::string> alts;
      std::vector<Case> A = vals(e->a[0]), B = vals(e->a[1]);
      for (Case &a : A)
        for (Case &b : B) {
          std::string g = C2Vand(a.g, b.g), c = "(" + a.t + op + b.t + ")";
          alts.push_back(g.empty() ? c : "(" + g + "&" + c + ")");
        }
      if (alts.size() == 1) return alts[0];
      std::string r;
      for (const std::string &x : alts) r += (r.empty() ? "" : "|") + x;
      return "(" + r + ")";
    }
    // a number used as a truth value: x means x != 0
    std::vector<std::string> alts;
    for (Case &a : vals(e)) {
      std::string c = "(" + a.t + "!=0)";
      alts.push_back(a.g.empty() ? c : "(" + a.g + "&" + c + ")");
    }
    if (alts.size() == 1) return alts[0];
    std::string r;
    for (const std::string &x : alts) r += (r.empty() ? "" : "|") + x;
    return "(" + r + ")";
  }

  // ---- calls taken out of expressions, in C's order of evaluation
  struct Pending {
    C2Vexpr *call;   // EX_CALL or EX_GETC
    C2Vvar *temp;    // receives its value
  };
  C2Vexpr *hoist(C2Vexpr *e, std::vector<Pending> &out, bool skippable) {
    switch (e->kind) {
      case EX_CALL:
      case EX_GETC: {
        if (skippable) C2Vunsupported(e->line, "call in an operand that C may skip");
        if (e->kind == EX_CALL) {
          for (C2Vexpr *&a : e->a) a = hoist(a, out, false);
          if (e->fun->rtype == "void") C2Vunsupported(e->line, "value of the void function " + e->op);
        }
        C2Vvar *t = U.madevar("c2v_t", e->kind == EX_GETC ? "char" : e->fun->rtype, f);
        out.push_back({e, t});
        U.P.exprs.push_back(C2Vexpr{});
        C2Vexpr *v = &U.P.exprs.back();
        v->kind = EX_VAR;
        v->var = t;
        v->line = e->line;
        return v;
      }
      case EX_ASSIGN:
      case EX_INC: C2Vunsupported(e->line, "assignment inside an expression");
      case EX_BIN:
        e->a[0] = hoist(e->a[0], out, skippable);
        e->a[1] = hoist(e->a[1], out, skippable || e->op == "&&" || e->op == "||");
        return e;
      case EX_COND:
        e->a[0] = hoist(e->a[0], out, skippable);
        e->a[1] = hoist(e->a[1], out, true);
        e->a[2] = hoist(e->a[2], out, true);
        return e;
      default:
        for (C2Vexpr *&a : e->a) a = hoist(a, out, skippable);
        return e;
    }
  }
  // Emits the pending calls from label entry on; gives the label after them.
  int pending(std::vector<Pending> &ps, int entry, int line) {
    for (Pending &p : ps) {
      int next = newlabel();
      C2Vexpr *x = var(p.temp, line);
      if (p.call->kind == EX_GETC) getc(x, entry, next, line);
      else call(p.call, x, entry, next, line);
      entry = next;
    }
    return entry;
  }
  C2Vexpr *var(C2Vvar *v, int line) {
    U.P.exprs.push_back(C2Vexpr{});
    C2Vexpr *x = &U.P.exprs.back();
    x->kind = EX_VAR;
    x->var = v;
    x->line = line;
    return x;
  }
  int prefix(C2Vexpr *&e, int entry, int line) {
    std::vector<Pending> ps;
    e = hoist(e, ps, false);
    return pending(ps, entry, line);
  }

  // A name or a number, as the model's call syntax takes it.
  static bool atom(const C2Vexpr *e) {
    if (e->kind == EX_NUM) return e->val >= 0;
    if (e->kind == EX_VAR) return true;
    return e->kind == EX_IDX && (e->a[0]->kind == EX_VAR || (e->a[0]->kind == EX_NUM && e->a[0]->val >= 0));
  }

  void call(C2Vexpr *c, C2Vexpr *target, int entry, int exit, int line) {
    std::vector<std::string> args;
    for (size_t i = 0; i < c->a.size(); ++i) {
      C2Vexpr *a = c->a[i];
      if (!atom(a)) {  // the model's call syntax takes names and numbers only
        C2Vvar *t = U.madevar("c2v_a", c->fun->params[i]->type, f);
        int next = newlabel();
        assign(var(t, line), a, entry, next, line);
        entry = next;
        a = var(t, line);
      }
      args.push_back(vals(a)[0].t);
    }
    C2Vexpr *dst = target;
    C2Vvar *tmp = nullptr;
    if (!atom(target)) {
      tmp = U.madevar("c2v_t", c->fun->rtype, f);
      dst = var(tmp, line);
    }
    std::string text = c->fun->mname + "(";
    for (const std::string &a : args) text += a + ",";
    text += vals(dst)[0].t + ")";
    int L = newloc(entry, line);
    int next = tmp ? newlabel() : exit;
    emit(L, "", {}, next, text);
    if (tmp) assign(target, var(tmp, line), next, exit, line);
  }

  void getc(C2Vexpr *target, int entry, int exit, int line) {
    if (target->var->type != "char" || !atom(target)) {  // any value 0..127, as for a char
      C2Vvar *t = U.madevar("c2v_in", "char", f);
      int next = newlabel();
      getc(var(t, line), entry, next, line);
      assign(target, var(t, line), next, exit, line);
      return;
    }
    int L = newloc(entry, line);
    emit(L, "", {{vals(target)[0].t, "*"}}, exit);
  }

  void assign(C2Vexpr *lhs, C2Vexpr *rhs, int entry, int exit, int line) {
    if (rhs->kind == EX_GETC) {
      getc(lhs, entry, exit, line);
      return;
    }
    if (rhs->kind == EX_CALL) {
      for (C2Vexpr *&a : rhs->a) entry = prefix(a, entry, line);
      if (rhs->fun->rtype == "void") C2Vunsupported(line, "value of the void function " + rhs->op);
      call(rhs, lhs, entry, exit, line);
      return;
    }
    std::vector<Pending> ps;
    if (lhs->kind == EX_IDX) lhs->a[0] = hoist(lhs->a[0], ps, false);
    rhs = hoist(rhs, ps, false);
    entry = pending(ps, entry, line);
    int L = newloc(entry, line);
    for (Case &l : vals(lhs))
      for (Case &r : vals(rhs)) emit(L, C2Vand(l.g, r.g), {{l.t, r.t}}, exit);
  }

  C2Vexpr *bin(const std::string &op, C2Vexpr *a, C2Vexpr *b, int line) {
    U.P.exprs.push_back(C2Vexpr{});
    C2Vexpr *x = &U.P.exprs.back();
    x->kind = EX_BIN;
    x->op = op;
    x->a = {a, b};
    x->line = line;
    return x;
  }
  C2Vexpr *num(long long v, int line) {
    U.P.exprs.push_back(C2Vexpr{});
    C2Vexpr *x = &U.P.exprs.back();
    x->kind = EX_NUM;
    x->val = v;
    x->line = line;
    return x;
  }

  void expression(C2Vexpr *e, int entry, int exit, int line) {
    if (e->kind == EX_ASSIGN) {
      C2Vexpr *rhs = e->a[1];
      if (e->op != "=") rhs = bin(e->op.substr(0, 1), e->a[0], rhs, line);
      if (rhs->kind == EX_ASSIGN || rhs->kind == EX_INC) C2Vunsupported(line, "assignment inside an expression");
      assign(e->a[0], rhs, entry, exit, line);
    } else if (e->kind == EX_INC) {
      assign(e->a[0], bin(e->op == "++" ? "+" : "-", e->a[0], num(1, line), line), entry, exit, line);
    } else if (e->kind == EX_CALL) {
      for (C2Vexpr *&a : e->a) entry = prefix(a, entry, line);
      std::string ty = e->fun->rtype;
      C2Vvar *&d = U.dummy[ty];
      if (!d) d = U.madevar("c2v_r", ty == "void" ? "0..1" : ty, nullptr);
      call(e, var(d, line), entry, exit, line);
    } else {  // a value nobody uses: only its calls have an effect
      if (e->kind != EX_GETC) entry = prefix(e, entry, line);
      int L = newloc(entry, line);
      emit(L, "", {}, exit);
    }
  }

  // ---- statements: translated from label entry to label exit
  void stm(C2Vstm *s, int entry, int exit, int brk, int cont) {
    int line = s->line;
    switch (s->kind) {
      case ST_SKIP: alias(entry, exit); break;
      case ST_EXPR: expression(s->e, entry, exit, line); break;
      case ST_BLOCK: block(s->list, entry, exit, brk, cont); break;
      case ST_IF: {
        int test = prefix(s->e, entry, line);
        int L = newloc(test, line);
        std::string c = cond(s->e);
        int tl = newlabel(), el = s->s2 ? newlabel() : exit;
        emit(L, c, {}, tl);
        emit(L, C2Vnot(c), {}, el);
        stm(s->s1, tl, exit, brk, cont);
        if (s->s2) stm(s->s2, el, exit, brk, cont);
        break;
      }
      case ST_WHILE: {
        int test = prefix(s->e, entry, line);
        int L = newloc(test, line);
        std::string c = cond(s->e);
        int bl = newlabel();
        emit(L, c, {}, bl);
        emit(L, C2Vnot(c), {}, exit);
        stm(s->s1, bl, entry, exit, entry);
        break;
      }
      case ST_DO: {
        int cl = newlabel();
        stm(s->s1, entry, cl, exit, cl);
        int test = prefix(s->e, cl, line);
        int L = newloc(test, line);
        std::string c = cond(s->e);
        emit(L, c, {}, entry);
        emit(L, C2Vnot(c), {}, exit);
        break;
      }
      case ST_FOR: {
        int head = newlabel(), step = newlabel(), bl = newlabel();
        stm(s->s1, entry, head, brk, cont);
        C2Vexpr *e = s->e;
        int test = e ? prefix(e, head, line) : head;
        int L = newloc(test, line);
        std::string c = e ? cond(e) : C2V_T;
        emit(L, c, {}, bl);
        emit(L, C2Vnot(c), {}, exit);
        stm(s->list[0], bl, step, exit, step);
        stm(s->s2, step, head, brk, cont);
        break;
      }
      case ST_SWITCH: {
        int test = prefix(s->e, entry, line);
        int L = newloc(test, line);
        std::string none;
        bool hasdefault = false;
        int deflab = -1;
        for (C2Vstm *x : s->s1->list)
          if (x->kind == ST_CASE) {
            int lab = newlabel();
            caselab[x] = lab;
            if (!x->e) {
              if (hasdefault) C2Vunsupported(x->line, "two default labels");
              hasdefault = true;
              deflab = lab;
              continue;
            }
            std::string c = cond(bin("==", s->e, x->e, x->line));
            emit(L, C2Vand(c, none), {}, lab);  // the first matching label wins
            none = C2Vand(none, C2Vnot(c));
          }
        emit(L, none.empty() ? C2V_T : none, {}, hasdefault ? deflab : exit);
        stm(s->s1, newlabel(), exit, exit, cont);
        break;
      }
      case ST_CASE: {
        auto it = caselab.find(s);
        if (it == caselab.end()) C2Vunsupported(line, "case label inside a block of a switch");
        alias(it->second, entry);
        alias(entry, exit);
        break;
      }
      case ST_BREAK: alias(entry, brk); break;
      case ST_CONT: alias(entry, cont); break;
      case ST_RETURN: {
        if (ismain) {  // the value of main is not modelled; its calls still run
          if (s->e) entry = prefix(s->e, entry, line);
          alias(entry, finallab);
          break;
        }
        if (s->e && s->e->kind == EX_CALL) {  // return f(x): the result through a temporary
          C2Vvar *t = U.madevar("c2v_t", f->rtype, f);
          int next = newlabel();
          assign(var(t, line), s->e, entry, next, line);
          entry = next;
          s->e = var(t, line);
        }
        if (s->e) entry = prefix(s->e, entry, line);
        int L = newloc(entry, line);
        if (!s->e) {
          emit(L, "", {}, finallab, "", true);
          break;
        }
        for (Case &c : vals(s->e)) emit(L, c.g, {{"return_val", c.t}}, finallab, "", true);
        break;
      }
      case ST_ASSERT: assertion({s}, entry, exit); break;
    }
  }

  void block(std::vector<C2Vstm *> &list, int entry, int exit, int brk, int cont) {
    size_t i = 0;
    while (i < list.size()) {
      size_t j = i + 1;
      if (list[i]->kind == ST_ASSERT)  // assertions in a row are checked in one location
        while (j < list.size() && list[j]->kind == ST_ASSERT) ++j;
      int next = j < list.size() ? newlabel() : exit;
      if (list[i]->kind == ST_ASSERT) assertion({list.begin() + i, list.begin() + j}, entry, next);
      else stm(list[i], entry, next, brk, cont);
      entry = next;
      i = j;
    }
    if (list.empty()) alias(entry, exit);
  }

  // An assertion has a location of its own, so it holds exactly where C
  // evaluates it: in a procedure a failure sets a flag that main's property reads.
  void assertion(std::vector<C2Vstm *> as, int entry, int exit) {
    if (!ismain && as.size() > 1) {  // one location each: every flag is set on its own
      for (size_t i = 0; i < as.size(); ++i) {
        int next = i + 1 < as.size() ? newlabel() : exit;
        assertion({as[i]}, entry, next);
        entry = next;
      }
      return;
    }
    int L = newloc(entry, as[0]->line);
    std::string holds;
    for (C2Vstm *a : as) {
      Prop p;
      p.cond = cond(a->e);
      p.line = a->line;
      p.text = a->text;
      if (ismain) {
        p.loc = L;
      } else {
        C2Vvar *flag = U.madevar("c2v_fail", "0..1", nullptr);
        p.flag = flag->mname;
        emit(L, C2Vnot(p.cond), {{flag->mname, "1"}}, exit);
        holds = p.cond;
      }
      U.props[a] = p;
    }
    emit(L, holds, {}, exit);
  }

  // ---- output
  static std::string decl(const C2Vvar *v, const std::string &name) {
    if (v->size < 0) return "\t" + name + ":\t" + v->type + ";\n";
    return "\t" + name + "[0.." + std::to_string(v->size - 1) + "]:\t" + v->type + ";\n";
  }
  static std::string init(const C2Vvar *v, const std::string &name, const std::string &value) {
    if (v->size < 0) return "\t" + name + "=" + (value.empty() ? std::to_string(v->init.empty() ? 0 : v->init[0]) : value) + ";\n";
    std::string r;
    for (int k = 0; k < v->size; ++k)
      r += "\t" + name + "[" + std::to_string(k) + "]=" + std::to_string(k < (int)v->init.size() ? v->init[k] : 0) + ";\n";
    return r;
  }
  // Index of the first transition that names each model name.
  std::map<std::string, size_t> firstuse() const {
    std::map<std::string, size_t> first;
    for (size_t k = 0; k < trs.size(); ++k) {
      const Tr &t = trs[k];
      std::string text = t.guard + " " + t.call;
      for (auto &a : t.as) text += " " + a.first + " " + a.second;
      for (size_t i = 0; i < text.size();) {
        if (!std::isalpha((unsigned char)text[i]) && text[i] != '_') {
          ++i;
          continue;
        }
        size_t j = i;
        while (j < text.size() && (std::isalnum((unsigned char)text[j]) || text[j] == '_')) ++j;
        first.emplace(text.substr(i, j - i), k);
        i = j;
      }
    }
    return first;
  }
  std::string transitions() const {
    std::string r;
    for (const Tr &t : trs) {
      r += "\tpc=" + std::to_string(t.from) + (t.guard.empty() ? "" : "&" + t.guard) + ":\t";
      if (!t.call.empty()) r += t.call + "&";
      std::string l = "(pc", v = "(" + std::to_string(resolve(t.to));
      for (auto &a : t.as) l += "," + a.first, v += "," + a.second;
      r += l + "):=" + v + ")" + (t.ret ? "&RETURN" : "") + ";\n";
    }
    return r;
  }
};

}  // namespace

// Reads the function specifications; an entry is FUNCTION result = name(params)
// followed by its statements.
std::map<std::string, C2Vfsp> C2Vreadfsp(const std::string &text) {
  std::map<std::string, C2Vfsp> out;
  if (text.empty()) return out;
  std::vector<C2Vtok> t = C2Vlex(text, 1, nullptr);
  size_t k = 0;
  auto word = [&](const char *w) { return t[k].kind == TK_ID && t[k].text == w; };
  auto punct = [&](const char *p) { return t[k].kind == TK_PUNCT && t[k].text == p; };
  while (t[k].kind != TK_END && !word("FUNCTION")) ++k;
  while (word("FUNCTION")) {
    ++k;
    C2Vfsp e;
    while (t[k].kind == TK_ID && (t[k].text == "int" || t[k].text == "char" || t[k].text == "void")) ++k;
    if (t[k].kind != TK_ID) C2Vunknown(7, t[k].text);
    e.result = t[k++].text;
    if (!punct("=")) C2Vunknown(7, t[k].text);
    ++k;
    if (t[k].kind != TK_ID) C2Vunknown(7, t[k].text);
    std::string name = t[k++].text;
    if (punct("(")) {
      ++k;
      while (!punct(")") && t[k].kind != TK_END) {
        if (t[k].kind == TK_ID && t[k].text != "int" && t[k].text != "char") e.params.push_back(t[k].text);
        ++k;
      }
      if (punct(")")) ++k;
    }
    while (t[k].kind != TK_END && !word("FUNCTION") && !word("case") && !punct("}")) {
      if (word("ASSUMPTION") || word("GUARANTEE")) {
        e.stms.push_back(t[k].text);
        e.lines.push_back(t[k].line);
        ++k;
        if (punct(";") || punct(":")) ++k;
        continue;
      }
      std::string s;
      int line = t[k].line;
      while (t[k].kind != TK_END && !punct(";") && !word("FUNCTION") && !word("ASSUMPTION") &&
             !word("GUARANTEE")) {
        if (t[k].kind == TK_STR) C2Vunsupported(t[k].line, "string in a function specification");
        s += t[k++].text + " ";
      }
      if (punct(";")) ++k;
      if (!s.empty()) {
        e.stms.push_back(s);
        e.lines.push_back(line);
      }
    }
    out[name] = e;
    while (t[k].kind != TK_END && !word("FUNCTION")) ++k;
  }
  return out;
}

// The whole model: main first, then one PROCEDURE per other function.
static void C2Vwrite(C2Vprog &P, const std::map<std::string, C2Vfsp> &fsp, c2vout &o) {
  Unit U(P);
  C2Vnames(U);
  C2Vfun *mainf = P.fbyname["main"];
  std::vector<C2Vfun *> funs = {mainf};
  for (C2Vfun *f : P.order)
    if (f != mainf && f->body) funs.push_back(f);
  std::vector<Gen> gens;
  gens.reserve(funs.size());
  for (C2Vfun *f : funs) {
    gens.emplace_back(U, f);
    Gen &g = gens.back();
    int entry = g.newlabel();
    g.finallab = g.newlabel();
    g.stm(f->body, entry, g.finallab, -1, -1);
    g.newloc(g.finallab, f->endline);
    if (g.resolve(entry) != 0) throw C2Verror("c2v error: entry\n");
  }
  std::string lum, luc;
  C2Vmap = c2vmap{};
  C2Vmap.source = P.lines;
  for (size_t i = 0; i < gens.size(); ++i) {
    Gen &g = gens[i];
    C2Vfun *f = g.f;
    int N = (int)g.locline.size() - 1;
    luc += "/**********************************************/\n";
    luc += "\t" + f->rtype + " " + f->cname + "()\n";
    std::vector<C2Vvar *> vars;
    if (g.ismain) {
      vars = P.globals;
      vars.insert(vars.end(), f->locals.begin(), f->locals.end());
      vars.insert(vars.end(), U.made.begin(), U.made.end());
      lum += "LUM\tmain\n";
    } else {
      vars = f->params;
      vars.insert(vars.end(), f->locals.begin(), f->locals.end());
      lum += "\nPROCEDURE " + f->mname + "(";
      for (C2Vvar *p : f->params) lum += "par_" + p->mname + ",";
      lum += "return_val)\n";
    }
    for (C2Vvar *v : vars)
      if (v->mname != v->cname) {
        luc += "\t/* " + v->cname + " is " + v->mname + " in the model */\n";
        if (g.ismain) C2Vmap.names.push_back({v->mname, v->cname});
      }
    for (C2Vvar *v : vars)
      if (v->cname.rfind("c2v_", 0) == 0 && v->mname == v->cname && !P.idents.count(v->cname))
        luc += "\t/* " + v->mname + " is made by the translator */\n";
    // The variable order follows the declarations.  Arrays come last: a[i]
    // read into a scalar stays small only when i and the scalar precede a.
    // In main, pc comes first (every transition tests it) and the variables
    // follow in the order the statements first use them, so the operands of
    // one assignment lie close together (the globals of a later part of the
    // program would otherwise sit between them, each adding to every image).
    std::vector<C2Vvar *> order = vars;
    if (g.ismain) {
      std::map<std::string, size_t> first = g.firstuse();
      auto at = [&](const C2Vvar *v) {
        auto it = first.find(v->mname);
        return it == first.end() ? g.trs.size() : it->second;
      };
      std::stable_sort(order.begin(), order.end(),
                       [&](const C2Vvar *a, const C2Vvar *b) { return at(a) < at(b); });
    }
    lum += "VAR\n";
    if (g.ismain) lum += "\tpc:\t0.." + std::to_string(N) + ";\n";
    for (C2Vvar *v : order)
      if (v->size < 0) lum += Gen::decl(v, v->mname);
    if (!g.ismain) lum += "\tpc:\t0.." + std::to_string(N) + ";\n";
    for (C2Vvar *v : order)
      if (v->size >= 0) lum += Gen::decl(v, v->mname);
    lum += "INIT\n";
    for (C2Vvar *v : vars) lum += Gen::init(v, v->mname, v->param ? "par_" + v->mname : "");
    lum += "\tpc=0;\n";
    lum += "TRANS\n";
    lum += g.transitions();
    if (g.ismain) {
      lum += "\tpc=" + std::to_string(N) + ":\t(pc):=(" + std::to_string(N) + ");\n";
      lum += "SPEC\n";
      int k = 0;
      for (C2Vstm *a : P.asserts) {
        auto it = U.props.find(a);
        if (it == U.props.end()) continue;  // in a function that is only declared
        const Prop &p = it->second;
        if (p.loc >= 0) lum += "\tAG(!(pc=" + std::to_string(p.loc) + ")|" + p.cond + ");\n";
        else lum += "\tAG(" + p.flag + "=0);\n";
        o.log += "PROPERTY " + std::to_string(++k) + ": line " + std::to_string(p.line) + ": " + p.text + "\n";
      }
      C2Vmap.line = g.locline;
    } else {
      lum += "\tpc=" + std::to_string(N) + ":\t(pc):=(" + std::to_string(N) + ")&RETURN;\n";
      auto it = fsp.find(f->cname);
      if (it != fsp.end()) {
        const C2Vfsp &s = it->second;
        std::map<std::string, C2Vvar *> names;
        for (C2Vvar *v : P.globals) names[v->cname] = v;
        auto pseudo = [&](const std::string &c, const std::string &m) {
          P.vars.push_back(C2Vvar{});
          P.vars.back().cname = c;
          P.vars.back().mname = m;
          names[c] = &P.vars.back();
        };
        for (size_t j = 0; j < s.params.size() && j < f->params.size(); ++j)
          pseudo(s.params[j], "par_" + f->params[j]->mname);
        pseudo(s.result, "return_val");
        for (size_t j = 0; j < s.stms.size(); ++j) {
          const std::string &x = s.stms[j];
          if (x == "ASSUMPTION") {
            lum += "ASSUMPTION\n";
            for (C2Vvar *p : f->params) lum += "\tpar_" + p->mname + ":" + p->type + ";\n";
            lum += "\treturn_val:" + (f->rtype == "void" ? std::string("0..1") : f->rtype) + ";\n";
          } else if (x == "GUARANTEE") {
            lum += "GUARANTEE\n";
            for (C2Vvar *p : f->params) lum += "\tpar_" + p->mname + "=P(par_" + p->mname + ");\n";
          } else {
            C2Vexpr *e = C2Vparsetext(P, x, s.lines[j], names);
            if (e->kind == EX_ASSIGN && e->op == "=") e->kind = EX_BIN, e->op = "==";
            lum += "\t" + g.cond(e) + ";\n";
          }
        }
      }
    }
    for (int L = 0; L <= N; ++L) {
      int line = g.locline[(size_t)L];
      std::string src = line > 0 && line < (int)P.lines.size() ? C2Vtrim(P.lines[(size_t)line]) : "";
      luc += "pc=" + std::to_string(L) + ":\t/* line " + std::to_string(line) + " */\t" +
             src + "\n";
    }
    o.log += "FUNCTION " + f->cname + ": " + std::to_string(N + 1) + " locations\n";
  }
  o.lum = lum;
  o.luc += luc;
}

c2vout C2Vtranslate(const std::string &source, const std::map<int, std::vector<std::string>> &sp,
                    const std::string &fsp) {
  c2vout o;
  try {
    C2Vprog P;
    if (!sp.empty()) {  // the program as read: the file's assertions before their lines
      size_t b = 0;
      for (int n = 1; b <= source.size(); ++n) {
        size_t e = source.find('\n', b);
        auto it = sp.find(n);
        if (it != sp.end())
          for (const std::string &c : it->second) o.luc += "lumet_assertion(\"" + c + "\");\n";
        o.luc += source.substr(b, e == std::string::npos ? std::string::npos : e - b) + "\n";
        if (e == std::string::npos) break;
        b = e + 1;
      }
    }
    C2Vread(P, source, sp);
    C2Vwrite(P, C2Vreadfsp(fsp), o);
  } catch (const C2Verror &e) {
    o.lum.clear();
    o.error = e.what();
  }
  return o;
}
