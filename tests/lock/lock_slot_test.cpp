// Taking, refreshing and releasing a model's lock, within one process, across processes, and on
// the failure paths that only injected faults reach when the tests run as root.
#include <gtest/gtest.h>

#include <cstring>

#include "control/version.h"
#include "lock/lock_slot.h"
#include "lock/lock_texts.h"
#include "lock/xml_processor.h"
#include "platform/fault_env.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace miradel {
namespace {

using platform::ErrorKind;
using platform::Op;

LockOwnerInfo OwnerInFile(const std::string& path) {
  LockOwnerInfo owner;
  std::memset(&owner, 0, sizeof owner);
  std::string text;
  EXPECT_TRUE(ReadLockFileText(path, &text)) << path;
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  doc.ReadLockOwner(owner);
  return owner;
}

class LockSlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.SetUserName("bob");
    env_.SetComputerName("PC-BOB");
    SetDottedVersionText(DottedVersion(VersionDigits(10000104)));
    BuildLockTexts();
    dir_.Write("pump.dat", "model data");
    lock_ = dir_ / "pump.lck";
  }
  void TearDown() override { ClearLockTexts(); }
  void BecomeUser(const std::string& user, const std::string& machine) {
    env_.SetUserName(user);
    env_.SetComputerName(machine);
    BuildLockTexts();
  }
  bool CanWrite(const std::string& path) {
    platform::FileHandle h = platform::kNoFile;
    platform::Status s = platform::System().OpenFile(path, platform::kWrite, platform::kShareRead | platform::kShareWrite,
                                                      platform::Disposition::kOpenExisting, &h, nullptr);
    if (s.ok()) platform::System().Close(h);
    return s.ok();
  }

  platform::FaultEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  test::TempDir dir_;
  std::string lock_;
  LockOwnerInfo out_{};
};

TEST_F(LockSlotTest, TakesAFreeModelKeepsOthersOutAndReleasesIt) {
  LockSlot slot{};
  ASSERT_EQ(slot.Acquire(lock_, false, &out_), 1);
  LockOwnerInfo owner = OwnerInFile(lock_);
  EXPECT_STREQ(owner.szUserName, "bob");
  EXPECT_STREQ(owner.szMachineName, "PC-BOB");
  EXPECT_EQ(owner.bIsPermanent, 0);
  // Readers get in; writers and deletes of the lock file and the data file do not.
  EXPECT_FALSE(CanWrite(lock_));
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
  EXPECT_TRUE(platform::System().DeleteFile(lock_).IsSharingViolation());
  EXPECT_EQ(dir_.Read("pump.dat"), "model data");

  // A second slot of the same process is refused and told who holds the lock.
  BecomeUser("carol", "PC-CAROL");
  LockSlot other{};
  std::memset(&out_, 0, sizeof out_);
  EXPECT_EQ(other.Acquire(lock_, false, &out_), 0);
  EXPECT_STREQ(out_.szUserName, "bob");
  EXPECT_STREQ(out_.szMachineName, "PC-BOB");
  EXPECT_EQ(out_.bIsPermanent, 0);
  EXPECT_EQ(other.hLockFile, platform::kNoFile);

  slot.Release();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
}

TEST_F(LockSlotTest, AStaleTemporaryLockIsTakenOver) {
  BecomeUser("anna", "PC-ANNA");
  dir_.Write("pump.lck", TemporaryLockText());  // left by a holder that crashed
  BecomeUser("bob", "PC-BOB");
  LockSlot slot{};
  ASSERT_EQ(slot.Acquire(lock_, false, &out_), 1);
  EXPECT_STREQ(OwnerInFile(lock_).szUserName, "bob");
  EXPECT_EQ(slot.owner.bIsPermanent, 0);
  slot.Release();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
}

TEST_F(LockSlotTest, APermanentLockBelongsToItsUserOnAnyMachine) {
  LockSlot slot{};
  ASSERT_EQ(slot.Acquire(lock_, true, &out_), 1);
  EXPECT_EQ(OwnerInFile(lock_).bIsPermanent, 1);
  slot.Release();
  ASSERT_TRUE(dir_.Exists("pump.lck")) << "a permanent lock file stays";

  BecomeUser("carol", "PC-CAROL");
  LockSlot other{};
  std::memset(&out_, 0, sizeof out_);
  EXPECT_EQ(other.Acquire(lock_, false, &out_), 0);
  EXPECT_STREQ(out_.szUserName, "bob");
  EXPECT_EQ(out_.bIsPermanent, 1);
  EXPECT_TRUE(dir_.Exists("pump.lck"));

  BecomeUser("BOB", "LAPTOP-7");  // the same user, another machine, other letter case
  LockSlot again{};
  ASSERT_EQ(again.Acquire(lock_, false, &out_), 1);
  EXPECT_EQ(again.bPermanent, 1);
  LockOwnerInfo owner = OwnerInFile(lock_);
  EXPECT_EQ(owner.bIsPermanent, 1);
  EXPECT_STREQ(owner.szMachineName, "LAPTOP-7");
  again.Release();
  EXPECT_TRUE(dir_.Exists("pump.lck"));
}

TEST_F(LockSlotTest, ChangingPermanenceRewritesAWholeReadableFile) {
  LockSlot slot{};
  ASSERT_EQ(slot.Acquire(lock_, false, &out_), 1);
  for (bool permanent : {true, false, true}) {
    ASSERT_EQ(slot.WriteLockFile(permanent), 1);
    EXPECT_EQ(slot.bPermanent, permanent ? 1 : 0);
    std::string text;
    ASSERT_TRUE(ReadLockFileText(lock_, &text));
    EXPECT_EQ(text, permanent ? PermanentLockText() : TemporaryLockText());
  }
  EXPECT_EQ(slot.Refresh(), 1);
  slot.WriteLockFile(false);
  slot.Release();
}

