// FaultEnv: the failures it injects, and the names it poses under.
#include "support/fault_env.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

using test::FaultEnv;
using test::Op;

Status Open(Env& env, const std::string& path, unsigned access) {
  FileHandle h = kNoFile;
  Status s = env.OpenFile(path, access, kShareRead | kShareWrite, Disposition::kOpenExisting, &h, nullptr);
  if (s.ok()) EXPECT_TRUE(env.Close(h).ok());
  else EXPECT_EQ(h, kNoFile);
  return s;
}

TEST(FaultEnvTest, FailsTheMatchingCallsOnlyAndThoseNeverReachTheFileSystem) {
  test::TempDir dir;
  std::string a = dir.Write("a.dat", "a"), b = dir.Write("b.dat", "b");
  FaultEnv env(&System());
  EXPECT_TRUE(Open(env, a, kRead).ok());
  env.Fail(Op::kOpen, "a.dat", ErrorKind::kSharingViolation, 1);
  EXPECT_TRUE(Open(env, b, kRead).ok());  // another path: untouched, and the fault stays armed
  Status s = Open(env, a, kRead);
  EXPECT_TRUE(s.IsSharingViolation());
  EXPECT_FALSE(s.message().empty());
  EXPECT_EQ(s.message(), System().ErrorText(s.code()));
  EXPECT_TRUE(Open(env, a, kRead).ok());  // once only
  EXPECT_EQ(env.Count(Op::kOpen), 4);

  // For ever, and only for the opens that ask for the access given.
  env.Fail(Op::kOpen, "", ErrorKind::kAccessDenied, -1, kWrite);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(Open(env, a, kReadWrite).IsAccessDenied());
    EXPECT_TRUE(Open(env, a, kRead).ok());
  }
  env.ClearFaults();
  EXPECT_TRUE(Open(env, a, kReadWrite).ok());

  // A copy matches by either of its paths; a failed call never reaches the file system.
  env.Fail(Op::kCopy, "dst.dat", ErrorKind::kOther, 1);
  EXPECT_EQ(env.CopyFile(a, dir / "dst.dat", false).kind(), ErrorKind::kOther);
  EXPECT_FALSE(dir.Exists("dst.dat"));
  EXPECT_TRUE(env.CopyFile(a, dir / "dst.dat", false).ok());
}

TEST(FaultEnvTest, PosesUnderOtherNamesUntilToldNotTo) {
  FaultEnv env(&System());
  std::string system_user, system_computer, user, computer;
  ASSERT_TRUE(System().UserName(&system_user).ok());
  ASSERT_TRUE(System().ComputerName(&system_computer).ok());
  env.SetUserName("colleague");
  env.SetComputerName("WORKSTATION7");
  ASSERT_TRUE(env.UserName(&user).ok());
  ASSERT_TRUE(env.ComputerName(&computer).ok());
  EXPECT_EQ(user + "@" + computer, "colleague@WORKSTATION7");
  env.SetUserName("");
  env.SetComputerName("");
  ASSERT_TRUE(env.UserName(&user).ok());
  ASSERT_TRUE(env.ComputerName(&computer).ok());
  EXPECT_EQ(user + "@" + computer, system_user + "@" + system_computer);
}

}  // namespace
}  // namespace miradel::platform
