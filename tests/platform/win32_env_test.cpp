// The Win32 adapter against the system itself: the native codes its statuses carry and the Windows
// behaviour that the portable contract suite leaves open.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/env.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

class Win32EnvTest : public ::testing::Test {
 protected:
  FileHandle Make(const std::string& name, const std::string& content) {
    FileHandle h = kNoFile;
    EXPECT_TRUE(env_.OpenFile(dir_ / name, kReadWrite, kShareRead, Disposition::kCreateAlways, &h, nullptr).ok());
    EXPECT_TRUE(env_.Write(h, content.data(), content.size()).ok());
    return h;
  }
  Env& env_ = System();
  test::TempDir dir_;
};

TEST_F(Win32EnvTest, StatusesCarryTheNativeCodeAndItsTrimmedText) {
  FileHandle h = 123;
  Status s = env_.OpenFile(dir_ / "absent.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_TRUE(s.IsNotFound());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, s.code());
  EXPECT_EQ(kNoFile, h);
  ASSERT_FALSE(s.message().empty());
  EXPECT_EQ(env_.ErrorText(ERROR_FILE_NOT_FOUND), s.message());
  EXPECT_EQ(std::string::npos, std::string(" \r\n\t").find(s.message().back()));
  EXPECT_EQ(std::string::npos, std::string(" \r\n\t").find(s.message().front()));
  s = env_.OpenFile(dir_ / "no\\such\\dir.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_TRUE(s.IsNotFound());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, s.code());
  EXPECT_EQ("", env_.ErrorText(0x7ffffff0));  // no text rather than an invented one
}

// Started with handle inheritance on; holds whatever it inherited until its input is closed.
MIRADEL_CHILD(win32_idle) {
  (void)args;
  std::printf("ready\n");
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

TEST_F(Win32EnvTest, ChildProcessesDoNotInheritOpenFiles) {
  FileHandle h = Make("model.dat", "data");
  auto child = test::ChildProcess::StartSelf("win32_idle", {});
  ASSERT_TRUE(child);
  ASSERT_EQ("ready", child->ReadLine(60000));
  env_.Close(h);
  // An inherited copy in the child would still hold the file and refuse this writer.
  Status s = env_.OpenFile(dir_ / "model.dat", kReadWrite, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_TRUE(s.ok()) << s.code() << " " << s.message();
  env_.Close(h);
  child->CloseInput();
  EXPECT_EQ(0, child->Wait(60000));
}

TEST_F(Win32EnvTest, AStaleHandleNeverReachesAFileOpenedLater) {
  FileHandle first = Make("a.dat", "a");
  env_.Close(first);
  FileHandle second = Make("b.dat", "b");
  EXPECT_NE(first, second);  // the system would give the same HANDLE value back
  EXPECT_EQ(ERROR_INVALID_HANDLE, env_.Seek(first, 0).code());
  env_.Close(first);  // must not close b.dat
  ASSERT_TRUE(env_.Seek(second, 0).ok());
  char c = 0;
  std::size_t got = 0;
  ASSERT_TRUE(env_.Read(second, &c, 1, &got).ok());
  EXPECT_EQ(1u, got);
  EXPECT_EQ('b', c);
  EXPECT_TRUE(env_.DeleteFile(dir_ / "b.dat").IsSharingViolation());
  env_.Close(second);
}

TEST_F(Win32EnvTest, BadHandlesAndMissingOutputsFailWithoutHarm) {
  char buf[4];
  std::size_t got = 7;
  Status s = env_.Read(kNoFile, buf, sizeof buf, &got);
  EXPECT_EQ(ERROR_INVALID_HANDLE, s.code());
  EXPECT_EQ(0u, got);
  EXPECT_FALSE(env_.Write(kNoFile, "x", 1).ok());
  EXPECT_FALSE(env_.Seek(kNoFile, 0).ok());
  EXPECT_FALSE(env_.Truncate(kNoFile).ok());
  env_.Close(kNoFile);
  EXPECT_FALSE(env_.OpenFile(dir_ / "x", kRead, kShareRead, Disposition::kOpenExisting, nullptr, nullptr).ok());
  EXPECT_FALSE(env_.GetFileInfo(dir_.path(), nullptr).ok());
  EXPECT_FALSE(env_.FindFiles(dir_.path(), "*", nullptr).ok());
  EXPECT_EQ(ERROR_INVALID_PARAMETER, env_.UserName(nullptr).code());
  EXPECT_EQ(ERROR_INVALID_PARAMETER, env_.ComputerName(nullptr).code());
  EXPECT_EQ(ERROR_INVALID_PARAMETER, env_.GetCurrentDirectory(nullptr).code());

  FileHandle h = Make("f.dat", "abc");
  EXPECT_EQ(ERROR_NEGATIVE_SEEK, env_.Seek(h, ~std::uint64_t{0}).code());
  EXPECT_EQ(ERROR_INVALID_PARAMETER, env_.Read(h, nullptr, 1, &got).code());
  env_.Close(h);
}

TEST_F(Win32EnvTest, PathsWithAnEmbeddedNullAreRefused) {
  env_.Close(Make("a.dat", "keep"));
  std::string tricky = dir_ / std::string("a.dat\0.lck", 10);
  FileHandle h = kNoFile;
  EXPECT_EQ(ERROR_INVALID_NAME, env_.OpenFile(tricky, kWrite, kShareNone, Disposition::kCreateAlways, &h, nullptr).code());
  EXPECT_EQ(kNoFile, h);
  EXPECT_EQ(ERROR_INVALID_NAME, env_.DeleteFile(tricky).code());
  EXPECT_EQ(ERROR_INVALID_NAME, env_.CopyFile(dir_ / "a.dat", tricky, true).code());
  std::vector<DirEntry> found;
  EXPECT_EQ(ERROR_INVALID_NAME, env_.FindFiles(dir_.path(), std::string("a\0*", 3), &found).code());
  EXPECT_FALSE(env_.CanEnterDirectory(dir_.path() + std::string("\0", 1)));
  EXPECT_EQ("keep", dir_.Read("a.dat"));
}

TEST_F(Win32EnvTest, LastWriteTimeIsConvertedExactly) {
  env_.Close(Make("t.dat", "x"));
  FILETIME when{};
  when.dwHighDateTime = 0x01D00000;  // early 2014
  when.dwLowDateTime = 1234567;
  HANDLE raw = CreateFileA((dir_ / "t.dat").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, raw);
  ASSERT_TRUE(SetFileTime(raw, nullptr, nullptr, &when));
  CloseHandle(raw);
  FileInfo info;
  ASSERT_TRUE(env_.GetFileInfo(dir_ / "t.dat", &info).ok());
  std::int64_t ticks = (static_cast<std::int64_t>(0x01D00000) << 32) + 1234567;
  EXPECT_EQ((ticks - 116444736000000000LL) * 100, info.mtime_ns);
}

TEST_F(Win32EnvTest, CopyOverAHiddenDestinationIsRefusedAsWindowsDoes) {
  env_.Close(Make("a.dat", "new"));
  env_.Close(Make("b.dat", "old"));
  ASSERT_TRUE(SetFileAttributesA((dir_ / "b.dat").c_str(), FILE_ATTRIBUTE_HIDDEN));
  Status s = env_.CopyFile(dir_ / "a.dat", dir_ / "b.dat", true);
  EXPECT_TRUE(s.IsAccessDenied()) << s.code();
  EXPECT_EQ(ERROR_ACCESS_DENIED, s.code());
  FileInfo info;
  ASSERT_TRUE(env_.GetFileInfo(dir_ / "b.dat", &info).ok());
  EXPECT_TRUE(info.hidden);
  EXPECT_EQ("old", dir_.Read("b.dat"));
  ASSERT_TRUE(SetFileAttributesA((dir_ / "b.dat").c_str(), FILE_ATTRIBUTE_NORMAL));
}

TEST_F(Win32EnvTest, ReadOnlyFileIsNotEmptiedByCreateAlways) {
  env_.Close(Make("r.dat", "keep me"));
  ASSERT_TRUE(env_.SetReadOnly(dir_ / "r.dat", true).ok());
  FileHandle h = kNoFile;
  Status s = env_.OpenFile(dir_ / "r.dat", kWrite, kShareRead, Disposition::kCreateAlways, &h, nullptr);
  EXPECT_EQ(ERROR_ACCESS_DENIED, s.code());
  EXPECT_EQ(kNoFile, h);
  EXPECT_EQ("keep me", dir_.Read("r.dat"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, env_.DeleteFile(dir_ / "r.dat").code());
  ASSERT_TRUE(env_.SetReadOnly(dir_ / "r.dat", false).ok());
}

TEST_F(Win32EnvTest, DirectoryNamesWorkWithAndWithoutTheirSeparator) {
  ASSERT_TRUE(env_.CreateDirectory(dir_ / "Sub").ok());
  EXPECT_EQ(ERROR_ALREADY_EXISTS, env_.CreateDirectory(dir_ / "Sub").code());
  EXPECT_TRUE(env_.CanEnterDirectory(dir_ / "Sub"));
  EXPECT_TRUE(env_.CanEnterDirectory(dir_ / "Sub\\"));
  std::vector<DirEntry> found;
  std::string bare = dir_.path().substr(0, dir_.path().size() - 1);
  ASSERT_TRUE(env_.FindFiles(bare, "s*", &found).ok());
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ("Sub", found[0].name);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, env_.FindFiles(dir_.path(), "nothing*", &found).code());
  EXPECT_TRUE(found.empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, env_.FindFiles(dir_ / "missing", "*", &found).code());
  EXPECT_EQ(ERROR_DIR_NOT_EMPTY, env_.RemoveDirectory(bare).code());
}

TEST_F(Win32EnvTest, OpenAlwaysAndCreateAlwaysTellWhetherTheFileExisted) {
  FileHandle h = kNoFile;
  bool existed = true;
  ASSERT_TRUE(env_.OpenFile(dir_ / "a.lck", kReadWrite, kShareNone, Disposition::kCreateAlways, &h, &existed).ok());
  EXPECT_FALSE(existed);
  env_.Close(h);
  ASSERT_TRUE(env_.OpenFile(dir_ / "a.lck", kReadWrite, kShareNone, Disposition::kCreateAlways, &h, &existed).ok());
  EXPECT_TRUE(existed);
  env_.Close(h);
  existed = true;
  EXPECT_FALSE(env_.OpenFile(dir_ / "b.lck", kRead, kShareRead, Disposition::kOpenExisting, &h, &existed).ok());
  EXPECT_FALSE(existed);
}

TEST_F(Win32EnvTest, ExecutablePathIsTheProgramsModule) {
  char own[MAX_PATH * 4] = {};
  DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(own, n), env_.ExecutablePath());
}

}  // namespace
}  // namespace miradel::platform

#else

TEST(Win32EnvTest, RunsOnlyOnWindows) { GTEST_SKIP() << "the Win32 adapter is built for Windows only"; }

#endif
