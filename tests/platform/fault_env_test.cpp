// FaultEnv: which calls its faults hit, how often, and that those never reach the file system.
#include "support/fault_env.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace miradel::test {
namespace {

TEST(FaultEnvTest, FailsOnlyTheMatchingCallsAsOftenAsToldWithoutReachingTheFileSystem) {
  TempDir dir;
  const std::string a = dir.Write("a.dat", "a");
  FaultEnv env(&System());
  env.Fail(Op::kCopy, "b.dat", ErrorKind::kSharingViolation, 1);  // either path of a copy matches
  env.Fail(Op::kOpen, "", ErrorKind::kAccessDenied, -1, kWrite);
  EXPECT_TRUE(env.CopyFile(a, dir / "c.dat", false).ok());
  const Status copy = env.CopyFile(a, dir / "b.dat", false);
  EXPECT_TRUE(copy.IsSharingViolation());
  EXPECT_EQ(copy.message(), System().ErrorText(copy.code()));
  EXPECT_FALSE(dir.Exists("b.dat"));
  EXPECT_TRUE(env.CopyFile(a, dir / "b.dat", false).ok());  // once only
  FileHandle h = kNoFile;
  for (int i = 0; i < 2; ++i)
    EXPECT_TRUE(env.OpenFile(a, kReadWrite, kShareRead, Disposition::kOpenExisting, &h, nullptr).IsAccessDenied());
  EXPECT_EQ(h, kNoFile);
  EXPECT_EQ(env.Count(Op::kCopy), 3);
}

}  // namespace
}  // namespace miradel::test
