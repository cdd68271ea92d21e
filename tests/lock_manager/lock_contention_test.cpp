// Several hosts on one model: whatever the interleaving, at most one of them holds its lock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>

#include "support/host_test.h"
#include "support/child.h"

namespace miradel::test {
namespace {

constexpr int kContenders = 8;
// Starting a process under Wine is slow; the interleavings come from the rounds, not the starts.
#ifdef _WIN32
constexpr int kRounds = 40;
#else
constexpr int kRounds = 50;
#endif

void AppendLine(const std::string& path, const std::string& line) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;  // a missing line shows in the parent's count
  std::fputs((line + "\n").c_str(), f);
  std::fclose(f);
}

// args: directory, model, user, rounds, log. Waits for "go", then takes and releases the lock
// until it held it `rounds` times; prints "done TAKEN NAMED UNNAMED" (the two kinds of refusal).
MIRADEL_CHILD(lock_contender) {
  const std::string dir = args.at(0), name = args.at(1), user = args.at(2), log = args.at(4);
  const int rounds = std::stoi(args.at(3));
  FaultEnv env(&platform::System());
  env.SetUserName(user);
  env.SetComputerName("PC-" + user);
  platform::ScopedEnv scoped(&env);
  SetVersion(kHostVersion);

  std::string go;
  if (!std::getline(std::cin, go) || go != "go") return 10;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);  // a safety net only
  int taken = 0, named = 0, unnamed = 0;
  while (taken < rounds) {
    if (std::chrono::steady_clock::now() > deadline) return 11;
    MiradelLockOwner owner{};
    int result = GetLock(dir, name, &owner);
    if (result == 1) {
      AppendLine(log, "enter " + user);
      AppendLine(log, "leave " + user);
      NW_ReleaseLock();
      ++taken;
    } else if (result == 0) {
      if (owner.user_name[0] == 0) {
        ++unnamed;  // between a release and the next take
      } else {
        ++named;
        // Whoever is named must be one of us.
        if (std::string(owner.user_name, strnlen(owner.user_name, sizeof owner.user_name)).rfind("user", 0) != 0) {
          std::printf("odd holder '%.32s'\n", owner.user_name);
          return 12;
        }
      }
      std::this_thread::yield();
    } else {
      std::printf("unexpected result %d\n", result);
      return 13;
    }
  }
  std::printf("done %d %d %d\n", taken, named, unnamed);
  return 0;
}

// Eight hosts take and release one model in a loop; the shared log shows one holder at a time.
TEST(LockContention, EightProcessesNeverHoldOneModelAtOnce) {
  TempDir dir;
  dir.Write("pump.dat", "model data");
  const std::string log = dir / "holders.log";
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int i = 0; i < kContenders; ++i) {
    children.push_back(StartChild(
        "lock_contender", {dir.path(), "pump", "user" + std::to_string(i), std::to_string(kRounds), log}));
    ASSERT_TRUE(children.back()) << "cannot start contender " << i;
  }
  for (auto& child : children) child->WriteLine("go");

  int taken = 0, named = 0, unnamed = 0;
  for (int i = 0; i < kContenders; ++i) {
    bool ok = false;
    std::string line = children[i]->ReadLine(240000, &ok);
    EXPECT_EQ(children[i]->Wait(60000), 0) << "contender " << i << " said: " << line;
    int t = 0, n = 0, u = 0;
    if (std::sscanf(line.c_str(), "done %d %d %d", &t, &n, &u) != 3) continue;
    EXPECT_EQ(t, kRounds);
    taken += t;
    named += n;
    unnamed += u;
  }

  std::istringstream lines(ReadFile(log));
  std::string enter, leave;
  int holds = 0;
  while (std::getline(lines, enter)) {
    ASSERT_EQ(enter.rfind("enter ", 0), 0u) << "after " << holds << " holds: " << enter;
    ASSERT_TRUE(std::getline(lines, leave));
    ASSERT_EQ(leave, "leave " + enter.substr(6)) << "two holders at once after " << holds << " holds";
    ++holds;
  }
  EXPECT_EQ(holds, taken);
  EXPECT_EQ(holds, kContenders * kRounds);
  EXPECT_FALSE(dir.Exists("pump.lck"));
  std::printf("%d holds, %d refusals naming a holder, %d between holders\n", holds, named, unnamed);
}

}  // namespace
}  // namespace miradel::test
