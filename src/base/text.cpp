#include "base/text.h"

namespace miradel::text {

std::string LowerCase(std::string s) {
  for (char& c : s) c = FoldCase(c);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string TrimTrailingBlanks(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || (c >= 10 && c <= 13); }

std::string TrimWhiteSpace(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsWhiteSpace(s[b])) ++b;
  while (e > b && IsWhiteSpace(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

}  // namespace miradel::text
