// Verdict and progress lines, property selection and property folding.
#include "main/report.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "main/param.h"

static int MAINelapsed() { return (int)std::difftime(std::time(nullptr), t0); }

repline REPlast = {false, 0, BOUND_NONE};

int reportresult(int v, int bound) {
  int t = MAINelapsed();
  if (v == VERDICT_TRUE) {
    std::printf("CONCLUSION: TRUE");
  } else if (v == VERDICT_FALSE) {
    std::printf("CONCLUSION: FALSE");
  } else if (v == VERDICT_UNKNOWN) {
    std::printf("CONCLUSION: UNKNOWN");
    if (bound > INT_MIN) bound--;  // the last bound that was completed
  }
  if (bound >= -1) std::printf(" (time=%i bound=%i)\n", t, bound);
  else std::printf(" (time=%i sec)\n", t);
  REPlast = {true, v, bound >= -1 ? bound : BOUND_NONE};
  std::fflush(stdout);
  return v;
}

// Fast fixpoints print thousands of lines a second: standard output is
// flushed when the second changes (every end of the run flushes it too).
void reportprogress(int kind, int bound) {
  static int flushed = -1;          // elapsed second of the last flush
  if (opDFTT) return;
  int t = MAINelapsed();
  if (kind == 0) std::printf("----------  time = %i\n", t);
  else if (kind == 1) std::printf("bound =%3i  time = %i\n", bound, t);
  if (t != flushed) {
    flushed = t;
    std::fflush(stdout);
  }
}

static bool MAINisop(const tree *t, char op) {
  return t && t->text[0] == op && t->text[1] == '\0';
}

tree *MAINproperties(tree *prog) {
  for (int k = 0; k < 4; k++) {
    if (!MAINisop(prog, '#')) return nullptr;
    prog = prog->right;
  }
  return prog;
}

// The n-th element of a list, counting from 1 (a single element is a list).
static tree *MAINnth(tree *list, int n) {
  for (int i = 1; list; i++) {
    bool cell = MAINisop(list, ';');
    tree *elem = cell ? list->left : list;
    if (i == n) return elem;
    list = cell ? list->right : nullptr;
  }
  return nullptr;
}

// Reads one line from standard input; false at the end of input before any character.
static bool MAINreadline(std::string &line) {
  line.clear();
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') line += (char)c;
  return c != EOF || !line.empty();
}

// Lists the properties and asks for one; 0 when none can be selected.
static int MAINask(tree *props) {
  int n = 0;
  for (tree *l = props; l; l = MAINisop(l, ';') ? l->right : nullptr) {
    std::printf("%i: ", ++n);
    treewrite(MAINisop(l, ';') ? l->left : l, stdout);
    std::printf("\n");
  }
  if (n == 0) {
    std::printf("%s\n", "error: no properties have been specified");
    return 0;
  }
  std::string line;
  for (;;) {
    std::printf("select a property (1-%i): ", n);
    std::fflush(stdout);
    if (!MAINreadline(line)) {
      std::printf("\n");  // input ended: no choice
      return 0;
    }
    int k = PARatoi(line.c_str());
    if (k >= 1 && k <= n) return k;
    std::printf("%s\n", "error: the selection is not valid");
  }
}

tree *mgetp(tree *prog, int sel, int announce) {
  if (sel < PARSEL_INTW) return nullptr;
  tree *props = MAINproperties(prog);
  int n = sel < 0 ? 1 : sel;
  if (sel == PARSEL_ASK) {
    n = MAINask(props);
    if (n == 0) return nullptr;
  }
  tree *p = MAINnth(props, n);
  if (!p) {
    std::printf("%s\n", "error: the selected property does not exist");
    return nullptr;
  }
  if (announce) {
    std::printf("PROPERTY:   ");
    treewrite(p, stdout);
    std::printf("\n");
    if (sel == PARSEL_ASK) op0.prop = n;
  }
  return p;
}

// x when t is A over G over x, else null.
static tree *MAINagbody(tree *t) {
  if (!t || t->left || t->text[0] != 'A' || t->text[1]) return nullptr;
  tree *g = t->right;
  if (!g || g->left || g->text[0] != 'G' || g->text[1]) return nullptr;
  return g->right;
}

// Works from the last cell back to the head without recursion: property
// lists can be long.
void specmerge21(tree *list) {
  std::vector<tree *> cells;
  for (tree *c = list; MAINisop(c, ';'); c = c->right) cells.push_back(c);
  for (size_t k = cells.size(); k-- > 0;) {
    tree *c = cells[k];
    tree *x = MAINagbody(c->left);
    tree *y = MAINagbody(c->right);
    if (!x || !y) {
      std::strcpy(c->text, "&");
      continue;
    }
    // AG x ; AG y  ->  AG (x & y), reusing both bodies
    c->left->right->right = nullptr;
    c->right->right->right = nullptr;
    tree *g = treecompose("G", nullptr, treecompose("&", x, y));
    treefree(c->left);
    treefree(c->right);
    std::strcpy(c->text, "A");
    c->left = nullptr;
    c->right = g;
  }
}
