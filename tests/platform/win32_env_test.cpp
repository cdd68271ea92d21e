// The Win32 adapter against the system itself: the native codes its statuses carry and the Windows
// behaviour that the portable contract suite leaves open.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

class Win32EnvTest : public ::testing::Test {
 protected:
  Env& env_ = System();
  test::TempDir dir_;
};

TEST_F(Win32EnvTest, StatusesCarryTheNativeCodeAndItsTrimmedText) {
  FileHandle h = 123;
  Status s = env_.OpenFile(dir_ / "absent.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, s.code());
  EXPECT_EQ(kNoFile, h);
  ASSERT_FALSE(s.message().empty());
  EXPECT_EQ(env_.ErrorText(ERROR_FILE_NOT_FOUND), s.message());
  EXPECT_EQ(std::string::npos, std::string(" \r\n\t").find(s.message().back()));
  EXPECT_EQ(std::string::npos, std::string(" \r\n\t").find(s.message().front()));
  s = env_.OpenFile(dir_ / "no\\such\\dir.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, s.code());
  EXPECT_EQ("", env_.ErrorText(0x7ffffff0));  // no text rather than an invented one
}

TEST_F(Win32EnvTest, LastWriteTimeIsConvertedExactly) {
  // 2014-01-01 00:00:00 UTC and 123456700 ns, in 100 ns steps since 1601-01-01.
  const std::uint64_t ticks = 130330080000000000ULL + 1234567;
  const FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const std::string path = dir_.Write("t.dat", "x");
  HANDLE raw = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, raw);
  ASSERT_TRUE(SetFileTime(raw, nullptr, nullptr, &when));
  CloseHandle(raw);
  FileInfo info;
  ASSERT_TRUE(env_.GetFileInfo(path, &info).ok());
  EXPECT_EQ(1388534400LL * 1000000000 + 123456700, info.mtime_ns);
}

TEST_F(Win32EnvTest, CopyOverAHiddenDestinationIsRefusedAsWindowsDoes) {
  const std::string from = dir_.Write("a.dat", "new"), to = dir_.Write("b.dat", "old");
  ASSERT_TRUE(SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_HIDDEN));
  Status s = env_.CopyFile(from, to, true);
  EXPECT_EQ(ERROR_ACCESS_DENIED, s.code());
  FileInfo info;
  ASSERT_TRUE(env_.GetFileInfo(to, &info).ok());
  EXPECT_TRUE(info.hidden);
  EXPECT_EQ("old", dir_.Read("b.dat"));
  ASSERT_TRUE(SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL));
}

}  // namespace
}  // namespace miradel::platform

#endif  // _WIN32
