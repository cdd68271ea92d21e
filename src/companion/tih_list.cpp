#include "companion/tih_list.h"

#include "base/text.h"

namespace miradel {

namespace {
constexpr std::size_t kShortLine = 18;
}  // namespace

void ReadTihLines(TextLines& lines, std::vector<std::string>& names) {
  std::string line;
  if (!lines.Next(&line) || !lines.Next(&line)) return;
  if (text::DecimalValue(text::TrimWhiteSpace(line)) <= 0) return;
  std::vector<std::string> read;
  while (lines.Next(&line) && line.size() > kShortLine)
    read.push_back(text::TrimWhiteSpace(text::Columns(line, 11, 18)) + ".tih");
  if (lines.failed()) return;
  names.insert(names.end(), read.begin(), read.end());
}

void ReadTihList(const std::string& path, std::vector<std::string>& names) {
  const platform::FileHandle h = platform::OpenForReading(platform::Current(), path);
  if (h == platform::kNoFile) return;
  TextLines lines(platform::Current(), h);
  ReadTihLines(lines, names);
  platform::Current().Close(h).IgnoreError();
}

}  // namespace miradel
