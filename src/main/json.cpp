// The result file of -json.
#include "main/json.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "main/report.h"
#include "opt/opt.h"
#include "symbolic/cex.h"
#include "tree/tree.h"

jsonrun JSONrun;
static std::chrono::steady_clock::time_point JSONstart;

void JSONbegin(int argc, char **argv) {
  JSONstart = std::chrono::steady_clock::now();
  JSONrun.options.clear();
  for (int i = 1; i + 1 < argc; i++) JSONrun.options.push_back(argv[i]);
}

// Length of the UTF-8 sequence at s (at most n bytes), 0 when it is not one.
static size_t JSONutf8(const unsigned char *s, size_t n) {
  size_t len = s[0] >= 0xc2 && s[0] <= 0xdf ? 2 : s[0] >= 0xe0 && s[0] <= 0xef ? 3
             : s[0] >= 0xf0 && s[0] <= 0xf4 ? 4 : 0;
  if (len == 0 || len > n) return 0;
  for (size_t k = 1; k < len; k++)
    if ((s[k] & 0xc0) != 0x80) return 0;
  return len;
}

std::string JSONquote(const std::string &s) {
  std::string out = "\"";
  const unsigned char *p = (const unsigned char *)s.data();
  for (size_t i = 0; i < s.size();) {
    unsigned char c = p[i];
    if (c >= 0x80) {
      size_t len = JSONutf8(p + i, s.size() - i);
      if (len) {
        out.append(s, i, len);
        i += len;
        continue;
      }
    }
    i++;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += (char)c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x80) {  // a byte that is not text: as the character of its value
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += (char)c;
    }
  }
  return out + "\"";
}

// A value of the counterexample file: a number when it reads as one.
static std::string JSONvalue(const std::string &v) {
  if (v.empty()) return JSONquote(v);
  char *end = nullptr;
  long long n = std::strtoll(v.c_str(), &end, 10);
  if (*end || !(v[0] == '-' || (v[0] >= '0' && v[0] <= '9'))) return JSONquote(v);
  return std::to_string(n);
}

