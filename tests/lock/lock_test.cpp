// The lock file's XML and the lock slot: what we write, what we read from files peers wrote, and
// taking, refreshing and releasing a lock, also on the failure paths only injected faults reach.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "control/version.h"
#include "lock/lock_slot.h"
#include "lock/lock_texts.h"
#include "lock/xml_processor.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

using platform::ErrorKind;

LockOwnerInfo Read(const std::string& text, int* found = nullptr) {
  LockOwnerInfo owner{};
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  const int r = doc.ReadLockOwner(owner);
  if (found) *found = r;
  return owner;
}

// "machine|user|permanence" of an owner record.
std::string Who(const LockOwnerInfo& o) {
  return std::string(o.szMachineName) + "|" + o.szUserName + "|" + std::to_string(o.bIsPermanent);
}

// A peer's lock file, written in its code page without a declaration.
std::string PeerFile(const std::string& machine, const std::string& user, const std::string& permanent) {
  return "<?xml version='1.0'?><Quorvane-Miradel><Lock><MachineName>" + machine + "</MachineName><UserName>" + user +
         "</UserName><IsPermanent>" + permanent + "</IsPermanent></Lock></Quorvane-Miradel>";
}

class LockTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    Become("bob", "PC-BOB");
    dir_.Write("pump.dat", "model data");
    lock_ = dir_ / "pump.lck";
  }
  void Become(const std::string& user, const std::string& machine) {
    BecomeUser(user, machine);
    texts_ = BuildLockTexts(env_, DottedVersion(VersionDigits(80100)));
  }
  int Take(LockSlot& slot, bool permanent = false) { out_ = {}; return slot.Acquire(lock_, permanent, &out_, texts_); }

  LockTexts texts_;
  std::string lock_;
  LockOwnerInfo out_{};
};

// Names are single-byte text in the host's code page, XML's special characters escaped; that any
// names come back as they were, cut to 31 bytes, is the lock-file fuzzer's to check.
TEST_F(LockTest, TextsWeWriteAndPeersWroteReadBackByTheirElementTree) {
  const std::string jorg = "J\xF6rg", machine = "R&D <lab> \"\xC4\x80\xFF\"";
  Become(jorg, machine);
  EXPECT_LE(texts_.temporary.size(), kLockTextCapacity);
  EXPECT_EQ(texts_.temporary.find('\n'), std::string::npos);
  EXPECT_EQ(texts_.temporary.find("encoding"), std::string::npos) << "no encoding declaration";
  const char* order[] = {"<?xml", "<Quorvane-Miradel>", "<!--Quorvane Lock File-->", "<Header>",
                         "<QuorvaneVersion>8.0.1.0</QuorvaneVersion>", "<FormatVersion>1.00</FormatVersion>", "<Lock>",
                         "<!--Information of user editing the model-->", "<MachineName>R&amp;D &lt;lab&gt;",
                         "<UserName>J\xF6rg</UserName>", "<IsPermanent>FALSE</IsPermanent>", "</Quorvane-Miradel>"};
  std::size_t at = 0;
  for (const char* piece : order) {
    at = texts_.temporary.find(piece, at);
    ASSERT_NE(at, std::string::npos) << piece << " in " << texts_.temporary;
  }
  EXPECT_NE(texts_.permanent.find("<IsPermanent>TRUE</IsPermanent>"), std::string::npos);
  EXPECT_TRUE(BuildLockTexts(env_, "").dotted.empty());
  int found = 0;
  EXPECT_EQ(Who(Read(PeerFile("PC-\xE9t\xE9", jorg, "TRUE"))), "PC-\xE9t\xE9|" + jorg + "|1");

  // Peers' files are read by their element tree.
  const std::string peer =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<quorvane-miradel>\r\n  <!-- Quorvane Lock File -->\r\n"
      "  <Header><QuorvaneVersion>10.0.1.4</QuorvaneVersion></Header>\r\n  <LOCK>\r\n    <Extra a='1'/>\r\n"
      "    <machinename>PC-ANNA</machinename>\r\n    <UserName>anna</UserName>\r\n    <IsPermanent>true</IsPermanent>\r\n"
      "    <UserName>not-read-after-permanence</UserName>\r\n  </LOCK>\r\n</quorvane-miradel>\r\n";
  EXPECT_EQ(Who(Read(peer, &found)), "PC-ANNA|anna|1");
  EXPECT_EQ(found, 1);
  // Permanent is TRUE in any case, nothing else; a peer that rewrote FALSE with TRUE in place
  // leaves the old text's last character behind.
  for (auto [text, permanent] :
       {std::pair<const char*, int>{"tRuE", 1}, {"false", 0}, {"TRUEX", 0}, {" TRUE", 0}, {"1", 0}})
    EXPECT_EQ(Read(PeerFile("M", "u", text)).bIsPermanent, permanent) << text;
  EXPECT_EQ(Read(PeerFile("M", "u", "TRUE") + ">", &found).bIsPermanent, 1);
  EXPECT_EQ(found, 1);
  // Without a permanence what was found stays.
  EXPECT_EQ(Who(Read("<Quorvane-Miradel><Lock><MachineName>M</MachineName></Lock></Quorvane-Miradel>", &found)),
            "M||0");
  EXPECT_EQ(found, 0);
  // Another root carries no owner at all.
  LockOwnerInfo owner;
  std::memset(&owner, 0x5a, sizeof owner);
  XMLProcessorNetwork doc;
  doc.LoadText("<Other><Lock><MachineName>X</MachineName><IsPermanent>TRUE</IsPermanent></Lock></Other>");
  EXPECT_EQ(doc.ReadLockOwner(owner), 0);
  EXPECT_EQ(owner.bIsPermanent, 0x5a);
}

