// Tests that call the exports as the host does, on the one global control object, which is put
// back to a freshly loaded library's state before and after every test. The user is "bob" on
// "PC-BOB" unless a test becomes someone else; the host has given its version.
#pragma once

#include <cstring>
#include <thread>

#include "control/globals.h"
#include "copy/copy_thread_timings.h"
#include "hostkit/host.h"
#include "lock/lock_slot.h"
#include "lock/xml_processor.h"
#include "miradel.h"
#include "model/unwritten_changes.h"
#include "support/child.h"
#include "support/fault_env.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace miradel {

// The control object's parts, for tests that arrange or look at them directly.
class ControlInside {
 public:
  explicit ControlInside(CNetworkFileControl& c = TheControl())
      : m_location(c.m_location), m_staging(c.m_staging), m_locks(c.m_locks), m_copy(c.m_copy),
        m_bCopyThreadStarted(c.m_bCopyThreadStarted) {}
  ModelLocation& m_location;
  Staging& m_staging;
  LockManager& m_locks;
  CopyService& m_copy;
  int& m_bCopyThreadStarted;
};

}  // namespace miradel

namespace miradel::test {

using namespace hostkit;
inline constexpr char S = kSep;
// Its tag "QV_776655" belongs to these tests alone, so that their working copies are told apart
// from any real model's.
inline constexpr int kHostVersion = 77665544;

// Another handle may open the file for writing: nobody holds it as exclusive writer.
inline bool CanWrite(const std::string& path) {
  platform::FileHandle h = platform::kNoFile;
  platform::Status s = platform::System().OpenFile(path, platform::kWrite, platform::kShareRead | platform::kShareWrite,
                                                   platform::Disposition::kOpenExisting, &h, nullptr);
  if (s.ok()) platform::System().Close(h).IgnoreError();
  return s.ok();
}
// The lock file's owner as the reader sees it.
inline LockOwnerInfo OwnerInLockFile(const std::string& path) {
  LockOwnerInfo owner;
  std::memset(&owner, 0, sizeof owner);
  std::string text;
  EXPECT_TRUE(ReadLockFileText(path, &text)) << path;
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  doc.ReadLockOwner(owner);
  return owner;
}
// A lock file's text as a colleague's library writes it.
inline std::string LockText(const std::string& user, const std::string& machine, bool permanent) {
  return "<Quorvane-Miradel><Lock><MachineName>" + machine + "</MachineName><UserName>" + user + "</UserName><IsPermanent>" +
         (permanent ? "TRUE" : "FALSE") + "</IsPermanent></Lock></Quorvane-Miradel>";
}
// A TTA case list: a header, then input file, case and profile in 15-character columns.
inline std::string CaseList(const std::vector<std::pair<std::string, std::string>>& inputsAndProfiles) {
  auto col = [](std::string t) { return t.append(15 - t.size(), ' '); };
  std::string out = "TTA File       Case           Profile\r\n";
  for (const auto& [input, profile] : inputsAndProfiles) out += col(input) + col("case") + col(profile) + "\r\n";
  return out;
}
// A record's entries as "copy a delete b".
inline std::string Listed(const UnwrittenRecord& record) {
  std::string s;
  for (const UnwrittenEntry& e : record.entries) s += (e.kind == UnwrittenKind::kCopy ? " copy " : " delete ") + e.file;
  return s.empty() ? s : s.substr(1);
}
// Whether condition came true within a minute; looked at without pause, so that a racing test acts
// as soon as it may.
inline bool Eventually(const std::function<bool()>& condition) {
  for (auto end = std::chrono::steady_clock::now() + Patience(); !condition(); std::this_thread::yield())
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

// The copy thread's pauses shortened while it lives, so that tests which meet them often stay fast.
struct ShortPauses {
  explicit ShortPauses(std::chrono::milliseconds retry) {
    CopyThreadTimings::SetRetryPause(retry);
    CopyThreadTimings::SetPollInterval(std::chrono::milliseconds(1));
  }
  ~ShortPauses() { CopyThreadTimings::Restore(); }
};

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::System().GetCurrentDirectory(&cwd_).IgnoreError();
    ResetTheControl();
    BecomeUser("bob", "PC-BOB");
  }
  void TearDown() override {
    env_.ClearFaults();
    ResetTheControl();
    platform::System().SetCurrentDirectory(cwd_).IgnoreError();
    std::error_code ec;
    for (const std::string& dir : made_) std::filesystem::remove_all(std::filesystem::path(dir), ec);
  }
  static ControlInside In() { return ControlInside(); }
  // The user's name and machine, and the lock texts that carry them (the host gives its version
  // again, as a freshly started host would).
  void BecomeUser(const std::string& user, const std::string& machine) {
    env_.SetUserName(user);
    env_.SetComputerName(machine);
    SetVersion(kHostVersion);
  }
  // NW_SetModelDir; every working copy it makes is removed after the test.
  int SetModelDir(const std::string& dir, const std::string& name) {
    int result = hostkit::SetModelDir(dir, name);
    if (!QVTempDir().empty()) made_.push_back(QVTempDir());
    return result;
  }
  // Lock, working copy and copies of one model; its working copy.
  std::string Open(const std::string& dir, const std::string& name) {
    MiradelLockOwner owner{};
    EXPECT_EQ(GetLock(dir, name, &owner), 1) << dir << name;
    EXPECT_EQ(SetModelDir(dir, name), 1);
    EXPECT_EQ(CopyAllToTemp(), 1);
    return QVTempDir();
  }

  FaultEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  ScriptedUi ui_;
  ScopedUi scoped_ui_{&ui_};
  TempDir dir_;

 private:
  std::string cwd_;
  std::vector<std::string> made_;
};

}  // namespace miradel::test
