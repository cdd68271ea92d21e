// MyCString: the model directory that the host thread and the copy thread share.
#include "disk/my_cstring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <type_traits>

namespace miradel {
namespace {

static_assert(std::has_virtual_destructor_v<MyCString>, "derived strings are deleted through the base");

TEST(MyCStringTest, StartsEmptyAndKeepsACopy) {
  MyCString s;
  EXPECT_EQ(s.Get(), "");
  EXPECT_EQ(s.GetLength(), 0u);
  std::string dir = "/models/a";
  s.Set(dir);
  dir += "/changed";
  EXPECT_EQ(s.Get(), "/models/a");
  EXPECT_EQ(s.GetLength(), 9u);
}

TEST(MyCStringTest, ReadersSeeOnlyWholeValuesWhileAnotherThreadWrites) {
  const std::string short_value = "/m";
  const std::string long_value(4096, 'x');  // beyond any small-string buffer: the storage moves
  MyCString s(short_value);
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