TEST_F(LockTest, TakesAFreeModelKeepsOthersOutRewritesAndReleasesIt) {
  LockSlot slot{};
  ASSERT_EQ(Take(slot), 1);
  EXPECT_EQ(Who(OwnerInLockFile(lock_)), "PC-BOB|bob|0");
  EXPECT_FALSE(CanWrite(lock_)) << "the lock file is held";
  EXPECT_FALSE(CanWrite(dir_ / "pump.dat")) << "the data file is held";
  EXPECT_TRUE(platform::System().DeleteFile(lock_).IsSharingViolation());

  Become("carol", "PC-CAROL");
  LockSlot other{};
  EXPECT_EQ(Take(other), 0);
  EXPECT_EQ(Who(out_), "PC-BOB|bob|0");
  EXPECT_EQ(other.hLockFile, platform::kNoFile);

  slot.Release();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));

  dir_.Write("pump.lck", texts_.temporary);  // carol's, left by a host that crashed: stale
  Become("bob", "PC-BOB");
  ASSERT_EQ(Take(slot), 1);
  EXPECT_EQ(Who(OwnerInLockFile(lock_)), "PC-BOB|bob|0");

  // Rewrites change the permanence, a shorter text leaving no tail; only a take insists that the
  // text reached the disk, a refresh does not.
  for (bool permanent : {true, false}) {
    ASSERT_EQ(slot.WriteLockFile(permanent, texts_, true), 1);
    std::string text;
    EXPECT_TRUE(ReadLockFileText(lock_, &text));
    EXPECT_EQ(text, texts_.For(permanent));
    EXPECT_EQ(slot.bPermanent, permanent ? 1 : 0);
  }
  env_.Fail(Op::kFlush, "", ErrorKind::kOther);
  EXPECT_EQ(slot.Refresh(texts_), 1);
  EXPECT_EQ(slot.WriteLockFile(true, texts_, true), 0);
  EXPECT_EQ(slot.bPermanent, 0);
