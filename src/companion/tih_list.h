// A TIH list file: a line not looked at, a count, and then one TIH file name a line in columns
// 11-18 (".tih" appended), up to the first line of 18 characters or fewer.
#pragma once

#include <string>
#include <vector>

#include "disk/text_lines.h"

namespace miradel {

// Appends the names the file at path gives (a relative path is taken against the current
// directory); nothing from a file that cannot be opened or read to its end, or whose count is not
// above 0.
void ReadTihList(const std::string& path, std::vector<std::string>& names);
// The same for lines at hand.
void ReadTihLines(TextLines& lines, std::vector<std::string>& names);

}  // namespace miradel
