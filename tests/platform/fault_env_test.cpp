// FaultEnv: the failures it injects, and the names it poses under.
#include "platform/fault_env.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

using test::TempDir;

Status OpenForReading(Env& env, const std::string& path) {
  FileHandle h = kNoFile;
  Status s = env.OpenFile(path, kRead, kShareRead | kShareWrite, Disposition::kOpenExisting, &h, nullptr);
  if (s.ok()) env.Close(h);
  else EXPECT_EQ(h, kNoFile);
  return s;
}

Status OpenForWriting(Env& env, const std::string& path) {
  FileHandle h = kNoFile;
  Status s = env.OpenFile(path, kReadWrite, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  if (s.ok()) env.Close(h);
  return s;
}

// Armed after two calls, a fault for one call fails the third and lets the others through.
TEST(FaultEnvTest, FailsTheNthMatchingCallOnly) {
  TempDir dir;
  std::string a = dir.Write("a.dat", "a"), b = dir.Write("b.dat", "b");
  FaultEnv env(&System());
  EXPECT_TRUE(OpenForReading(env, a).ok());
  EXPECT_TRUE(OpenForReading(env, a).ok());
  env.Fail(Op::kOpen, "a.dat", ErrorKind::kSharingViolation, 1);

  EXPECT_TRUE(OpenForReading(env, b).ok());  // another path: untouched, and the fault stays armed
  Status s = OpenForReading(env, a);
  EXPECT_TRUE(s.IsSharingViolation());
  EXPECT_FALSE(s.message().empty());
  EXPECT_EQ(s.message(), System().ErrorText(s.code()));
  EXPECT_TRUE(OpenForReading(env, a).ok());
  EXPECT_EQ(env.Count(Op::kOpen), 5);
}

TEST(FaultEnvTest, AccessFilterHitsOnlyOpensThatAskForIt) {
  TempDir dir;
  std::string a = dir.Write("a.dat", "a");
  FaultEnv env(&System());
  env.Fail(Op::kOpen, "", ErrorKind::kAccessDenied, -1, kWrite);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(OpenForWriting(env, a).IsAccessDenied());
    EXPECT_TRUE(OpenForReading(env, a).ok());
  }
  env.ClearFaults();
  EXPECT_TRUE(OpenForWriting(env, a).ok());
}

TEST(FaultEnvTest, FailedOperationsNeverReachTheFileSystem) {
  TempDir dir;
  std::string src = dir.Write("src.dat", "data");
  FaultEnv env(&System());
  // A copy matches by either of its paths.
  env.Fail(Op::kCopy, "dst.dat", ErrorKind::kOther, 1);
  env.Fail(Op::kDelete, "src.dat", ErrorKind::kSharingViolation, 1);
  env.Fail(Op::kCreateDir, "", ErrorKind::kAccessDenied, 1);

  EXPECT_EQ(env.CopyFile(src, dir / "dst.dat", false).kind(), ErrorKind::kOther);
  EXPECT_FALSE(dir.Exists("dst.dat"));
  EXPECT_TRUE(env.CopyFile(src, dir / "dst.dat", false).ok());
  EXPECT_EQ(dir.Read("dst.dat"), "data");

  EXPECT_TRUE(env.DeleteFile(src).IsSharingViolation());
  EXPECT_TRUE(dir.Exists("src.dat"));
  EXPECT_TRUE(env.DeleteFile(src).ok());

  EXPECT_TRUE(env.CreateDirectory(dir / "sub").IsAccessDenied());
  EXPECT_FALSE(dir.Exists("sub"));
  EXPECT_TRUE(env.CreateDirectory(dir / "sub").ok());
}

TEST(FaultEnvTest, PosesUnderOtherNamesUntilToldNotTo) {
  FaultEnv env(&System());
  std::string system_user, system_computer, name;
  ASSERT_TRUE(System().UserName(&system_user).ok());
  ASSERT_TRUE(System().ComputerName(&system_computer).ok());

  env.SetUserName("colleague");
  env.SetComputerName("WORKSTATION7");
  ASSERT_TRUE(env.UserName(&name).ok());
  EXPECT_EQ(name, "colleague");
  ASSERT_TRUE(env.ComputerName(&name).ok());
  EXPECT_EQ(name, "WORKSTATION7");

  env.SetUserName("");
  env.SetComputerName("");
  ASSERT_TRUE(env.UserName(&name).ok());
  EXPECT_EQ(name, system_user);
  ASSERT_TRUE(env.ComputerName(&name).ok());
  EXPECT_EQ(name, system_computer);
}

}  // namespace
}  // namespace miradel::platform
