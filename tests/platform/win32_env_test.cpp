// The Win32 adapter against the system itself: the native codes its statuses carry and the Windows
// behaviour that the portable contract suite leaves open.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>  // before env.h, which undoes its A/W names
#endif

#include <string>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

TEST(Win32EnvTest, NativeCodesAndTheirTrimmedTextsExactTimesAndHiddenDestinations) {
#ifndef _WIN32
  GTEST_SKIP() << "the Win32 adapter is Windows only";
#else
  Env& env = System();
  test::TempDir dir;
  FileHandle h = 123;
  Status s = env.OpenFile(dir / "absent.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, s.code());
  EXPECT_EQ(kNoFile, h);
  EXPECT_EQ(env.ErrorText(s.code()), s.message());
  const std::string blanks = " \r\n\t";  // the system's texts end in a line break
  ASSERT_FALSE(s.message().empty());
  EXPECT_EQ(blanks.find(s.message().back()), std::string::npos) << "'" << s.message() << "'";
  EXPECT_EQ(blanks.find(s.message().front()), std::string::npos) << "'" << s.message() << "'";
  s = env.OpenFile(dir / "no\\such\\dir.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, s.code());
  EXPECT_EQ("", env.ErrorText(0x7ffffff0));  // no text rather than an invented one

  // 2300-01-01 00:00:00 UTC (past what 64-bit nanoseconds hold) and 123456700 ns, in 100 ns steps
  // since 1601-01-01.
  const std::uint64_t ticks = 220582656000000000ULL + 1234567;
  const FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const std::string from = dir.Write("a.dat", "new"), to = dir.Write("b.dat", "old");
  HANDLE raw = CreateFileA(from.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, raw);
  ASSERT_TRUE(SetFileTime(raw, nullptr, nullptr, &when));
  ASSERT_TRUE(CloseHandle(raw));
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(from, &info).ok());
  EXPECT_EQ((FileTime{10413792000, 123456700, true}), info.mtime);

  // A copy over a hidden file is refused, as Windows does.
  ASSERT_TRUE(SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(ERROR_ACCESS_DENIED, env.CopyFile(from, to, true).code());
  ASSERT_TRUE(env.GetFileInfo(to, &info).ok());
  EXPECT_TRUE(info.hidden);
  EXPECT_EQ("old", dir.Read("b.dat"));
#endif
}

}  // namespace
}  // namespace miradel::platform
