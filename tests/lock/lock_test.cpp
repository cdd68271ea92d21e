// The lock file's XML and the lock slot: what we write, what we read from files peers wrote, and
// taking, refreshing and releasing a lock, also on the failure paths only injected faults reach.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "control/version.h"
#include "lock/lock_slot.h"
#include "lock/lock_texts.h"
#include "lock/xml_processor.h"
#include "support/child.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

using platform::ErrorKind;

LockOwnerInfo Read(const std::string& text, int* found = nullptr) {
  LockOwnerInfo owner;
  std::memset(&owner, 0, sizeof owner);
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  int r = doc.ReadLockOwner(owner);
  if (found) *found = r;
  return owner;
}

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Become("bob", "PC-BOB");
    dir_.Write("pump.dat", "model data");
    lock_ = dir_ / "pump.lck";
  }
  void Become(const std::string& user, const std::string& machine) {
    env_.SetUserName(user);
    env_.SetComputerName(machine);
    texts_ = BuildLockTexts(env_, DottedVersion(VersionDigits(80100)));
  }
  int Take(LockSlot& slot, bool permanent = false) {
    std::memset(&out_, 0, sizeof out_);
    return slot.Acquire(lock_, permanent, &out_, texts_);
  }

  FaultEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  LockTexts texts_;
  TempDir dir_;
  std::string lock_;
  LockOwnerInfo out_{};
};

TEST_F(LockTest, PreparedTextsCarryTheTreeInOrderAndReadBack) {
  Become("engineer7", "WS-0042");
  EXPECT_LE(texts_.temporary.size(), kLockTextCapacity);
  EXPECT_EQ(texts_.temporary.find('\n'), std::string::npos);
  const char* order[] = {"<?xml",          "<Quorvane-Miradel>", "<!--Quorvane Lock File-->", "<Header>",
                         "<QuorvaneVersion>8.0.1.0</QuorvaneVersion>", "<FormatVersion>1.00</FormatVersion>",
                         "<Lock>", "<!--Information of user editing the model-->", "<MachineName>WS-0042</MachineName>",
                         "<UserName>engineer7</UserName>", "<IsPermanent>FALSE</IsPermanent>", "</Quorvane-Miradel>"};
  std::size_t at = 0;
  for (const char* piece : order) {
    at = texts_.temporary.find(piece, at);
    ASSERT_NE(at, std::string::npos) << piece << " in " << texts_.temporary;
  }
  EXPECT_NE(texts_.permanent.find("<IsPermanent>TRUE</IsPermanent>"), std::string::npos);
  int found = 0;
  LockOwnerInfo owner = Read(texts_.permanent, &found);
  EXPECT_EQ(found, 1);
  EXPECT_STREQ(owner.szMachineName, "WS-0042");
  EXPECT_STREQ(owner.szUserName, "engineer7");
  EXPECT_EQ(owner.bIsPermanent, 1);
  EXPECT_EQ(Read(texts_.temporary).bIsPermanent, 0);
  EXPECT_TRUE(BuildLockTexts(env_, "").dotted.empty());
}

// Names are single-byte text in the host's code page: every byte goes out and comes back as it was,
// cut to the 31 bytes an owner field holds, with XML's special characters escaped.
TEST_F(LockTest, NamesPassThroughByteForByte) {
  const std::string jorg = "J\xF6rg", machine = "R&D <lab> \"\xC4\x80\xFF\"";
  Become(jorg, machine);
  EXPECT_EQ(texts_.temporary.find("encoding"), std::string::npos) << "no encoding declaration";
  EXPECT_NE(texts_.temporary.find("<UserName>J\xF6rg</UserName>"), std::string::npos) << texts_.temporary;
  LockOwnerInfo owner = Read(texts_.temporary);
  EXPECT_EQ(std::string(owner.szUserName), jorg);
  EXPECT_EQ(std::string(owner.szMachineName), machine);
  // A peer's file, written in its code page without a declaration.
  owner = Read("<?xml version='1.0'?><Quorvane-Miradel><Lock><MachineName>PC-\xE9t\xE9</MachineName><UserName>"
               "J\xF6rg</UserName><IsPermanent>TRUE</IsPermanent></Lock></Quorvane-Miradel>");
  EXPECT_EQ(std::string(owner.szMachineName), "PC-\xE9t\xE9");
  EXPECT_EQ(std::string(owner.szUserName), jorg);
  Become(std::string(40, '\xE4'), "m");
  EXPECT_EQ(std::string(Read(texts_.temporary).szUserName), std::string(31, '\xE4'));
}

