#include "ui/format_message.h"

#include <cstddef>
#include <utility>

namespace miradel::ui {

namespace {

// The system's formatter works in a buffer of at most 64 KiB; stay well below it.
constexpr std::size_t kSystemLimit = 32 * 1024;
constexpr std::size_t kMaxConversionDigits = 4;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A "!fmt!" that is honoured: "[-][width][.precision]s", width not starting with 0.
struct StringConversion {
  bool left = false;
  std::size_t width = 0;
  bool has_precision = false;
  std::size_t precision = 0;
};

bool ParseDigits(const std::string& s, std::size_t* i, std::size_t* value) {
  std::size_t start = *i;
  *value = 0;
  while (*i < s.size() && IsDigit(s[*i])) {
    if (*i - start >= kMaxConversionDigits) return false;
    *value = *value * 10 + static_cast<std::size_t>(s[*i] - '0');
    ++*i;
  }
  return true;
}

bool ParseConversion(const std::string& fmt, StringConversion* conv) {
  std::size_t i = 0;
  if (i < fmt.size() && fmt[i] == '-') {
    conv->left = true;
    ++i;
  }
  if (i < fmt.size() && fmt[i] == '0') return false;
  if (!ParseDigits(fmt, &i, &conv->width)) return false;
  if (i < fmt.size() && fmt[i] == '.') {
    ++i;
    if (i >= fmt.size() || !IsDigit(fmt[i])) return false;
    conv->has_precision = true;
    if (!ParseDigits(fmt, &i, &conv->precision)) return false;
  }
  return i + 1 == fmt.size() && fmt[i] == 's';
}

void AppendFormatted(const std::string& value, const StringConversion& conv, std::string* out) {
  std::size_t n = value.size();
  if (conv.has_precision && conv.precision < n) n = conv.precision;
  const std::size_t pad = conv.width > n ? conv.width - n : 0;
  if (!conv.left) out->append(pad, ' ');
  out->append(value, 0, n);
  if (conv.left) out->append(pad, ' ');
}

// Walks the text once; with out == nullptr it only checks. all_conversions_honoured (if given) tells
// whether every "!fmt!" was one that ParseConversion accepts.
bool Format(const std::string& text, const std::vector<std::string>& inserts, std::string* out,
            bool* all_conversions_honoured) {
  if (all_conversions_honoured) *all_conversions_honoured = true;
  std::string result;
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      i += (c == '\r' && i + 1 < size && text[i + 1] == '\n') ? 2 : 1;
      result += "\r\n";
      continue;
    }
    if (c != '%') {
      result += c;
      ++i;
      continue;
    }
    if (i + 1 >= size) return false;  // a lone '%' at the end
    const char d = text[i + 1];
    if (d == '0') break;
    if (d >= '1' && d <= '9') {
      int number = d - '0';
      i += 2;
      if (i < size && IsDigit(text[i])) {
        number = number * 10 + (text[i] - '0');
        ++i;
      }
      const std::string empty;
      const std::string& value =
          static_cast<std::size_t>(number) <= inserts.size() ? inserts[static_cast<std::size_t>(number) - 1] : empty;
      StringConversion conv;
      if (i < size && text[i] == '!') {
        const std::size_t close = text.find('!', i + 1);
        if (close == std::string::npos) return false;
        const std::string fmt = text.substr(i + 1, close - i - 1);
        if (!ParseConversion(fmt, &conv)) {
          conv = StringConversion();
          if (all_conversions_honoured) *all_conversions_honoured = false;
        }
        i = close + 1;
      }
      AppendFormatted(value, conv, &result);
      continue;
    }
    switch (d) {
      case 'n': result += "\r\n"; break;
      case 'r': result += '\r'; break;
      case 't': result += '\t'; break;
      default: result += d; break;
    }
    i += 2;
  }
  if (out) *out = std::move(result);
  return true;
}

}  // namespace

bool FormatMessageText(const std::string& text, const std::vector<std::string>& inserts, std::string* out) {
  return Format(text, inserts, out, nullptr);
}

bool SystemCanFormat(const std::string& text, const std::vector<std::string>& inserts) {
  if (text.find('\0') != std::string::npos) return false;
  for (const std::string& s : inserts) {
    if (s.find('\0') != std::string::npos) return false;
  }
  std::string formatted;
  bool honoured = false;
  if (!Format(text, inserts, &formatted, &honoured)) return false;
  return honoured && text.size() <= kSystemLimit && formatted.size() <= kSystemLimit;
}

}  // namespace miradel::ui
