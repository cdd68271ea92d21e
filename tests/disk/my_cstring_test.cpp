// MyCString: the model directory that the host thread and the copy thread share.
#include "disk/my_cstring.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace miradel {
namespace {

TEST(MyCStringTest, ReadersSeeOnlyWholeValuesWhileAnotherThreadWrites) {
  const std::string short_value = "/m", long_value(4096, 'x');  // the long one moves the storage
  MyCString s(short_value);
  std::thread writer([&] { for (int i = 0; i < 20000; ++i) s.Set(i % 2 ? long_value : short_value); });
  int torn = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string v = s.Get();
    const std::size_t n = s.GetLength();
    torn += (v != short_value && v != long_value) + (n != short_value.size() && n != long_value.size());
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace miradel
