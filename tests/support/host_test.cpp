#include "support/host_test.h"

#include <cstring>
#include <filesystem>
#include <thread>

#include "lock/lock_slot.h"
#include "lock/xml_processor.h"
#include "support/patience.h"

namespace miradel::test {

bool CanWrite(const std::string& path) {
  platform::FileHandle h = platform::kNoFile;
  platform::Status s = platform::System().OpenFile(path, platform::kWrite, platform::kShareRead | platform::kShareWrite,
                                                   platform::Disposition::kOpenExisting, &h, nullptr);
  if (s.ok()) platform::System().Close(h).IgnoreError();
  return s.ok();
}

LockOwnerInfo OwnerInLockFile(const std::string& path) {
  LockOwnerInfo owner;
  std::memset(&owner, 0, sizeof owner);
  std::string text;
  EXPECT_TRUE(ReadLockFileText(path, &text)) << path;
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  doc.ReadLockOwner(owner);
  return owner;
}

std::string LockText(const std::string& user, const std::string& machine, bool permanent) {
  return "<Quorvane-Miradel><Lock><MachineName>" + machine + "</MachineName><UserName>" + user + "</UserName><IsPermanent>" +
         (permanent ? "TRUE" : "FALSE") + "</IsPermanent></Lock></Quorvane-Miradel>";
}

std::string CaseList(const std::vector<std::pair<std::string, std::string>>& inputsAndProfiles) {
  auto col = [](std::string t) { return t.append(15 - t.size(), ' '); };
  std::string out = "TTA File       Case           Profile\r\n";
  for (const auto& [input, profile] : inputsAndProfiles) out += col(input) + col("case") + col(profile) + "\r\n";
  return out;
}

std::string Listed(const UnwrittenRecord& record) {
  std::string s;
  for (const UnwrittenEntry& e : record.entries) s += (e.kind == UnwrittenKind::kCopy ? " copy " : " delete ") + e.file;
  return s.empty() ? s : s.substr(1);
}

bool Eventually(const std::function<bool()>& condition) {
  using namespace std::chrono;
  for (auto end = steady_clock::now() + Patience(); !condition(); std::this_thread::yield())
    if (steady_clock::now() > end) return false;
  return true;
}

void HostTest::SetUp() {
  platform::System().GetCurrentDirectory(&cwd_).IgnoreError();
  ResetTheControl();
  BecomeUser("bob", "PC-BOB");
}

void HostTest::TearDown() {
  env_.ClearFaults();
  ResetTheControl();
  platform::System().SetCurrentDirectory(cwd_).IgnoreError();
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const std::string& dir : made_) fs::remove_all(fs::path(dir), ec);
}

void HostTest::BecomeUser(const std::string& user, const std::string& machine) {
  env_.SetUserName(user);
  env_.SetComputerName(machine);
  SetVersion(kHostVersion);
}

int HostTest::SetModelDir(const std::string& dir, const std::string& name) {
  int result = hostkit::SetModelDir(dir, name);
  if (!QVTempDir().empty()) made_.push_back(QVTempDir());
  return result;
}

std::string HostTest::Open(const std::string& dir, const std::string& name) {
  MiradelLockOwner owner{};
  EXPECT_EQ(GetLock(dir, name, &owner), 1) << dir << name;
  EXPECT_EQ(SetModelDir(dir, name), 1);
  EXPECT_EQ(CopyAllToTemp(), 1);
  return QVTempDir();
}

}  // namespace miradel::test
