// A TIH list from the share: names are appended after what the list held, each a trimmed column
// 11-18 with ".tih", at most one a line from the third.
#include <vector>

#include "companion/tih_list.h"
#include "fuzz_check.h"

using namespace miradel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TextLines lines(bytes);
  std::vector<std::string> names{"held before"};
  ReadTihLines(lines, names);
  FUZZ_CHECK(names.front() == "held before");
  const std::size_t count = fuzz::TextLineCount(bytes);
  FUZZ_CHECK(names.size() - 1 <= (count > 2 ? count - 2 : 0));
  for (std::size_t i = 1; i < names.size(); ++i) {
    const std::string_view name = names[i];
    FUZZ_CHECK(name.size() >= 4 && name.size() <= 12 && name.substr(name.size() - 4) == ".tih");
    FUZZ_CHECK(!fuzz::HasEdgeWhiteSpace(name.substr(0, name.size() - 4)));
  }
  return 0;
}