TEST(LockFileRead, PeerFilesAreReadByTheirElementTree) {
  const std::string peer =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<quorvane-miradel>\r\n  <!-- Quorvane Lock File -->\r\n"
      "  <Header><QuorvaneVersion>10.0.1.4</QuorvaneVersion></Header>\r\n  <LOCK>\r\n    <Extra a='1'/>\r\n"
      "    <machinename>PC-ANNA</machinename>\r\n    <UserName>anna</UserName>\r\n    <IsPermanent>true</IsPermanent>\r\n"
      "    <UserName>not-read-after-permanence</UserName>\r\n  </LOCK>\r\n</quorvane-miradel>\r\n";
  int found = 0;
  LockOwnerInfo owner = Read(peer, &found);
  EXPECT_EQ(found, 1);
  EXPECT_STREQ(owner.szMachineName, "PC-ANNA");
  EXPECT_STREQ(owner.szUserName, "anna");
  EXPECT_EQ(owner.bIsPermanent, 1);
  // A peer that rewrote FALSE with TRUE in place leaves the old text's last character behind.
  owner = Read("<?xml version='1.0'?><Quorvane-Miradel><Lock><MachineName>M</MachineName><UserName>u</UserName>"
               "<IsPermanent>TRUE</IsPermanent></Lock></Quorvane-Miradel>>", &found);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(owner.bIsPermanent, 1);
  // Without a permanence what was found stays.
  owner = Read("<Quorvane-Miradel><Lock><MachineName>M</MachineName></Lock></Quorvane-Miradel>", &found);
  EXPECT_EQ(found, 0);
  EXPECT_STREQ(owner.szMachineName, "M");
  // Another root carries no owner at all.
  std::memset(&owner, 0x5a, sizeof owner);
  XMLProcessorNetwork doc;
  doc.LoadText("<Other><Lock><MachineName>X</MachineName><IsPermanent>TRUE</IsPermanent></Lock></Other>");
  EXPECT_EQ(doc.ReadLockOwner(owner), 0);
  EXPECT_EQ(owner.bIsPermanent, 0x5a);
}

TEST(LockFileRead, DamagedTextsNeverOverflowTheOwnerFields) {
  const std::string good = "<?xml version='1.0'?><Quorvane-Miradel><Lock><MachineName>" + std::string(300, 'M') +
                           "</MachineName><UserName>" + std::string(300, 'U') +
                           "</UserName><IsPermanent>TRUE</IsPermanent></Lock></Quorvane-Miradel>";
  std::mt19937 rng(12345);
  for (int round = 0; round < 2000; ++round) {
    std::string text = good;
    for (int i = 1 + static_cast<int>(rng() % 8); i > 0; --i) text[rng() % text.size()] = static_cast<char>(rng());
    text.resize(rng() % (text.size() + 1));
    LockOwnerInfo owner = Read(text);
    ASSERT_LT(strnlen(owner.szUserName, sizeof owner.szUserName), sizeof owner.szUserName);
    ASSERT_LT(strnlen(owner.szMachineName, sizeof owner.szMachineName), sizeof owner.szMachineName);
  }
}

TEST(ParseBool, AcceptsTrueAndFalseInAnyCaseOnly) {
  struct {
    const char* text;
    int def, expected;
  } cases[] = {{"TRUE", 7, 1}, {"tRuE", 7, 1}, {"false", 7, 0}, {"FALSE", 7, 0},
               {" TRUE", 7, 7}, {"TRUEX", 7, 7}, {"", -1, -1},   {"1", 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(ParseBool(c.text, c.def), c.expected) << c.text;
}

TEST_F(LockTest, TakesAFreeModelKeepsOthersOutAndReleasesIt) {
  LockSlot slot{};
  ASSERT_EQ(Take(slot), 1);
  LockOwnerInfo owner = OwnerInLockFile(lock_);
  EXPECT_STREQ(owner.szUserName, "bob");
  EXPECT_STREQ(owner.szMachineName, "PC-BOB");
  EXPECT_EQ(owner.bIsPermanent, 0);
  EXPECT_FALSE(CanWrite(lock_));
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat"));
  EXPECT_TRUE(platform::System().DeleteFile(lock_).IsSharingViolation());

  Become("carol", "PC-CAROL");
  LockSlot other{};
  EXPECT_EQ(Take(other), 0);
  EXPECT_STREQ(out_.szUserName, "bob");
  EXPECT_STREQ(out_.szMachineName, "PC-BOB");
  EXPECT_EQ(out_.bIsPermanent, 0);
  EXPECT_EQ(other.hLockFile, platform::kNoFile);

  slot.Release();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));

  dir_.Write("pump.lck", texts_.temporary);  // carol's, left by a host that crashed: stale
  Become("bob", "PC-BOB");
  ASSERT_EQ(Take(slot), 1);
  EXPECT_STREQ(OwnerInLockFile(lock_).szUserName, "bob");
  slot.Release();
}

