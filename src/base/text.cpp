#include "base/text.h"

#include <climits>
#include <clocale>
#include <cstdlib>

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

int DecimalValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

double RealValue(const std::string& text) {
  // strtod reads the decimal point of the host's locale; the files always write ".".
  std::string s = text;
  const char* point = std::localeconv()->decimal_point;
  if (point && point[0] != '.' && point[0] != 0 && point[1] == 0) {
    for (char& c : s) {
      if (c == '.') c = point[0];
    }
  }
  return std::strtod(s.c_str(), nullptr);
}

std::string Columns(std::string_view line, std::size_t first, std::size_t last) {
  if (first == 0 || first > line.size() || last < first) return std::string();
  return std::string(line.substr(first - 1, last - first + 1));
}

}  // namespace miradel::text
