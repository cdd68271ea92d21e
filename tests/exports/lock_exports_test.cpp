// The lock exports on their own: permanence, checking, the second lock, the texts a lock path is
// built from, and the records that two slots share.
#include "support/host_test.h"

namespace miradel::test {
namespace {

using platform::ErrorKind;

class LockExports : public HostTest {
 protected:
  void SetUp() override { HostTest::SetUp(); dir_.Write("pump.dat", "data"); dir_.Write("valve.dat", "data"); }
  int Lock(const std::string& name = "pump") { owner_ = {}; return GetLock(dir_.path(), name, &owner_); }
  int Second(const std::string& name, int mode) { owner_ = {}; return GetSecondLock(dir_.path(), name, mode, &owner_); }
  bool Permanent() { return OwnerInLockFile(dir_ / "pump.lck").bIsPermanent == 1; }
  // Carol's permanent lock on a model, as her host would have left it.
  void CarolsPermanentLock(const std::string& name) { WriteFile(dir_ / (name + ".lck"), LockText("carol", "PC-CAROL", true)); }
  MiradelLockOwner owner_{};
};

// A permanent lock outlives its release, keeps other users out and is its user's on any machine,
// whatever bytes the user's name holds.
TEST_F(LockExports, APermanentLockBelongsToItsUserAndFollowsOnlyWhatWasWritten) {
  for (const std::string user : {"bob", "J\xF6rg"}) {
    SCOPED_TRACE(user);
    BecomeUser(user, "PC-1");
    ASSERT_EQ(Lock(), 1);
    ASSERT_EQ(PermLock(1), 1);
    const int writes = env_.Count(Op::kWrite);
    EXPECT_EQ(PermLock(1), 1);
    EXPECT_EQ(env_.Count(Op::kWrite), writes) << "already permanent: nothing to write";
    NW_ReleaseLock();

    BecomeUser("carol", "PC-CAROL");
    EXPECT_EQ(Lock(), 0);
    EXPECT_EQ(owner_.user_name, user);
    EXPECT_EQ(owner_.is_permanent, 1);
    EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));

    BecomeUser(user == "bob" ? "BOB" : user, "LAPTOP-7");  // the same user elsewhere
    ASSERT_EQ(Lock(), 1);
    EXPECT_TRUE(Permanent());
    EXPECT_STREQ(OwnerInLockFile(dir_ / "pump.lck").szMachineName, "LAPTOP-7");
    EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
    ASSERT_EQ(PermLock(0), 1);
    NW_ReleaseLock();
    EXPECT_FALSE(dir_.Exists("pump.lck")) << "made temporary, the lock goes with its release";
  }

  // Permanence and checks follow only what was written.
  ASSERT_EQ(Lock(), 1);
  EXPECT_EQ(NW_CheckLock(), 1);
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(PermLock(1), 0);
  EXPECT_FALSE(Permanent());
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(NW_CheckLock(), 0) << "a failed rewrite is a lost lock";
  // An unreachable lock file is not written, and counts as held.
  env_.Fail(Op::kOpen, dir_.path(), ErrorKind::kNotFound, 2, platform::kRead);
  EXPECT_EQ(PermLock(1), 1);
  EXPECT_EQ(NW_CheckLock(), 1);
  EXPECT_FALSE(Permanent());
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck")) << "still temporary";
}

// Texts that name no lock beside a model are refused before anything is touched.
TEST_F(LockExports, APathThatLeavesTheModelDirectoryIsRefused) {
  ASSERT_EQ(Lock("valve"), 1);
  TempDir inner;
  const std::pair<std::string, std::string> cases[] = {{"", "pump"}, {dir_.path(), ""}, {dir_.path(), ".."},
                                                        {dir_.path(), std::string("..") + S + "x"},
                                                        {inner.path(), ".."}, {dir_.path(), "c:pump"}};
  for (const auto& [dir, name] : cases) {
    EXPECT_EQ(GetLock(dir, name, &owner_), 0) << "'" << dir << "' " << name;
    EXPECT_EQ(GetSecondLock(dir, name, 1, &owner_), 0) << "'" << dir << "' " << name;
  }
  for (const std::string& made : {inner / ".lck", inner / "...lck", dir_ / "..lck", std::string(1, S) + "pump.lck"}) {
    EXPECT_FALSE(Exists(made)) << made;
    if (Exists(made)) platform::System().DeleteFile(made).IgnoreError();
  }
  EXPECT_FALSE(CanWrite(dir_ / "valve.dat")) << "the open model keeps its lock";
}

// The second lock holds only the lock file. A slot that was released holds nothing: releasing it
// again must not delete the lock file that lies at its old path now, here a colleague's permanent
// lock.
TEST_F(LockExports, SecondLockHoldsOnlyTheLockFileAndAReleasedSlotDeletesNobodysLock) {
  ASSERT_EQ(Second("valve", 1), 1);
  EXPECT_FALSE(CanWrite(dir_ / "valve.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "valve.dat")) << "mode 1 keeps the data file free";
  EXPECT_EQ(Second("valve", 3), 1);
  EXPECT_FALSE(dir_.Exists("valve.lck"));
  EXPECT_EQ(Second("pump", 5), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  CarolsPermanentLock("valve");
  EXPECT_EQ(Second("valve", 3), 1) << "nothing held: still 1";
  EXPECT_TRUE(dir_.Exists("valve.lck")) << "mode 3 deleted carol's lock";

  // The old lock after a switch, let go twice.
  ASSERT_EQ(Lock("pump"), 1);
  ASSERT_EQ(Lock("valve"), 0) << "carol's";
  ASSERT_EQ(Lock("dam"), 1);
  NW_RelesOldLock();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  CarolsPermanentLock("pump");
  NW_RelesOldLock();
  EXPECT_TRUE(dir_.Exists("pump.lck")) << "a stale old lock deleted carol's lock";
}

// Slots copied whole share handles: letting one go must leave the other's files held, and a slot
// without a lock file must not close the data file that the open model's lock relies on.
TEST_F(LockExports, SharedRecordsNeverDropTheOpenModelsHold) {
  ASSERT_EQ(Lock("pump"), 1);
  NW_SetModelVars();  // the second slot is a copy of pump's lock
  EXPECT_EQ(Second("pump", 1), 0) << "pump is held by this very process";
  EXPECT_EQ(Second("pump", 3), 1);
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat")) << "pump's data file was let go";
  EXPECT_FALSE(CanWrite(dir_ / "pump.lck"));
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
}

}  // namespace
}  // namespace miradel::test