// A permanent lock stays after release, keeps other users out and is its user's on any machine,
// whatever bytes the user's name holds.
TEST_F(LockTest, APermanentLockBelongsToItsUser) {
  for (const char* user : {"bob", "J\xF6rg"}) {
    Become(user, "PC-1");
    LockSlot slot{};
    ASSERT_EQ(Take(slot, true), 1) << user;
    slot.Release();
    ASSERT_TRUE(dir_.Exists("pump.lck")) << "a permanent lock file stays";

    Become("carol", "PC-CAROL");
    LockSlot other{};
    EXPECT_EQ(Take(other), 0);
    EXPECT_EQ(std::string(out_.szUserName), user);
    EXPECT_EQ(out_.bIsPermanent, 1);

    Become(std::string(user) == "bob" ? "BOB" : user, "LAPTOP-7");  // the same user elsewhere
    LockSlot again{};
    ASSERT_EQ(Take(again), 1) << user;
    EXPECT_EQ(again.bPermanent, 1);
    EXPECT_STREQ(OwnerInLockFile(lock_).szMachineName, "LAPTOP-7");
    EXPECT_EQ(OwnerInLockFile(lock_).bIsPermanent, 1);
    ASSERT_EQ(again.WriteLockFile(false, texts_, true), 1);
    again.Release();
    EXPECT_FALSE(dir_.Exists("pump.lck"));
  }
}

// Taking one's own permanent lock may fail for the data file; the permanent lock file stays.
TEST_F(LockTest, AFailedTakeKeepsTheUsersPermanentLock) {
  LockSlot slot{};
  ASSERT_EQ(Take(slot, true), 1);
  slot.Release();
  platform::FileHandle held = platform::kNoFile;
  ASSERT_TRUE(platform::System()
                  .OpenFile(dir_ / "pump.dat", platform::kWrite, platform::kShareRead,
                            platform::Disposition::kOpenExisting, &held, nullptr)
                  .ok());
  EXPECT_EQ(Take(slot), 0) << "the data file is held elsewhere";
  EXPECT_TRUE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(platform::System().Close(held).ok());
  env_.Fail(Op::kOpen, "pump.dat", ErrorKind::kAccessDenied, -1, platform::kWrite);
  EXPECT_EQ(Take(slot), 4);
  EXPECT_TRUE(dir_.Exists("pump.lck"));
  EXPECT_EQ(OwnerInLockFile(lock_).bIsPermanent, 1);
  // A temporary lock taken the same way leaves nothing behind.
  ASSERT_TRUE(platform::System().DeleteFile(lock_).ok());
  EXPECT_EQ(Take(slot), 4);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_EQ(slot.hLockFile, platform::kNoFile);
  EXPECT_EQ(slot.hDataFile, platform::kNoFile);
}

