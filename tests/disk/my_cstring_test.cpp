// MyCString: the model directory that the host thread and the copy thread share.
#include "disk/my_cstring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace miradel {
namespace {

TEST(MyCStringTest, ReadersSeeOnlyWholeValuesWhileAnotherThreadWrites) {
  const std::string short_value = "/m", long_value(64, 'x');  // the long one lives outside the object
  MyCString s(short_value);
  std::atomic<bool> written{false};
  // Millions of writes: an unguarded one is caught in the act only now and then.
  std::thread writer([&] {
    for (int i = 0; i < 4000000; ++i) s.Set(i % 2 ? long_value : short_value);
    written = true;
  });
  int torn = 0;
  while (!written) {  // reads for as long as the writer writes
    const std::string v = s.Get();
    const std::size_t n = s.GetLength();
    torn += (v != short_value && v != long_value) + (n != short_value.size() && n != long_value.size());
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace miradel