#ifndef _WIN32
  // Where a plain writer gets past the lock, a text rewritten in place (the same file under the
  // same name) is what a refresh reads once our last write is old enough to be written again; a
  // name deleted is seen at once.
  env_.ClearFaults();
  Become("carol", "PC-CAROL");
  const std::string carols = texts_.temporary;
  Become("bob", "PC-BOB");
  std::ofstream(lock_, std::ios::in | std::ios::out | std::ios::binary) << carols;
  std::this_thread::sleep_for(std::chrono::milliseconds(LockSlot::kRewriteAfterMs + 20));
  EXPECT_EQ(slot.Refresh(texts_), 0);
  ASSERT_EQ(slot.WriteLockFile(false, texts_, false), 1);
  ASSERT_EQ(std::remove(lock_.c_str()), 0);
  EXPECT_EQ(slot.Refresh(texts_), 2);
#endif
  slot.Release();
}

// Taking one's own permanent lock may fail for the data file; the permanent lock file stays.
TEST_F(LockTest, AFailedTakeKeepsTheUsersPermanentLock) {
  LockSlot slot{};
  ASSERT_EQ(Take(slot, true), 1);
  slot.Release();
  FileHandle held = kNoFile;
  ASSERT_TRUE(System().OpenFile(dir_ / "pump.dat", kWrite, kShareRead, Disposition::kOpenExisting, &held, nullptr).ok());
  EXPECT_EQ(Take(slot), 0) << "the data file is held elsewhere";
  EXPECT_TRUE(dir_.Exists("pump.lck"));
  EXPECT_TRUE(platform::System().Close(held).ok());
  env_.Fail(Op::kOpen, "pump.dat", ErrorKind::kAccessDenied, -1, platform::kWrite);
  EXPECT_EQ(Take(slot), 4);
  EXPECT_EQ(OwnerInLockFile(lock_).bIsPermanent, 1);
}

// The refusals that only permissions or faults reach: each leaves no lock and no handle behind.
TEST_F(LockTest, RefusalsLeaveNothingBehind) {
  using platform::kRead;
  using platform::kWrite;
  struct Case { const char* what; std::function<void()> arrange; int expected; };
  const Case cases[] = {
      {"lock file denied, data readable", [&] { env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kAccessDenied); }, 2},
      {"lock file and data denied", [&] { env_.Fail(Op::kOpen, "", ErrorKind::kAccessDenied); }, 3},
      {"data file not writable", [&] { env_.Fail(Op::kOpen, "pump.dat", ErrorKind::kAccessDenied, -1, kWrite); }, 4},
      {"existing lock file unreadable",
       [&] { dir_.Write("pump.lck", "stale"); env_.Fail(Op::kOpen, "pump.lck", ErrorKind::kOther, -1, kRead); }, 0},
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
    EXPECT_TRUE(!dir_.Exists("pump.lck") || dir_.Read("pump.lck") == "stale") << "a lock file was left behind";
    env_.ClearFaults();
    EXPECT_TRUE(CanWrite(dir_ / "pump.dat"));
    platform::System().DeleteFile(dir_ / "pump.lck").IgnoreError();
    SetUp();
  }
}

// A record whose lock was released through a copy of it holds nothing: releasing it closes nothing
// and deletes no lock file that lies there now.
TEST_F(LockTest, AStaleCopyReleasesNothing) {
  LockSlot slot{};
  ASSERT_EQ(Take(slot), 1);
  LockSlot copy = slot;
  copy.Release();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  dir_.Write("pump.lck", PeerFile("PC-CAROL", "carol", "TRUE"));  // carol has taken it since, for good
  slot.Release();
  EXPECT_TRUE(dir_.Exists("pump.lck")) << "carol's permanent lock was deleted by a stale record";
  EXPECT_EQ(slot.HoldDataFile(), 1);
  EXPECT_TRUE(CanWrite(dir_ / "pump.dat")) << "a slot without its lock file holds no data file";
}

}  // namespace
}  // namespace miradel::test