TEST_F(LockSlotTest, NoPermissionForTheLockFileTellsWhetherTheModelIsReadable) {
  env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kAccessDenied);
  LockSlot slot{};
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 2);
  env_.Fail(Op::kOpen, "pump.dat", ErrorKind::kAccessDenied);
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 3);
  EXPECT_EQ(slot.hLockFile, platform::kNoFile);
}

TEST_F(LockSlotTest, AnUnwritableDataFileLeavesNoLockBehind) {
  env_.Fail(Op::kOpen, "pump.dat", ErrorKind::kAccessDenied, -1, platform::kWrite);
  LockSlot slot{};
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 4);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_EQ(slot.hLockFile, platform::kNoFile);
  EXPECT_EQ(slot.hDataFile, platform::kNoFile);
}

TEST_F(LockSlotTest, ADataFileHeldElsewhereRefusesTheLock) {
  platform::FileHandle held = platform::kNoFile;
  ASSERT_TRUE(platform::System()
                  .OpenFile(dir_ / "pump.dat", platform::kWrite, platform::kShareRead,
                            platform::Disposition::kOpenExisting, &held, nullptr)
                  .ok());
  LockSlot slot{};
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  platform::System().Close(held);
}

TEST_F(LockSlotTest, BeforeTheVersionNoLockCanBeTaken) {
  ClearLockTexts();
  LockSlot slot{};
  std::memset(&out_, 0x33, sizeof out_);
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_EQ(slot.hLockFile, platform::kNoFile);
  EXPECT_EQ(slot.hDataFile, platform::kNoFile);
  EXPECT_EQ(out_.bIsPermanent, 0x33) << "the owner buffer is written only for another user's lock";
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
}

TEST_F(LockSlotTest, UnreadableExistingLockFileIsARefusalWithoutNames) {
  dir_.Write("pump.lck", "whatever");
  env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kOther, -1, platform::kRead);
  LockSlot slot{};
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 0);
  EXPECT_EQ(slot.hLockFile, platform::kNoFile);
  env_.ClearFaults();
  // Garbage that is not held open is stale and taken over.
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 1);
  slot.Release();
}

TEST_F(LockSlotTest, RefreshTellsAMissingFileFromAFailedWrite) {
  LockSlot slot{};
  ASSERT_EQ(slot.Acquire(lock_, false, &out_), 1);
  env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kNotFound, 1, platform::kRead);
  EXPECT_EQ(slot.Refresh(), 2);
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(slot.Refresh(), 0);
  EXPECT_EQ(slot.Refresh(), 1);
  slot.Release();
}

TEST_F(LockSlotTest, ReleasingAFreeSlotClosesNothingAndLeavesOtherFilesAlone) {
  LockSlot slot{};
  slot.Release();
  EXPECT_EQ(slot.HoldDataFile(), 1);
  EXPECT_EQ(slot.Refresh(), 2);
  EXPECT_TRUE(dir_.Exists("pump.dat"));
}

TEST_F(LockSlotTest, TooLongAPathIsRefusedRatherThanCut) {
  LockSlot slot{};
  std::string longPath = dir_.path() + std::string(300, 'x') + ".lck";
  EXPECT_EQ(slot.Acquire(longPath, false, &out_), 0);
  EXPECT_EQ(slot.hLockFile, platform::kNoFile);
}

TEST_F(LockSlotTest, CopiedSlotsShareOneLock) {
  LockSlot slot{};
  ASSERT_EQ(slot.Acquire(lock_, false, &out_), 1);
  LockSlot copy = slot;
  copy.Release();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  // The original's handles are dead now; releasing it again must not close anything else.
  LockSlot fresh{};
  ASSERT_EQ(fresh.Acquire(lock_, false, &out_), 1);
  slot.Release();  // deletes the path it names, but cannot while fresh holds it open
  EXPECT_TRUE(dir_.Exists("pump.lck"));
  EXPECT_FALSE(CanWrite(lock_)) << "fresh's handle must still be open";
  fresh.Release();
}

// A second process: the miradel program holds the lock as another user.
TEST_F(LockSlotTest, AnotherProcessHoldingTheLockIsNamedAndItsReleaseFreesTheModel) {
  auto holder = test::ChildProcess::Start(test::SiblingProgram("miradel"),
                                          {"lock", dir_.path(), "pump", "--as-user", "alice", "--as-machine", "PC-ALICE"});
  ASSERT_TRUE(holder);
  std::string line;
  bool ok = true;
  do {
    line = holder->ReadLine(30000, &ok);
  } while (ok && line.rfind("ready", 0) != 0);
  ASSERT_TRUE(ok) << "the holder did not get ready";

  LockSlot slot{};
  std::memset(&out_, 0, sizeof out_);
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 0);
  EXPECT_STREQ(out_.szUserName, "alice");
  EXPECT_STREQ(out_.szMachineName, "PC-ALICE");
  EXPECT_EQ(out_.bIsPermanent, 0);

  auto who = test::ChildProcess::Start(test::SiblingProgram("miradel"), {"who", dir_.path(), "pump"});
  std::string report;
  for (line = who->ReadLine(30000, &ok); ok; line = who->ReadLine(30000, &ok)) report += line + "\n";
  EXPECT_EQ(who->Wait(), 0);
  EXPECT_NE(report.find("alice"), std::string::npos) << report;
  EXPECT_NE(report.find("held open now"), std::string::npos) << report;

  holder->WriteLine("stop");
  EXPECT_EQ(holder->Wait(), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_EQ(slot.Acquire(lock_, false, &out_), 1);
  slot.Release();
}

}  // namespace
}  // namespace miradel
