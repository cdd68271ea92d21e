// The lock exports on their own: permanence, checking, the second lock, the texts a lock path is
// built from, and the records that two slots share.
#include <cstring>

#include "lock/lock_slot.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

using platform::ErrorKind;

class LockExports : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    dir_.Write("pump.dat", "data");
    dir_.Write("valve.dat", "data");
  }
  int Lock(const std::string& name = "pump") {
    std::memset(&owner_, 0, sizeof owner_);
    return GetLock(dir_.path(), name, &owner_);
  }
  int Second(const std::string& name, int mode) {
    std::memset(&owner_, 0, sizeof owner_);
    return GetSecondLock(dir_.path(), name, mode, &owner_);
  }
  bool Permanent() { return OwnerInLockFile(dir_ / "pump.lck").bIsPermanent == 1; }
  // Carol's permanent lock on a model, as her host would have left it.
  void CarolsPermanentLock(const std::string& name) {
    env_.SetUserName("carol");
    LockSlot slot{};
    LockOwnerInfo owner{};
    ASSERT_EQ(slot.Acquire(dir_ / (name + ".lck"), true, &owner, BuildLockTexts(env_, "1.0.0.0")), 1);
    slot.Release();
    env_.SetUserName("bob");
    ASSERT_TRUE(dir_.Exists(name + ".lck"));
  }
  MiradelLockOwner owner_{};
};

TEST_F(LockExports, APermanentLockOutlivesReleaseAndKeepsOtherUsersOut) {
  ASSERT_EQ(Lock(), 1);
  ASSERT_EQ(PermLock(1), 1);
  EXPECT_TRUE(Permanent());
  const int writes = env_.Count(Op::kWrite);
  EXPECT_EQ(PermLock(1), 1);
  EXPECT_EQ(env_.Count(Op::kWrite), writes) << "already permanent: nothing to write";
  NW_ReleaseLock();
  ASSERT_TRUE(dir_.Exists("pump.lck"));

  BecomeUser("carol", "PC-CAROL");
  EXPECT_EQ(Lock(), 0);
  EXPECT_STREQ(owner_.user_name, "bob");
  EXPECT_EQ(owner_.is_permanent, 1);
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));

  BecomeUser("bob", "LAPTOP-BOB");
  ASSERT_EQ(Lock(), 1);
  EXPECT_TRUE(Permanent());
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
  ASSERT_EQ(PermLock(0), 1);
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck")) << "made temporary, the lock goes with its release";
}

TEST_F(LockExports, PermanenceAndChecksFollowOnlyWhatWasWritten) {
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

TEST_F(LockExports, BeforeTheVersionNoLockIsTakenAndTheOwnerBufferIsUntouched) {
  ASSERT_EQ(Lock("valve"), 1);
  C().m_locks.SetTexts(LockTexts{});  // as in a host that has not given its version yet
  std::memset(&owner_, 0x5A, sizeof owner_);
  EXPECT_EQ(GetLock(dir_.path(), "pump", &owner_), 0);
  EXPECT_EQ(owner_.is_permanent, 0x5A);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_FALSE(CanWrite(dir_ / "valve.dat")) << "the previous lock stays the primary lock";
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("valve.lck"));
}

// Texts that name no lock beside a model are refused before anything is touched.
TEST_F(LockExports, APathThatLeavesTheModelDirectoryIsRefused) {
  ASSERT_EQ(Lock("valve"), 1);
  TempDir inner;
  const std::string up = std::string("..") + S + "x";
  struct {
    std::string dir, name;
  } cases[] = {{"", "pump"}, {dir_.path(), ""}, {dir_.path(), ".."}, {dir_.path(), up},
               {inner.path(), ".."}, {dir_.path(), "c:pump"}};
  for (const auto& c : cases) {
    EXPECT_EQ(GetLock(c.dir, c.name, &owner_), 0) << "'" << c.dir << "' '" << c.name << "'";
    EXPECT_EQ(GetSecondLock(c.dir, c.name, 1, &owner_), 0);
  }
  EXPECT_FALSE(Exists(inner / ".lck"));
  EXPECT_FALSE(Exists(inner / "...lck"));
  EXPECT_FALSE(dir_.Exists("..lck"));
  const std::string atRoot = std::string(1, S) + "pump.lck";
  EXPECT_FALSE(Exists(atRoot));
  if (Exists(atRoot)) platform::System().DeleteFile(atRoot).IgnoreError();
  EXPECT_FALSE(CanWrite(dir_ / "valve.dat")) << "the open model keeps its lock";
}

TEST_F(LockExports, SecondLockHoldsOnlyTheLockFile) {
  ASSERT_EQ(Second("valve", 1), 1);
  EXPECT_FALSE(CanWrite(dir_ / "valve.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "valve.dat")) << "mode 1 keeps the data file free";
  EXPECT_EQ(Second("valve", 3), 1);
  EXPECT_FALSE(dir_.Exists("valve.lck"));
  EXPECT_EQ(Second("valve", 3), 1) << "nothing held: still 1";
  EXPECT_EQ(Second("pump", 5), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
}

// A slot that was released holds nothing: releasing it again must not delete the lock file that
// lies at its old path now, here a colleague's permanent lock.
TEST_F(LockExports, ReleasingAReleasedSlotDeletesNobodysLock) {
  ASSERT_EQ(Second("valve", 1), 1);
  ASSERT_EQ(Second("valve", 3), 1);
  CarolsPermanentLock("valve");
  EXPECT_EQ(Second("valve", 3), 1);
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
