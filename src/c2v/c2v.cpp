// The translator's files: the C program, the assertion file and the
// function-specification file in; the model, the listing and the log out.
#include <cstdio>
#include <cstdlib>

#include "c2v/c2v.h"
#include "tree/tree.h"

std::map<int, std::vector<std::string>> C2Vreadsp(const std::string &text) {
  std::map<int, std::vector<std::string>> sp;
  size_t b = 0;
  while (b < text.size()) {
    size_t e = text.find('\n', b);
    std::string l = text.substr(b, e == std::string::npos ? std::string::npos : e - b);
    b = e == std::string::npos ? text.size() : e + 1;
    size_t colon = l.find(':');
    if (colon == std::string::npos) continue;  // not an entry
    size_t d = l.find_first_of("0123456789");
    if (d == std::string::npos || d > colon) continue;
    int n = 0;
    while (d < l.size() && l[d] >= '0' && l[d] <= '9' && n < 100000000) n = n * 10 + (l[d++] - '0');
    std::string c;
    for (char ch : l.substr(colon + 1))
      if (ch != ';' && ch != '\r') c += ch;
    size_t a = c.find_first_not_of(" \t");
    if (a == std::string::npos) continue;
    c = c.substr(a, c.find_last_not_of(" \t") - a + 1);
    sp[n].push_back(c);
  }
  return sp;
}

std::string C2Vmodelname(const std::string &cfile) {
  std::string base = gfilename(cfile);
  return (base.empty() ? cfile : base) + ".lum";
}

static bool C2Vreadfile(const char *path, std::string &out) {
  FILE *f = std::fopen(path, "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return true;
}

static void C2Vwritefile(const std::string &path, const std::string &text) {
  FILE *f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::printf("ERROR:      cannot create %s\n", path.c_str());
    std::fflush(stdout);
    utilwhy = "cannot create " + path;
    utilexit(0);
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

void c2v(const char *cfile, const char *spfile, const char *fspfile) {
  std::string lum = C2Vmodelname(cfile);
  std::string luc = lum.substr(0, lum.size() - 4) + ".luc";
  std::remove(lum.c_str());  // never check a model left from an earlier run
  std::string src, sp, fsp;
  if (!C2Vreadfile(cfile, src)) return;  // the driver reports the missing model
  for (const char *f : {spfile, fspfile})
    if (f && !C2Vreadfile(f, f == spfile ? sp : fsp)) {
      std::printf("ERROR:      %s not found\n", f);
      std::fflush(stdout);
      utilwhy = std::string(f) + " not found";
      utilexit(0);
    }
  c2vout o = C2Vtranslate(src, C2Vreadsp(sp), fsp);
  C2Vwritefile(utilworkfile("c2v.log"), o.log + o.error);
  if (!o.error.empty()) {
    std::fputs(o.error.c_str(), stdout);
    std::fflush(stdout);
    utilwhy = o.error.substr(0, o.error.find_last_not_of('\n') + 1);
    if (utilwhy.empty()) utilwhy = "C translation error";
    utilexit(0);
  }
  C2Vwritefile(lum, o.lum);
  C2Vwritefile(luc, o.luc);
}

// After each state: the C line that main is at and the renamed variables
// under their C names, as comment lines beside the model's own.
void C2Vcexannotate(const std::string &cexpath) {
  std::string text;
  if (!C2Vreadfile(cexpath.c_str(), text)) return;
  std::string out, block;
  auto flush = [&]() {
    if (block.empty()) return;
    out += block;
    std::string extra;
    size_t b = 0;
    while (b < block.size()) {
      size_t e = block.find('\n', b);
      std::string l = block.substr(b, e - b);
      b = e == std::string::npos ? block.size() : e + 1;
      size_t tab = l.find('\t');
      if (tab == std::string::npos || l.compare(tab, 2, "\t=") != 0) continue;
      std::string name = l.substr(0, tab), value = l.substr(tab + 2);
      if (name == "pc") {
        long loc = std::strtol(value.c_str(), nullptr, 10);
        if (loc >= 0 && loc < (long)C2Vmap.line.size()) {
          int line = C2Vmap.line[(size_t)loc];
          std::string src = line > 0 && line < (int)C2Vmap.source.size() ? C2Vmap.source[(size_t)line] : "";
          size_t a = src.find_first_not_of(" \t");
          src = a == std::string::npos ? "" : src.substr(a);
          extra = "// C line " + std::to_string(line) + ": " + src + "\n" + extra;
        }
        continue;
      }
      for (auto &m : C2Vmap.names)
        if (name == m.first || name.rfind(m.first + "[", 0) == 0)
          extra += "// C " + m.second + name.substr(m.first.size()) + "\t=" + value + "\n";
    }
    out += extra;
    block.clear();
  };
  size_t b = 0;
  while (b < text.size()) {
    size_t e = text.find('\n', b);
    std::string l = text.substr(b, e == std::string::npos ? std::string::npos : e - b + 1);
    b = e == std::string::npos ? text.size() : e + 1;
    if (l.rfind("--- ", 0) == 0) {
      flush();
      out += l;
      if (l.rfind("--- STATE", 0) == 0) block.clear();
      continue;
    }
    block += l;
  }
  flush();
  FILE *f = std::fopen(cexpath.c_str(), "w");
  if (!f) return;
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
}
