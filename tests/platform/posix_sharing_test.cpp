// Lock files that are not what they seem: a FIFO or a link named like one, one model named in two
// spellings by two processes, a lock file rewritten shorter. Run on a share too (scripts/test-smb).
#include <filesystem>
#include <string>
#include <vector>

#include "support/child.h"
#include "support/host_test.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace miradel::test {
namespace {

constexpr int kAnswerMs = 15000;

class OddLockFileTest : public ::testing::TestWithParam<bool> {};  // a FIFO, else a link to a colleague's file

// Whatever sits under the lock file's name, taking the lock ends at once, refused, and writes
// nothing anywhere.
TEST_P(OddLockFileTest, IsRefusedAtOnceAndLeftAlone) {
  TempDir dir;
  dir.Write("pump.dat", "model data");
  const std::string precious = dir.Write("precious.txt", "a colleague's notes");
  if (GetParam()) {
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
  EXPECT_EQ(Miradel({"lock", dir.path(), "pump"}),
            "refused: the lock file or the model's data file cannot be taken\nexit 1");
  EXPECT_EQ(dir.Read("precious.txt"), "a colleague's notes");
  EXPECT_TRUE(CanWrite(dir / "pump.dat")) << "the data file is not held";
  EXPECT_EQ(Miradel({"who", dir.path(), "pump"}).find("exit -1"), std::string::npos) << "miradel who did not end";
}

INSTANTIATE_TEST_SUITE_P(Kinds, OddLockFileTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Fifo" : "SymbolicLink"; });

// Names are case-insensitive: a model named in another spelling is the same model. While another
// process holds it, a second user is refused and told who, `miradel who` names the holder, and the
// holder's release frees the model.
TEST(SharedModel, AnotherSpellingMeetsTheHolderUntilItLetsGoAndARewriteLeavesNoTail) {
  ModelFolder models;
  std::filesystem::create_directory(models / "Plant");
  WriteFile(models / "Plant" + S + "pump.dat", "model data");
  auto holder = StartHolder(models / "Plant", "pump", "alice", "PC-ALICE");
  ASSERT_TRUE(holder);
  for (auto [dir, model] : {std::pair<const char*, const char*>{"Plant", "PUMP"}, {"PLANT", "pump"}})
    EXPECT_EQ(Miradel({"lock", models / dir, model, "--as-user", "bob"}, "miradel-test-aid"),
              "refused: " + std::string(model) + " is locked by alice on PC-ALICE\nexit 1");
  const std::string who = Miradel({"who", models / "plant", "Pump"});
  EXPECT_NE(who.find("alice"), std::string::npos) << who;
  EXPECT_NE(who.find("held open now"), std::string::npos) << who;
  holder->WriteLine("stop");
  EXPECT_EQ(holder->Wait(kAnswerMs), 0);
  EXPECT_FALSE(Exists(models / "Plant" + S + "pump.lck"));
  const std::string taken = Miradel({"lock", models / "Plant", "pump"});
  EXPECT_NE(taken.find("released\nexit 0"), std::string::npos) << taken;

  // The lock slot rewrites its lock file through a handle opened for writing only, then cuts it at
  // the end of the new text; some clients cannot truncate such a handle.
  Env& env = System();
  FileHandle h = kNoFile;
  ASSERT_TRUE(env.OpenFile(models / "valve.lck", kWrite, kShareRead, Disposition::kOpenAlways, &h, nullptr).ok());
  const std::string longer(300, 'x'), shorter = "<lock/>";
  EXPECT_TRUE(env.Write(h, longer.data(), longer.size()).ok());
  EXPECT_TRUE(env.Seek(h, 0).ok());
  EXPECT_TRUE(env.Write(h, shorter.data(), shorter.size()).ok());
  EXPECT_EQ(env.Truncate(h).ToString(), "OK") << "the handle opened for writing only cannot be cut";
  EXPECT_TRUE(env.Close(h).ok());
  EXPECT_EQ(ReadFile(models / "valve.lck"), shorter);
}

}  // namespace
}  // namespace miradel::test
