// The administrator's commands against real folders and holders: miradel doctor on a fit folder and
// on unfit ones (faked through the port); the lock board (miradel who -r) and miradel wait with a
// running holder, a killed one, a colleague's and one's own permanent lock nobody holds, and a lock
// file that names no one. Run on a share too (scripts/test-smb).

#include <nlohmann/json.hpp>

#include "doctor.h"
#include "lock_board.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

// What a command printed with --json, parsed; its exit line must be "exit 0".
nlohmann::json Json(const std::vector<std::string>& args) {
  const std::string out = Miradel(args);
  EXPECT_EQ(out.substr(out.rfind("exit ")), "exit 0") << out;
  const auto parsed = nlohmann::json::parse(out.substr(0, out.rfind("exit ")), nullptr, false);
  EXPECT_FALSE(parsed.is_discarded()) << out;
  return parsed;
}

std::string Verdicts(const tools::DoctorReport& report) {
  std::string out;
  for (const tools::DoctorCheck& c : report.checks) if (c.verdict == tools::DoctorCheck::kFail) out += c.property + ";";
  return out;
}

// A share that guards nothing: a second create of a folder, a delete of a held file and a second
// writer are all reported done; and a rename over a file deletes that file first.
struct LaxShare : platform::EnvWrapper {
  using EnvWrapper::EnvWrapper;
  platform::Status CreateDirectory(const std::string& path) override {
    const platform::Status s = target()->CreateDirectory(path);
    return s.kind() == platform::ErrorKind::kAlreadyExists ? platform::Status::Ok() : s;
  }
  platform::Status DeleteFile(const std::string& path) override {
    target()->DeleteFile(path).IgnoreError();
    return platform::Status::Ok();
  }
  platform::Status Rename(const std::string& from, const std::string& to) override {
    target()->DeleteFile(to).IgnoreError();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return target()->Rename(from, to);
  }
  platform::Status OpenFile(const std::string& path, unsigned access, unsigned share, platform::Disposition disp,
                            platform::FileHandle* handle, bool* existed) override {
    const platform::Status s = target()->OpenFile(path, access, share, disp, handle, existed);
    if (!s.IsSharingViolation()) return s;
    return target()->OpenFile(path, platform::kRead, platform::kShareRead | platform::kShareWrite | platform::kShareDelete,
                              disp, handle, existed);
  }
};

TEST(Doctor, PassesAFitFolderAndNamesWhatAnUnfitOneLacks) {
  ModelFolder folder;
  const auto parsed = Json({"doctor", folder.path(), "--json"});
  EXPECT_EQ(parsed["passed"], true) << parsed;
  EXPECT_EQ(parsed["checks"].size(), 10u) << parsed;
  EXPECT_EQ(DirectoryNames(folder.path()), "") << "the scratch folder stays";

  struct Case { const char* lacking; std::function<void(FaultEnv&)> fake; };
  const Case cases[] = {
      {"write permission;", [](FaultEnv& e) { e.Fail(Op::kCreateDir, "", platform::ErrorKind::kAccessDenied); }},
      {"replace by rename;", [](FaultEnv& e) { e.Fail(Op::kRename, "", platform::ErrorKind::kOther); }},
      {"flush;", [](FaultEnv& e) { e.Fail(Op::kFlush, "flush.tmp", platform::ErrorKind::kOther); }},
      {"free space;", [](FaultEnv& e) { e.SetFreeSpace(1 << 20); }}};
  for (const Case& c : cases) {
    FaultEnv env(&platform::System());
    c.fake(env);
    platform::ScopedEnv scoped(&env);
    const tools::DoctorReport report = tools::Examine(folder.path(), hostkit::SiblingProgram("miradel"));
    EXPECT_FALSE(report.Passed()) << c.lacking;
    EXPECT_EQ(Verdicts(report), c.lacking);
  }
  LaxShare lax(&platform::System());
  platform::ScopedEnv scoped(&lax);
  const tools::DoctorReport lax_report = tools::Examine(folder.path(), hostkit::SiblingProgram("miradel"));
  EXPECT_EQ(Verdicts(lax_report), "exclusive create;held lock file;held data file;");
  EXPECT_EQ(lax_report.checks[6].property + " " + lax_report.checks[6].reason.substr(0, 12), "replace by rename not one step");
}

