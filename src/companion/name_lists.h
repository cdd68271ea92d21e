// The lists of file names the companion files are gathered in, and the texts that report the
// missing ones to the user.
#pragma once

#include <string>
#include <vector>

namespace miradel {

// Removes every entry equal (letter case counting) to an earlier one; the first of each stays.
void RemoveDuplicateNames(std::vector<std::string>& list);
// 1 when some entry equals text without regard to letter case.
int ListContainsNoCase(const std::vector<std::string>& list, const std::string& text);

// text becomes header and the names as "[ name ] " items, a line broken before an item that
// would take it past 80 characters; text is left alone for an empty list.
void FormatMissingFileList(const std::string& header, std::string& text, const std::vector<std::string>& list);
// text becomes header and one row per non-empty list: "\r\n    F<i>       | " and the names as
// " name " items, continued under the first name when a row would pass 80 characters.
void FormatMissingSpectrumTable(const std::string& header, std::string& text,
                                const std::vector<std::vector<std::string>>& lists, int count);

}  // namespace miradel
