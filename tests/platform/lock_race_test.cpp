// Hosts that release a lock while others take it: whoever deletes the lock file must never delete
// a file that the next holder has just taken, with or without a data file to hold as well.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>

#include "support/host_test.h"
#include "support/temp_dir.h"
#include "support/child.h"

namespace miradel::test {
namespace {

constexpr int kContenders = 8;

// Enough wins for a race that strikes a few times in a thousand to show; a share is far slower, so
// scripts/test-smb asks for fewer.
int Rounds() {
  const char* wanted = std::getenv("MIRADEL_TEST_ROUNDS");
  if (wanted != nullptr && std::atoi(wanted) > 0) return std::atoi(wanted);
#ifdef _WIN32
  return 25;  // starting and running processes under Wine is slow
#else
  return 1000;
#endif
}

void AppendLine(const std::string& path, const std::string& line) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;  // a missing line shows in the parent's count
  std::fputs((line + "\n").c_str(), f);
  std::fclose(f);
}

// args: directory, model, user, rounds, log, "plain" or "write-back". Waits for "go", then takes
// and releases the lock until it held it `rounds` times; a write-back lets the data file go while
// the lock file is still held. Prints how often its lock file was gone or someone else's, or what
// went wrong.
MIRADEL_CHILD(race_contender) {
  const std::string dir = args.at(0), name = args.at(1), user = args.at(2), log = args.at(4);
  const int rounds = std::stoi(args.at(3));
  const bool write_back = args.at(5) == "write-back";
  FaultEnv env(&platform::System());
  env.SetUserName(user);
  env.SetComputerName("PC-" + user);
  platform::ScopedEnv scoped(&env);
  SetVersion(kHostVersion);

  std::string go;
  if (!std::getline(std::cin, go) || go != "go") return 10;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(10);  // a safety net only
  const std::string lock = path::WithSeparator(dir) + name + ".lck", machine = "PC-" + user;
  int lost = 0;
  for (int taken = 0; taken < rounds;) {
    if (std::chrono::steady_clock::now() > deadline) {
      std::printf("held only %d times before the deadline\n", taken);
      return 11;
    }
    MiradelLockOwner owner{};
    int result = GetLock(dir, name, &owner);
    if (result == 1) {
      AppendLine(log, "enter " + user);
      if (write_back) NW_ReleasModLock();
      // The lock file must still be ours: one deleted under us lets the next host in.
      if (ReadFile(lock).find(machine) == std::string::npos) ++lost;
      AppendLine(log, "leave " + user);
      NW_ReleaseLock();
      ++taken;
    } else if (result != 0) {
      std::printf("unexpected result %d\n", result);
      return 13;
    } else {
      std::this_thread::yield();
    }
  }
  std::printf("done, lost the lock file %d times\n", lost);
  return 0;
}

struct RaceCase {
  const char* name;
  bool data_file;
  const char* mode;
};

class LockRace : public ::testing::TestWithParam<RaceCase> {};

// Eight hosts take and release one model in a loop; the shared log must show one holder at a time.
TEST_P(LockRace, NeverTwoHoldersAtOnce) {
  const RaceCase& c = GetParam();
  const int rounds = Rounds();
  ModelFolder models;
  TempDir local;
  if (c.data_file) WriteFile(models / "pump.dat", "model data");
  const std::string log = local / "holders.log";
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int i = 0; i < kContenders; ++i) {
    children.push_back(StartChild(
        "race_contender", {models.path(), "pump", "user" + std::to_string(i), std::to_string(rounds), log, c.mode}));
    ASSERT_TRUE(children.back()) << "cannot start contender " << i;
  }
  for (auto& child : children) child->WriteLine("go");
  for (int i = 0; i < kContenders; ++i) {
    bool ok = false;
    std::string line = children[i]->ReadLine(15 * 60 * 1000, &ok);
    EXPECT_EQ(line, "done, lost the lock file 0 times") << "contender " << i << (ok ? "" : " said nothing in time");
    EXPECT_EQ(children[i]->Wait(60000), 0) << "contender " << i;
  }

  std::istringstream lines(ReadFile(log));
  std::set<std::string> holding;
  int holds = 0, overlaps = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("enter ", 0) == 0) {
      ++holds;
      if (!holding.empty()) ++overlaps;
      holding.insert(line.substr(6));
    } else {
      ASSERT_EQ(holding.erase(line.substr(6)), 1u) << "a leave without its enter: " << line;
    }
  }
  EXPECT_EQ(overlaps, 0) << "two holders at once, " << overlaps << " times in " << holds << " holds";
  EXPECT_EQ(holds, kContenders * rounds);
  EXPECT_FALSE(Exists(models / "pump.lck")) << "the last holder's release leaves no lock file behind";
}

INSTANTIATE_TEST_SUITE_P(Releases, LockRace,
                         ::testing::Values(RaceCase{"WithDataFile", true, "plain"},
                                           RaceCase{"WithoutDataFile", false, "plain"},
                                           RaceCase{"WriteBackWindow", true, "write-back"}),
                         [](const ::testing::TestParamInfo<RaceCase>& info) { return info.param.name; });

}  // namespace
}  // namespace miradel::test
