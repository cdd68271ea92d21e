// Lock files that are not what they seem: a FIFO or a link named like one, one model named in two
// spellings, a lock file rewritten shorter. Run on a share too (scripts/test-smb).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/host_test.h"
#include "support/temp_dir.h"
#include "support/child.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace miradel::test {
namespace {

constexpr int kAnswerMs = 15000;

// args: directory, model, user, and "hold" to keep the lock until the input ends. Prints
// "result R owner U": what NW_GetLock returned and whom it named.
MIRADEL_CHILD(take_lock) {
  FaultEnv env(&platform::System());
  env.SetUserName(args.at(2));
  env.SetComputerName("PC-" + args.at(2));
  platform::ScopedEnv scoped(&env);
  SetVersion(kHostVersion);
  MiradelLockOwner owner{};
  int result = GetLock(args.at(0), args.at(1), &owner);
  std::printf("result %d owner %.*s\n", result, static_cast<int>(strnlen(owner.user_name, sizeof owner.user_name)),
              owner.user_name);
  if (args.size() > 3 && args[3] == "hold")
    for (std::string line; std::getline(std::cin, line);) {
    }
  NW_ReleaseLock();
  return 0;
}

// The child's one line, or why there is none.
std::string Answer(ChildProcess* child) {
  if (child == nullptr) return "cannot start the child";
  bool ok = false;
  std::string line = child->ReadLine(kAnswerMs, &ok);
  return ok ? line : "no answer within " + std::to_string(kAnswerMs / 1000) + " s";
}

struct OddLockFile {
  const char* name;
  bool fifo;  // else a symbolic link to a colleague's file
};

class OddLockFileTest : public ::testing::TestWithParam<OddLockFile> {};

// Whatever sits under the lock file's name, taking the lock ends at once, refused, and writes
// nothing anywhere.
TEST_P(OddLockFileTest, IsRefusedAtOnceAndLeftAlone) {
  TempDir dir;
  dir.Write("pump.dat", "model data");
  const std::string precious = dir.Write("precious.txt", "a colleague's notes");
  if (GetParam().fifo) {
#ifdef _WIN32
    GTEST_SKIP() << "no FIFOs in a Windows folder";
#else
    ASSERT_EQ(::mkfifo((dir / "pump.lck").c_str(), 0600), 0);
#endif
  } else {
    std::error_code ec;
    std::filesystem::create_symlink(precious, dir / "pump.lck", ec);
    if (ec) GTEST_SKIP() << "cannot make a symbolic link here: " << ec.message();
  }
  auto child = StartChild("take_lock", {dir.path(), "pump", "bob"});
  EXPECT_EQ(Answer(child.get()), "result 0 owner ");
  EXPECT_EQ(dir.Read("precious.txt"), "a colleague's notes");
  EXPECT_TRUE(CanWrite(dir / "pump.dat")) << "the data file is not held";

  auto who = ChildProcess::Start(hostkit::SiblingProgram("miradel"), {"who", dir.path(), "pump"});
  ASSERT_TRUE(who);
  EXPECT_NE(who->Wait(kAnswerMs), -1) << "miradel who did not end within " << kAnswerMs / 1000 << " s";
}

INSTANTIATE_TEST_SUITE_P(Kinds, OddLockFileTest,
                         ::testing::Values(OddLockFile{"Fifo", true}, OddLockFile{"SymbolicLink", false}),
                         [](const ::testing::TestParamInfo<OddLockFile>& info) { return info.param.name; });

struct Spellings {
  const char* name;
  const char* holder_dir;
  const char* holder_model;
  const char* taker_dir;
  const char* taker_model;
};

class SpellingTest : public ::testing::TestWithParam<Spellings> {};

// Names are case-insensitive: a model named in another spelling is the same model, and a second host
// is refused and told who holds it.
TEST_P(SpellingTest, SecondSpellingMeetsTheHolder) {
  const Spellings& c = GetParam();
  ModelFolder models;
  std::filesystem::create_directory(models / "Plant");
  WriteFile(models / "Plant" + S + "pump.dat", "model data");

  auto holder = StartChild("take_lock", {models / c.holder_dir, c.holder_model, "alice", "hold"});
  ASSERT_EQ(Answer(holder.get()), "result 1 owner ");
  auto taker = StartChild("take_lock", {models / c.taker_dir, c.taker_model, "bob"});
  EXPECT_EQ(Answer(taker.get()), "result 0 owner alice");
  EXPECT_EQ(taker->Wait(kAnswerMs), 0);
  holder->CloseInput();
  EXPECT_EQ(holder->Wait(kAnswerMs), 0);
}

INSTANTIATE_TEST_SUITE_P(Names, SpellingTest,
                         ::testing::Values(Spellings{"Model", "Plant", "pump", "Plant", "PUMP"},
                                           Spellings{"Directory", "Plant", "pump", "PLANT", "pump"}),
                         [](const ::testing::TestParamInfo<Spellings>& info) { return info.param.name; });

// The lock slot rewrites its lock file through a handle opened for writing only, then cuts it at the
// end of the new text; some clients cannot truncate such a handle.
TEST(LockFileRewrite, ShorterTextLeavesNoTail) {
  ModelFolder models;
  platform::Env& env = platform::System();
  platform::FileHandle h = platform::kNoFile;
  ASSERT_TRUE(env.OpenFile(models / "pump.lck", platform::kWrite, platform::kShareRead,
                           platform::Disposition::kOpenAlways, &h, nullptr)
                  .ok());
  const std::string longer(300, 'x'), shorter = "<lock/>";
  EXPECT_TRUE(env.Write(h, longer.data(), longer.size()).ok());
  EXPECT_TRUE(env.Seek(h, 0).ok());
  EXPECT_TRUE(env.Write(h, shorter.data(), shorter.size()).ok());
  platform::Status cut = env.Truncate(h);
  EXPECT_TRUE(cut.ok()) << cut.message();
  EXPECT_TRUE(env.Close(h).ok());
  EXPECT_EQ(ReadFile(models / "pump.lck"), shorter);
}

}  // namespace
}  // namespace miradel::test
