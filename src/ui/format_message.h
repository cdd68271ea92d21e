// A portable equivalent of the Win32 message formatter, as FormatMessageA behaves with
// FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY and an array of string inserts:
//
//  - "%1".."%99": the insert of that number (at most two digits: "%100" is insert 10 and a "0");
//    an insert the caller did not give is empty. "%N!fmt!" formats the insert with a printf string
//    conversion; "[-][width][.precision]s" is honoured (up to four digits each), any other fmt
//    inserts the text plainly.
//  - "%0" ends the output there, "%n" is "\r\n", "%r" is "\r", "%t" a tab; "%" before any other
//    character ("%%", "%.", "%!", "% ", even "%" before a line break) gives that character alone.
//  - A line break in the text ("\r\n", "\r" or "\n") comes out as "\r\n".
//  - A lone "%" at the end, or a "%N!" without its closing "!", cannot be formatted.
#pragma once

#include <string>
#include <vector>

namespace miradel::ui {

// The formatted text into *out; false (out untouched) when the text cannot be formatted.
bool FormatMessageText(const std::string& text, const std::vector<std::string>& inserts, std::string* out);

// True when the system's formatter can be handed text and inserts without reading beyond them or
// producing what FormatMessageText would not: no zero byte in them, every "!fmt!" one of those
// honoured above, the text not too large for the system's limit.
bool SystemCanFormat(const std::string& text, const std::vector<std::string>& inserts);

// The number of inserts the system's formatter may refer to.
inline constexpr int kMaxInserts = 99;

}  // namespace miradel::ui
