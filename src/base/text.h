// The text rules the whole library shares. Names and paths are single-byte text in the host's code
// page: only the ASCII letters have a case, every other byte is compared as it is.
#pragma once

#include <string>
#include <string_view>

namespace miradel::text {

inline char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A copy with the ASCII letters in lower case.
std::string LowerCase(std::string s);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);

// The host pads fixed-length texts with blanks: only blanks go, not tabs or line ends.
std::string TrimTrailingBlanks(std::string s);
// White space as the files on the share know it: blank, tab and the codes 10 to 13, at both ends.
std::string TrimWhiteSpace(std::string_view s);
bool IsWhiteSpace(char c);

// The C library's conversions of a number at the start of a text (leading white space and a sign
// allowed; 0 when no number begins there). Integers beyond an int are held at its limits.
int DecimalValue(std::string_view text);
double RealValue(const std::string& text);

// Columns first to last of a line (counted from 1, inclusive); what the line lacks is left out.
std::string Columns(std::string_view line, std::size_t first, std::size_t last);

}  // namespace miradel::text
