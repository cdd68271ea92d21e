#include "companion/name_lists.h"

#include <set>

#include "base/text.h"

namespace miradel {

namespace {
constexpr std::size_t kLineWidth = 80;
constexpr const char* kRowContinuation = "               | ";
}  // namespace

void RemoveDuplicateNames(std::vector<std::string>& list) {
  std::set<std::string> seen;
  std::vector<std::string> kept;
  kept.reserve(list.size());
  for (std::string& name : list) {
    if (seen.insert(name).second) kept.push_back(std::move(name));
  }
  list.swap(kept);
}

int ListContainsNoCase(const std::vector<std::string>& list, const std::string& text) {
  for (const std::string& entry : list) {
    if (text::EqualsNoCase(entry, text)) return 1;
  }
  return 0;
}

void FormatMissingFileList(const std::string& header, std::string& text, const std::vector<std::string>& list) {
  if (list.empty()) return;
  text = header;
  std::string line;
  for (const std::string& name : list) {
    const std::string item = "[ " + name + " ] ";
    if (line.size() + item.size() > kLineWidth) {
      text += line + "\r\n";
      line.clear();
    }
    line += item;
  }
  text += line;
}

void FormatMissingSpectrumTable(const std::string& header, std::string& text,
                                const std::vector<std::vector<std::string>>& lists, int count) {
  text = header;
  std::string line;
  for (int i = 1; i <= count && static_cast<std::size_t>(i) <= lists.size(); ++i) {
    const std::vector<std::string>& names = lists[static_cast<std::size_t>(i - 1)];
    if (names.empty()) continue;
    line += "\r\n    F" + std::to_string(i) + "       | ";
    for (const std::string& name : names) {
      const std::string item = " " + name + " ";
      if (line.size() + item.size() > kLineWidth) {
        text += line + "\r\n";
        line = kRowContinuation;
      }
      line += item;
    }
    text += line;
    line.clear();
  }
}

}  // namespace miradel