TEST(SharedModel, TheBoardAndWaitTellHeldStaleAndPermanentLocksApart) {
  ModelFolder models;
  for (const char* dir : {"plant", "plant/sub", "yard"})
    ASSERT_TRUE(platform::System().CreateDirectory(models / Path::FromText(dir).str()).ok());
  const std::string plant = models / "plant", sub = plant + S + "sub", yard = models / "yard";
  auto holder = StartHolder(plant, "pump", "alice", "PC-ALICE");
  auto killed = StartHolder(sub, "valve", "carol", "PC-CAROL");
  ASSERT_TRUE(holder);
  ASSERT_TRUE(killed);
  killed->Kill();
  killed->Wait(PatienceMs());
  EXPECT_EQ(Miradel({"lock", yard, "tank", "--permanent", "--as-user", "bob"}, "miradel-test-aid").substr(0, 7), "locked ");
  WriteFile(yard + S + "odd.lck", "not a lock");
  WriteFile(yard + S + "notes.lck.txt", "not a lock file at all");

  std::vector<tools::LockState> board;
  std::string error;
  ASSERT_TRUE(tools::LockBoard(platform::System(), models.path(), &board, &error)) << error;
  std::vector<std::string> seen;
  for (const tools::LockState& lock : board) seen.push_back(lock.model + " " + lock.user + " " + tools::StateText(lock));
  const std::string sep(1, S);
  EXPECT_EQ(seen, (std::vector<std::string>{"plant" + sep + "pump alice held open now",
                                            "plant" + sep + "sub" + sep + "valve carol stale: anyone may take it over",
                                            "yard" + sep + "odd  stale: anyone may take it over",
                                            "yard" + sep + "tank bob permanent: keeps other users out"}));
  const auto parsed = Json({"who", "-r", models.path(), "--json"});
  EXPECT_EQ(parsed["locks"][0]["state"], "held");
  EXPECT_EQ(parsed["locks"][2]["readable"], false);

  // Wait: a live holder outlasts a timeout; a stale lock is free and taken; a permanent one is not.
  EXPECT_EQ(Miradel({"wait", plant, "pump", "--timeout", "0.5"}),
            "still held: pump is locked by alice on PC-ALICE (held open now)\nexit 1");
  EXPECT_EQ(Miradel({"wait", sub, "valve", "--take"}).substr(0, 7), "locked ");
  EXPECT_EQ(Miradel({"wait", yard, "tank", "--timeout", "0"}).substr(0, 12), "still held: ");
  EXPECT_EQ(Miradel({"lock", yard, "own", "--permanent"}).substr(0, 7), "locked ");
  EXPECT_EQ(Miradel({"wait", yard, "own", "--timeout", "0"}), "own is free\nexit 0") << "this user's own permanent lock";
  auto waiter = ChildProcess::Start(hostkit::SiblingProgram("miradel"), {"wait", plant, "pump"});
  ASSERT_TRUE(waiter);
  holder->WriteLine("stop");
  bool ok = true;
  EXPECT_EQ(waiter->ReadLine(PatienceMs(), &ok), "pump is free");
  EXPECT_EQ(waiter->Wait(PatienceMs()), 0);

  for (const std::vector<std::string>& usage : {std::vector<std::string>{"who", plant}, {"who", plant, "--json"},
                                                {"who", "-r", plant, "pump"}, {"wait", plant}, {"wiat", plant}}) {
    const std::string out = Miradel(usage);
    EXPECT_EQ(out.substr(out.rfind("exit ")), "exit 2") << usage.back();
  }
}

}  // namespace
}  // namespace miradel::test