// The refusals that only permissions or faults reach: each leaves no lock and no handle behind.
TEST_F(LockTest, RefusalsLeaveNothingBehind) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    int expected;
  } cases[] = {
      {"lock file denied, data readable", [&] { env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kAccessDenied); }, 2},
      {"lock file and data denied",
       [&] {
         env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kAccessDenied);
         env_.Fail(Op::kOpen, "pump.dat", ErrorKind::kAccessDenied);
       },
       3},
      {"data file not writable", [&] { env_.Fail(Op::kOpen, "pump.dat", ErrorKind::kAccessDenied, -1, platform::kWrite); }, 4},
      {"existing lock file unreadable",
       [&] {
         dir_.Write("pump.lck", "whatever");
         env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kOther, -1, platform::kRead);
       },
       0},
      {"lock text cannot be written", [&] { env_.Fail(Op::kWrite, "", ErrorKind::kOther); }, 0},
      {"no texts before the version", [&] { texts_ = LockTexts{}; }, 0},
      {"path too long", [&] { lock_ = dir_.path() + std::string(300, 'x') + ".lck"; }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.arrange();
    LockSlot slot{};
    std::memset(&out_, 0x33, sizeof out_);
    EXPECT_EQ(slot.Acquire(lock_, false, &out_, texts_), c.expected);
    EXPECT_EQ(slot.hLockFile, platform::kNoFile);
    EXPECT_EQ(slot.hDataFile, platform::kNoFile);
    EXPECT_EQ(out_.bIsPermanent, 0x33) << "the owner buffer is written only for another user's lock";
    env_.ClearFaults();
    EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
    platform::System().DeleteFile(dir_ / "pump.lck").IgnoreError();
    SetUp();
  }
}

TEST_F(LockTest, RewritesChangePermanenceAndTellAMissingFileFromAFailedWrite) {
  LockSlot slot{};
  ASSERT_EQ(Take(slot), 1);
  for (bool permanent : {true, false}) {
    ASSERT_EQ(slot.WriteLockFile(permanent, texts_, true), 1);
    EXPECT_EQ(slot.bPermanent, permanent ? 1 : 0);
    std::string text;
    ASSERT_TRUE(ReadLockFileText(lock_, &text));
    EXPECT_EQ(text, texts_.For(permanent)) << "a shorter text leaves no tail";
  }
  env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kNotFound, 1, platform::kRead);
  EXPECT_EQ(slot.Refresh(texts_), 2);
  env_.Fail(Op::kWrite, "", ErrorKind::kOther, 1);
  EXPECT_EQ(slot.Refresh(texts_), 0);
  EXPECT_EQ(slot.Refresh(texts_), 1);
  // Taking a lock insists that the text reached the disk; a refresh does not.
  env_.Fail(Op::kFlush, "", ErrorKind::kOther, 1);
  EXPECT_EQ(slot.WriteLockFile(true, texts_, true), 0);
  EXPECT_EQ(slot.bPermanent, 0);
  slot.Release();
}

// A record whose lock was released through a copy of it holds nothing: releasing it closes nothing
// and deletes no lock file that lies there now.
TEST_F(LockTest, AStaleCopyReleasesNothing) {
  LockSlot slot{};
  ASSERT_EQ(Take(slot), 1);
  LockSlot copy = slot;
  copy.Release();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  Become("carol", "PC-CAROL");
  LockSlot carols{};
  ASSERT_EQ(Take(carols, true), 1);
  carols.Release();
  ASSERT_TRUE(dir_.Exists("pump.lck"));
  slot.Release();
  EXPECT_TRUE(dir_.Exists("pump.lck")) << "carol's permanent lock was deleted by a stale record";
  EXPECT_EQ(slot.HoldDataFile(), 1);
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat")) << "a slot without its lock file holds no data file";
}

// A second process: the miradel program holds the lock as another user, and `who` names it.
TEST_F(LockTest, AnotherProcessHoldingTheLockIsNamedAndItsReleaseFreesTheModel) {
  auto holder = StartHolder(dir_.path(), "pump", "alice", "PC-ALICE");
  ASSERT_TRUE(holder);

  LockSlot slot{};
  EXPECT_EQ(Take(slot), 0);
  EXPECT_STREQ(out_.szUserName, "alice");
  EXPECT_STREQ(out_.szMachineName, "PC-ALICE");

  auto who = ChildProcess::Start(hostkit::SiblingProgram("miradel"), {"who", dir_.path(), "pump"});
  ASSERT_TRUE(who);
  std::string report, line;
  bool ok = true;
  for (line = who->ReadLine(60000, &ok); ok; line = who->ReadLine(60000, &ok)) report += line + "\n";
  EXPECT_EQ(who->Wait(), 0);
  EXPECT_NE(report.find("alice"), std::string::npos) << report;
  EXPECT_NE(report.find("held open now"), std::string::npos) << report;

  holder->WriteLine("stop");
  EXPECT_EQ(holder->Wait(), 0);
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_EQ(Take(slot), 1);
  slot.Release();
}

}  // namespace
}  // namespace miradel::test
