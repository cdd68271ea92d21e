// Opening, working on, writing back and closing models, and switching from one model to another,
// through the exports in the order the host calls them.
#include <gtest/gtest.h>

#include "lock_manager/host_fixture.h"
#include "support/child.h"

namespace miradel::test {
namespace {

class ModelCycle : public HostTest {
 protected:
  // Lock, working directory and copies of one model; its working directory.
  std::string Open(const std::string& dir, const std::string& name) {
    MiradelLockOwner owner{};
    EXPECT_EQ(HostGetLock(dir, name, &owner), 1) << dir << name;
    EXPECT_EQ(SetModelDir(dir, name), 1);
    int mode = 0;
    EXPECT_EQ(NW_CopyAllToTemp(&mode), 1);
    return QVTempDir();
  }
  TempDir a_, b_;
};

// The whole host cycle on one model: the change arrives, and closing leaves nothing behind.
TEST_F(ModelCycle, OpenWorkWriteBackAndClose) {
  a_.Write("pump.dat", "old data");
  a_.Write("pump.xml", "<model/>");
  const std::string temp = Open(a_.path(), "pump");
  EXPECT_TRUE(a_.Exists("pump.lck"));
  EXPECT_FALSE(CanWrite(a_ / "pump.dat")) << "the lock holds the data file";
  EXPECT_EQ(ReadFile(temp + "pump.dat"), "old data");
  EXPECT_EQ(ReadFile(temp + "pump.xml"), "<model/>");

  // The host works in the temporary directory, its working directory meanwhile.
  ASSERT_EQ(NW_SetWorkingdir(temp.c_str()), 1);
  WriteFile(temp + "pump.dat", "new data");
  EXPECT_EQ(NW_CopyAllFromTemp(), 0) << "the held data file cannot be overwritten";
  NW_ReleasModLock();
  EXPECT_TRUE(a_.Exists("pump.lck"));
  ASSERT_EQ(NW_CopyAllFromTemp(), 1);
  EXPECT_EQ(a_.Read("pump.dat"), "new data");
  NW_GetModLock();
  EXPECT_FALSE(CanWrite(a_ / "pump.dat"));

  NW_ReleaseLock();
  EXPECT_FALSE(a_.Exists("pump.lck"));
  EXPECT_FALSE(Exists(temp)) << "removed although it was the working directory";
  EXPECT_TRUE(CanWrite(a_ / "pump.dat"));
}

// true: B is kept and A let go (NW_RelesOldLock); false: B is given up (NW_GetOldModel).
class ModelSwitch : public ModelCycle, public ::testing::WithParamInterface<bool> {};

// Switching from A to B, then keeping B or going back to A.
TEST_P(ModelSwitch, EachStepLeavesTheRightLocksAndDirectories) {
  a_.Write("pump.dat", "A");
  b_.Write("valve.dat", "B");
  // A given without its trailing separator: that form must come back with A.
  const std::string aDir = a_.path().substr(0, a_.path().size() - 1);
  const std::string tempA = Open(aDir, "pump");

  MiradelLockOwner owner{};
  ASSERT_EQ(HostGetLock(b_.path(), "valve", &owner), 1);
  EXPECT_TRUE(a_.Exists("pump.lck"));
  EXPECT_TRUE(b_.Exists("valve.lck"));
  EXPECT_FALSE(CanWrite(a_ / "pump.dat")) << "A stays locked while B is tried";
  EXPECT_FALSE(CanWrite(b_ / "valve.dat"));
  ASSERT_EQ(SetModelDir(b_.path(), "valve"), 1);
  const std::string tempB = QVTempDir();
  EXPECT_NE(tempA, tempB);
  int mode = 0;
  ASSERT_EQ(NW_CopyAllToTemp(&mode), 1);
  EXPECT_TRUE(Exists(tempA + "pump.dat"));
  EXPECT_TRUE(Exists(tempB + "valve.dat"));

  if (GetParam()) {
    NW_RelesOldLock();
    EXPECT_FALSE(a_.Exists("pump.lck"));
    EXPECT_TRUE(CanWrite(a_ / "pump.dat"));
    EXPECT_FALSE(Exists(tempA));
    EXPECT_TRUE(b_.Exists("valve.lck"));
    EXPECT_FALSE(CanWrite(b_ / "valve.dat"));
    EXPECT_TRUE(Exists(tempB + "valve.dat"));
    EXPECT_EQ(ModelDir(), b_.path());
    NW_ReleaseLock();
    EXPECT_FALSE(b_.Exists("valve.lck"));
    EXPECT_FALSE(Exists(tempB));
  } else {
    int keepLock = 0;
    NW_GetOldModel(&keepLock);
    EXPECT_FALSE(b_.Exists("valve.lck"));
    EXPECT_TRUE(CanWrite(b_ / "valve.dat"));
    EXPECT_FALSE(Exists(tempB));
    EXPECT_TRUE(a_.Exists("pump.lck"));
    EXPECT_FALSE(CanWrite(a_ / "pump.dat"));
    EXPECT_TRUE(Exists(tempA + "pump.dat"));
    EXPECT_EQ(ModelDir(), aDir);
    EXPECT_EQ(QVTempDir(), tempA);
    // A's lock is the primary lock again: closing releases it.
    NW_ReleaseLock();
    EXPECT_FALSE(a_.Exists("pump.lck"));
    EXPECT_TRUE(CanWrite(a_ / "pump.dat"));
    EXPECT_FALSE(Exists(tempA));
  }
}

// Going back after B got no working directory must not cost A its own.
TEST_F(ModelCycle, GivingUpAModelWhoseDirectoryWasRefusedKeepsThePreviousWorkingCopy) {
  a_.Write("pump.dat", "A");
  b_.Write("valve.dat", "B");
  const std::string tempA = Open(a_.path(), "pump");
  WriteFile(tempA + "pump.dat", "unsaved work");
  MiradelLockOwner owner{};
  ASSERT_EQ(HostGetLock(b_.path(), "valve", &owner), 1);
  ASSERT_EQ(SetModelDir(b_.path(), std::string("sub") + S + "valve"), 0);
  int keepLock = 0;
  NW_GetOldModel(&keepLock);
  EXPECT_FALSE(b_.Exists("valve.lck"));
  EXPECT_EQ(QVTempDir(), tempA);
  EXPECT_EQ(ReadFile(tempA + "pump.dat"), "unsaved work") << "the previous model's working copy was removed";
  EXPECT_FALSE(CanWrite(a_ / "pump.dat"));
}

INSTANTIATE_TEST_SUITE_P(KeepNewOrGoBack, ModelSwitch, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "KeepNew" : "GoBack"; });

// A model another process holds is refused with its holder named; A keeps its lock.
TEST_F(ModelCycle, AModelAnotherProcessHoldsIsRefusedAndTheOpenOneStaysLocked) {
  a_.Write("pump.dat", "A");
  b_.Write("valve.dat", "B");
  MiradelLockOwner owner{};
  ASSERT_EQ(HostGetLock(a_.path(), "pump", &owner), 1);

  auto holder = ChildProcess::Start(SiblingProgram("miradel"),
                                    {"lock", b_.path(), "valve", "--as-user", "alice", "--as-machine", "PC-ALICE"});
  ASSERT_TRUE(holder);
  bool ok = true;
  std::string line;
  do line = holder->ReadLine(60000, &ok);
  while (ok && line.rfind("ready", 0) != 0);
  ASSERT_TRUE(ok) << "the holder did not get ready";

  std::memset(&owner, 0, sizeof owner);
  EXPECT_EQ(HostGetLock(b_.path(), "valve", &owner), 0);
  EXPECT_STREQ(owner.user_name, "alice");
  EXPECT_STREQ(owner.machine_name, "PC-ALICE");
  EXPECT_EQ(owner.is_permanent, 0);
  EXPECT_FALSE(CanWrite(a_ / "pump.dat"));

  // Going back without releasing: the primary slot already holds A again.
  int keepLock = 1;
  NW_GetOldModel(&keepLock);
  EXPECT_FALSE(CanWrite(a_ / "pump.dat"));
  EXPECT_TRUE(a_.Exists("pump.lck"));
  NW_ReleaseLock();
  EXPECT_FALSE(a_.Exists("pump.lck")) << "the primary slot did not hold A's lock";
  EXPECT_TRUE(CanWrite(a_ / "pump.dat"));

  holder->WriteLine("stop");
  EXPECT_EQ(holder->Wait(), 0);
  EXPECT_FALSE(b_.Exists("valve.lck"));
}

}  // namespace
}  // namespace miradel::test
