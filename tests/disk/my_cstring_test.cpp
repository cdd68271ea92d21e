// MyCString: the model directory that the host thread and the copy thread share.
#include "disk/my_cstring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace miradel {
namespace {

TEST(MyCStringTest, ReadersSeeOnlyWholeValuesWhileAnotherThreadWrites) {
  const std::string short_value = "/m";
  const std::string long_value(4096, 'x');  // beyond any small-string buffer: the storage moves
  MyCString s;
  EXPECT_TRUE(s.Get().empty() && s.GetLength() == 0);
  s.Set(short_value);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) s.Set(i % 2 ? long_value : short_value);
    stop = true;
  });
  int torn = 0;
  while (!stop) {
    std::string v = s.Get();
    std::size_t n = s.GetLength();
    if (v != short_value && v != long_value) ++torn;
    if (n != short_value.size() && n != long_value.size()) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace miradel