// "--- KEY n ---": n, or -1 when the line is not of that form.
static int JSONmarker(const std::string &l, const char *key) {
  std::string head = std::string("--- ") + key + " ";
  if (l.compare(0, head.size(), head) != 0 || l.size() < head.size() + 5) return -1;
  if (l.compare(l.size() - 4, 4, " ---") != 0) return -1;
  std::string n = l.substr(head.size(), l.size() - head.size() - 4);
  if (n.empty() || n.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::atoi(n.c_str());
}

// States are "name\t=value" lines; a C program's variables follow as
// "// C name\t=value" comment lines under their C names.
std::string JSONtrace(const std::string &cexpath) {
  FILE *f = std::fopen(cexpath.c_str(), "r");
  if (!f) return "null";
  std::string text;
  char buf[65536];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  std::fclose(f);
  std::vector<std::vector<std::pair<std::string, std::string>>> states;
  std::vector<int> trans;
  int loop = -1;
  for (size_t b = 0; b < text.size();) {
    size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    std::string l = text.substr(b, e - b);
    b = e + 1;
    int k;
    if (JSONmarker(l, "STATE") >= 0) {
      states.emplace_back();
    } else if ((k = JSONmarker(l, "TRANS")) >= 0) {
      trans.push_back(k);
    } else if ((k = JSONmarker(l, "LOOP")) >= 0) {
      loop = k;
    } else if (!states.empty()) {
      if (l.compare(0, 5, "// C ") == 0) l = l.substr(5);
      size_t tab = l.find("\t=");
      if (tab == std::string::npos || tab == 0 || l.compare(0, 2, "//") == 0) continue;
      std::string name = l.substr(0, tab), value = JSONvalue(l.substr(tab + 2));
      auto &s = states.back();
      bool seen = false;
      for (auto &nv : s)
        if (nv.first == name) nv.second = value, seen = true;
      if (!seen) s.emplace_back(name, value);
    }
  }
  std::string out = "{\"file\": " + JSONquote(cexpath) + ", \"loop\": ";
  out += loop >= 0 ? std::to_string(loop) : "null";
  out += ", \"transitions\": [";
  for (size_t j = 0; j < trans.size(); j++) out += (j ? ", " : "") + std::to_string(trans[j]);
  out += "], \"states\": [";
  for (size_t j = 0; j < states.size(); j++) {
    out += j ? ",\n    {" : "\n    {";
    for (size_t v = 0; v < states[j].size(); v++)
      out += (v ? ", " : "") + JSONquote(states[j][v].first) + ": " + states[j][v].second;
    out += "}";
  }
  return out + (states.empty() ? "]}" : "\n  ]}");
}

static bool JSONidchar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Collapses runs of blanks to one space and trims the ends.
static std::string JSONblanks(const std::string &s) {
  std::string out;
  for (char c : s) {
    bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (blank) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string JSONspectext(const std::string &text, int n, int count) {
  static const char *const sections[] = {"VAR", "INIT", "TRANS", "SPEC", "PROC", "FAIRNESS", "INV",
                                         "ASSUMPTION", "GUARANTEE", "DEFINE"};
  std::string t = text;
  stringcomments(t);
  std::string sectiontext;  // the main module's SPEC sections, one after the other
  size_t from = std::string::npos;
  for (size_t i = 0; i <= t.size(); i++) {
    if (i < t.size() && (!JSONidchar(t[i]) || (i > 0 && JSONidchar(t[i - 1])))) continue;
    size_t e = i;
    while (e < t.size() && JSONidchar(t[e])) e++;
    std::string w = t.substr(i, e - i);
    bool section = i == t.size() || w == "MODULE" || w == "PROCEDURE";
    for (const char *s : sections) section = section || w == s;
    if (!section) continue;
    if (from != std::string::npos) sectiontext += t.substr(from, i - from) + "\n";
    from = w == "SPEC" ? e : std::string::npos;
    if (i == t.size() || w == "MODULE" || w == "PROCEDURE") break;
  }
  std::vector<std::string> props;
  int depth = 0;
  std::string cur;
  for (char c : sectiontext + ";") {
    if (c == '(' || c == '[' || c == '{') depth++;
    if (c == ')' || c == ']' || c == '}') depth--;
    if (c != ';' || depth != 0) {
      cur += c;
      continue;
    }
    cur = JSONblanks(cur);
    if (!cur.empty()) props.push_back(cur);
    cur.clear();
  }
  if ((int)props.size() != count || n < 0 || n > count) return "";
  if (n > 0) return props[(size_t)n - 1];
  std::string all;
  for (const std::string &p : props) all += (all.empty() ? "" : "; ") + p;
  return all;
}

static const char *JSONengine() {
  switch (op0.engine) {
    case PARENG_TBD: return "TBD";
    case PARENG_QBF: return "QBF";
    case PARENG_SAT: return "SAT";
    case PARENG_QSAT: return "QSAT";
    case PARENG_BCC: return "BCC";
  }
  return "?";
}

static const char *JSONverdict() {
  if (REPlast.printed) {
    if (REPlast.verdict == VERDICT_TRUE) return "TRUE";
    if (REPlast.verdict == VERDICT_FALSE) return "FALSE";
    if (REPlast.verdict == VERDICT_UNKNOWN) return "UNKNOWN";
    return "NONE";
  }
  return utilwhy.empty() ? "NONE" : "ERROR";
}

static std::string JSONornull(const std::string &s) { return s.empty() ? "null" : JSONquote(s); }

void JSONwrite(int status) {
  if (PARjson.empty() || JSONrun.done || Xlog) return;
  JSONrun.done = true;
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - JSONstart).count();
  std::string o = "{\n";
  o += "  \"version\": " + JSONquote(JSONrun.version) + ",\n";
  o += "  \"model\": " + JSONornull(JSONrun.model) + ",\n";
  o += "  \"c_file\": " + JSONornull(op0.cfile ? op0.cfile : "") + ",\n";
  o += "  \"options\": [";
  for (size_t k = 0; k < JSONrun.options.size(); k++) o += (k ? ", " : "") + JSONquote(JSONrun.options[k]);
  o += "],\n";
  o += std::string("  \"engine\": \"") + JSONengine() + "\",\n";
  o += "  \"algorithm\": " + (op0.engine == PARENG_TBD ? std::to_string(op0.alg) : "null") + ",\n";
  o += "  \"property\": " + JSONornull(JSONrun.written) + ",\n";
  o += "  \"property_checked\": " + JSONornull(JSONrun.checked) + ",\n";
  o += std::string("  \"verdict\": \"") + JSONverdict() + "\",\n";
  bool bound = REPlast.printed && REPlast.bound != BOUND_NONE;
  o += "  \"bound\": " + (bound ? std::to_string(REPlast.bound) : "null") + ",\n";
  o += "  \"limit\": " + JSONornull(PARlimitend) + ",\n";
  o += "  \"error\": " + JSONornull(utilwhy) + ",\n";
  char s[32];
  std::snprintf(s, sizeof s, "%.3f", secs);
  o += std::string("  \"seconds\": ") + s + ",\n";
  o += "  \"exit_status\": " + std::to_string(status & 0xff) + ",\n";
  o += "  \"trace\": " + (CEXwritten.empty() ? "null" : JSONtrace(CEXwritten)) + "\n}\n";
  FILE *f = std::fopen(PARjson.c_str(), "w");
  if (!f) {
    std::printf("ERROR:      cannot create %s\n", PARjson.c_str());
    std::fflush(stdout);
    return;
  }
  std::fwrite(o.data(), 1, o.size(), f);
  std::fclose(f);
}
