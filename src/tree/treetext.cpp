// Short texts: comment and blank removal, replacements, index and range
// reading, file names, whole files, processor time.
#include <sys/times.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tree/tree.h"
#include "tree/treeint.h"

void stringcomments(std::string &s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n' && s[i] != '\r') i++;
      if (i == s.size()) break;
    }
    out += s[i];
  }
  s.swap(out);
}

void stringcompress(std::string &s, char a, char b) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); i++) {
    char c = s[i];
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i + 1 < s.size() && s[i + 1] != '\n' && s[i + 1] != '\r') i++;
      i++;   // the second '/' or the last comment character; the line end is dropped next
      continue;
    }
    if (c == '\t' || c == '\n' || c == '\r' || c == a || c == b) continue;
    size_t n = out.size();
    if (c == '!' && n >= 2 && out[n - 2] == '.' && out[n - 1] == ']') c = '@';
    out += c;
  }
  s.swap(out);
}

void stringreplacechar(char *s, char a, char b) {
  for (; *s && *s != '#'; s++)
    if (*s == a) *s = b;
}

void stringreplacechar(std::string &s, char a, char b) {
  for (char &c : s) {
    if (c == '#') break;
    if (c == a) c = b;
  }
}

void stringed(std::string &s, const std::string &p, const std::string &r) {
  if (p.empty()) return;
  size_t at = s.find(p);
  if (at == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  size_t from = 0;
  for (; at != std::string::npos; at = s.find(p, from)) {
    out.append(s, from, at - from);
    out += r;
    from = at + p.size();
  }
  out.append(s, from, std::string::npos);
  s.swap(out);
}

// Every occurrence is replaced; the scan resumes right after the inserted
// text, so a replacement containing the pattern cannot loop.
void stringreplacesubstring(char *s, const char *p, const char *r) {
  size_t lp = strlen(p), lr = strlen(r);
  if (lp == 0 || !strstr(s, p)) return;
  std::string out;
  const char *from = s;
  for (const char *at = strstr(from, p); at; at = strstr(from, p)) {
    out.append(from, at - from);
    out.append(r, lr);
    from = at + lp;
  }
  out += from;
  if (out.size() >= (size_t)TREE_TEXTLEN) utilerror("stringreplacesubstring");
  memcpy(s, out.c_str(), out.size() + 1);
}

int stringreplacestringfixlength(char *s, const char *p, const char *r) {
  size_t lp = strlen(p), lr = strlen(r), ls = strlen(s);
  if (lp == 0 || strncmp(s, p, lp) != 0) return 0;
  if (isalnum((unsigned char)s[lp]) && p[lp - 1] != '[') return 0;
  if (ls - lp + lr >= (size_t)TREE_TEXTLEN) utilerror("stringreplacestringfixlength");
  memmove(s + lr, s + lp, ls - lp + 1);
  memcpy(s, r, lr);
  return 1;
}

int arrayindex(const char *s) {
  const char *b = strchr(s, '[');
  return b ? (int)(b - s) + 1 : 0;
}

int marrayindex(const char *s) {
  int i = arrayindex(s);
  return i && strchr(s + i, '[') ? i : 0;
}

int chanindex(const char *s) {
  const char *b = strchr(s, '[');
  if (!b) return 0;
  long long v = 0;
  const char *c = b + 1;
  for (; isdigit((unsigned char)*c); c++) {
    v = v * 10 + (*c - '0');
    if (v > INT_MAX) return 0;
  }
  return *c == ']' ? (int)v : 0;
}

// Reads the digits at *i as a bound; a value beyond the 32-bit range ends
// the run with "type error".
static long long ranreadnum(const char *s, size_t *i) {
  long long v = 0;
  for (; isdigit((unsigned char)s[*i]); (*i)++) {
    v = v * 10 + (s[*i] - '0');
    if (v > INT_MAX) utilerror("type");
  }
  return v;
}

long long ran(const char *s, int which) {
  size_t i = 0;
  if (s[0] == 'i' && isdigit((unsigned char)s[1])) {
    i = 1;
    long long n = ranreadnum(s, &i);
    if (n > 31) utilerror("type");
    return which == 0 ? 0 : (1LL << n) - 1;
  }
  while (s[i] && s[i] != ']' && !isdigit((unsigned char)s[i])) i++;
  if (!isdigit((unsigned char)s[i])) return 0;
  long long first = ranreadnum(s, &i);
  if (which == 0) return first;
  while (s[i] && s[i] != ']' && !isdigit((unsigned char)s[i])) i++;
  if (!isdigit((unsigned char)s[i])) return 0;
  return ranreadnum(s, &i);
}

// The extension is looked for in the last path component only, so
// "dir.d/model" keeps its directory.
std::string gfilename(const std::string &path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('/');
  if (dot == std::string::npos || dot == 0) return "";
  if (slash != std::string::npos && dot < slash) return "";
  return path.substr(0, dot);
}

std::string file2string(const std::string &path) {
  std::string s;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return s;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  fclose(f);
  if (!s.empty() && s.back() == '\n') {
    s.pop_back();
    if (!s.empty() && s.back() == '\r') s.pop_back();
  }
  return s;
}

int fileok(const std::string &path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {  // opens for reading, reads as empty
    printf("ERROR:      %s is a directory, not a model file\n", path.c_str());
    return 0;
  }
  FILE *f = fopen(path.c_str(), "r");
  if (f) {
    fclose(f);
    return 1;
  }
  printf("ERROR:      %s not found\n", path.c_str());
  return 0;
}

static clock_t UTILT0;   // user processor ticks at utiltime(0)

double utiltime(int mode) {
  struct tms t;
  times(&t);
  if (mode == 0) {
    UTILT0 = t.tms_utime;
    return 0;
  }
  long hz = sysconf(_SC_CLK_TCK);
  return (double)(t.tms_utime - UTILT0) / (hz > 0 ? (double)hz : 100.0);
}

unsigned long long utilrss() {
  FILE *f = fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long long pages = 0, rss = 0;
  int k = fscanf(f, "%llu %llu", &pages, &rss);
  fclose(f);
  long page = sysconf(_SC_PAGESIZE);
  return k == 2 && page > 0 ? rss * (unsigned long long)page : 0;
}
