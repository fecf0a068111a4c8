#pragma once
// Small text helpers shared by the platform layers' sources (os, http), inline only: not
// part of any layer's interface.
#include <string>
#include <string_view>

namespace os::ascii {

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

inline std::string ToLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

}  // namespace os::ascii
