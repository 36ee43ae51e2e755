#include "platform/dos_names.h"

#include <algorithm>
#include <set>

namespace vellomar::platform {
namespace {

bool GlobMatch(const char* name, const char* pattern) {
  // Iterative matcher with one back-track point for the last '*'.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '?' || (*pattern != '*' && *pattern == *name)) {
      ++name;
      ++pattern;
    } else if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool ValidShortChar(unsigned char c) {
  if (c >= 128) return true;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  static const std::string kPunctuation = "!#$%&'()-@^_`{}~";
  return kPunctuation.find(static_cast<char>(c)) != std::string::npos;
}

std::string ValidCharsUpper(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (ValidShortChar(c)) out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return out;
}

// Base and extension of the alias before the numeric tail.
void AliasParts(const std::string& name, std::string* base, std::string* ext) {
  std::string rest = name.substr(std::min(name.find_first_not_of('.'), name.size()));
  const std::size_t dot = rest.rfind('.');
  if (dot == std::string::npos) {
    *base = ValidCharsUpper(rest);
    ext->clear();
  } else {
    *base = ValidCharsUpper(rest.substr(0, dot));
    *ext = ValidCharsUpper(rest.substr(dot + 1)).substr(0, 3);
  }
  // One character pushed rather than a text assigned: GCC 12 at -O3 takes the assignment for an
  // overlapping copy (a false -Wrestrict).
  if (base->empty()) base->push_back('_');
}

std::string Alias(const std::string& base, const std::string& ext, int n) {
  // Appended rather than prefixed with operator+, for the same false -Wrestrict.
  std::string tail(1, '~');
  tail += std::to_string(n);
  std::string alias = base.substr(0, 8 - tail.size()) + tail;
  if (!ext.empty()) alias += "." + ext;
  return alias;
}

}  // namespace

std::string UpperAscii(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

bool SameDosName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && UpperAscii(a) == UpperAscii(b);
}

bool HasWildcards(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

bool MatchesDosPattern(const std::string& name, const std::string& pattern) {
  const std::string n = UpperAscii(name);
  std::string p = UpperAscii(pattern);
  if (p == "*.*" || p == "*") return true;
  const bool has_dot = n.find('.') != std::string::npos;
  if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && !has_dot &&
      GlobMatch(n.c_str(), p.substr(0, p.size() - 2).c_str())) {
    return true;
  }
  if (p.size() >= 2 && p.back() == '.' && p[p.size() - 2] != '.') {
    return !has_dot && GlobMatch(n.c_str(), p.substr(0, p.size() - 1).c_str());
  }
  return GlobMatch(n.c_str(), p.c_str());
}

bool IsShortName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  const std::size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (unsigned char c : base + ext) {
    if (!ValidShortChar(c)) return false;
  }
  return true;
}

std::string ShortNameIn(const std::string& name, std::vector<std::string> siblings) {
  if (IsShortName(name)) return UpperAscii(name);
  if (std::find(siblings.begin(), siblings.end(), name) == siblings.end()) {
    siblings.push_back(name);
  }
  std::sort(siblings.begin(), siblings.end());
  std::set<std::string> taken;
  for (const std::string& sibling : siblings) {
    if (IsShortName(sibling)) taken.insert(UpperAscii(sibling));
  }
  for (const std::string& sibling : siblings) {
    if (IsShortName(sibling)) continue;
    std::string base, ext;
    AliasParts(sibling, &base, &ext);
    std::string alias;
    for (int n = 1;; ++n) {
      alias = Alias(base, ext, n);
      if (taken.insert(alias).second) break;
    }
    if (sibling == name) return alias;
  }
  return name;  // not reached: `name` is among the siblings
}

}  // namespace vellomar::platform
