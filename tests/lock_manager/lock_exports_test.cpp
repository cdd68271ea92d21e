// The lock exports on their own: permanence, the second lock, checking a lock, and calls made
// before the host gave its version.
#include <gtest/gtest.h>

#include "lock/lock_slot.h"
#include "lock_manager/host_fixture.h"

namespace miradel::test {
namespace {

using platform::ErrorKind;
using platform::Op;

class LockExports : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    dir_.Write("pump.dat", "data");
    dir_.Write("valve.dat", "data");
  }
  int Lock(const std::string& name = "pump") {
    std::memset(&owner_, 0, sizeof owner_);
    return HostGetLock(dir_.path(), name, &owner_);
  }
  int SecondLock(const std::string& name, int mode) {
    std::memset(&owner_, 0, sizeof owner_);
    int dl = static_cast<int>(dir_.path().size()), nl = static_cast<int>(name.size());
    return NW_GetSecondLock(&owner_, dir_.path().data(), &dl, name.data(), &nl, &mode);
  }
  static int Perm(int permanent) { return NW_PermLock(&permanent); }
  std::string LockText() {
    std::string text;
    EXPECT_TRUE(ReadLockFileText(dir_ / "pump.lck", &text));
    return text;
  }
  TempDir dir_;
  MiradelLockOwner owner_{};
};

// A permanent lock stays on disk after release, refuses other users and is taken again by its own.
TEST_F(LockExports, APermanentLockOutlivesReleaseAndKeepsOtherUsersOut) {
  ASSERT_EQ(Lock(), 1);
  ASSERT_EQ(Perm(1), 1);
  EXPECT_EQ(LockText(), PermanentLockText());
  const int writes = env_.Count(Op::kWrite);
  EXPECT_EQ(Perm(1), 1);
  EXPECT_EQ(env_.Count(Op::kWrite), writes) << "already permanent: nothing to write";
  NW_ReleaseLock();
  ASSERT_TRUE(dir_.Exists("pump.lck"));

  BecomeUser("carol", "PC-CAROL");
  EXPECT_EQ(Lock(), 0);
  EXPECT_STREQ(owner_.user_name, "bob");
  EXPECT_STREQ(owner_.machine_name, "PC-BOB");
  EXPECT_EQ(owner_.is_permanent, 1);
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));

  BecomeUser("bob", "LAPTOP-BOB");  // the same user on another machine
  ASSERT_EQ(Lock(), 1);
  EXPECT_EQ(LockText(), PermanentLockText()) << "rewritten for this machine, still permanent";
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
  NW_ReleaseLock();
  EXPECT_TRUE(dir_.Exists("pump.lck"));

  // Made temporary again, the lock goes with its release.
  ASSERT_EQ(Lock(), 1);
  ASSERT_EQ(Perm(0), 1);
  EXPECT_EQ(LockText(), TemporaryLockText());
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
}

// The lock becomes permanent only when the file was rewritten so.
TEST_F(LockExports, PermanenceFollowsOnlyWhatWasWritten) {
  ASSERT_EQ(Lock(), 1);
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(Perm(1), 0);
  EXPECT_EQ(LockText(), TemporaryLockText());
  // An unreachable lock file is not written, and not reported as a failure.
  env_.Fail(Op::kOpen, dir_.path(), ErrorKind::kNotFound, 1, platform::kRead);
  EXPECT_EQ(Perm(1), 1);
  EXPECT_EQ(LockText(), TemporaryLockText());
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck")) << "still temporary";
}

// A lock whose file cannot be reached counts as held; a failed rewrite as lost.
TEST_F(LockExports, CheckLockCountsAnUnreachableDirectoryAsHeld) {
  ASSERT_EQ(Lock(), 1);
  EXPECT_EQ(NW_CheckLock(), 1);
  env_.Fail(Op::kOpen, dir_.path(), ErrorKind::kNotFound);
  EXPECT_EQ(NW_CheckLock(), 1);
  env_.ClearFaults();
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(NW_CheckLock(), 0) << "the rewrite failed: the lock is lost";
  EXPECT_EQ(NW_CheckLock(), 1);
}

// Without lock texts NW_GetLock refuses, writes nothing and keeps the previous lock.
TEST_F(LockExports, BeforeTheVersionNoLockIsTakenAndTheOwnerBufferIsUntouched) {
  ASSERT_EQ(Lock("valve"), 1);
  ClearLockTexts();  // as in a host that has not given its version yet
  std::memset(&owner_, 0x5A, sizeof owner_);
  EXPECT_EQ(HostGetLock(dir_.path(), "pump", &owner_), 0);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&owner_);
  for (std::size_t i = 0; i < sizeof owner_; ++i) ASSERT_EQ(bytes[i], 0x5A) << "byte " << i;
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
  EXPECT_FALSE(CanWrite(dir_ / "valve.dat")) << "the previous lock stays the primary lock";
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("valve.lck"));
}

// The second lock holds the lock file alone; mode 3 lets it go, other modes do nothing.
TEST_F(LockExports, SecondLockHoldsOnlyTheLockFile) {
  ASSERT_EQ(SecondLock("valve", 1), 1);
  EXPECT_TRUE(dir_.Exists("valve.lck"));
  EXPECT_FALSE(CanWrite(dir_ / "valve.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "valve.dat")) << "mode 1 keeps the data file free";
  // Another user is refused and told who holds it (not through NW_GetLock: that would move the
  // primary slot into the second one).
  BecomeUser("carol", "PC-CAROL");
  LockSlot other{};
  LockOwnerInfo holder{};
  EXPECT_EQ(other.Acquire(dir_ / "valve.lck", false, &holder), 0);
  EXPECT_STREQ(holder.szUserName, "bob");
  EXPECT_EQ(SecondLock("valve", 3), 1);
  EXPECT_FALSE(dir_.Exists("valve.lck"));
  EXPECT_EQ(SecondLock("valve", 3), 1) << "nothing held: still 1";

  EXPECT_EQ(SecondLock("pump", 5), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
}

}  // namespace
}  // namespace miradel::test
