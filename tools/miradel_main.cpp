// miradel: the command-line program for people who work with shared models.
//   miradel who DIR MODEL    who holds the model's lock, and whether a running holder has it open
//   miradel lock DIR MODEL   takes the model's lock and holds it until "stop", end of input or Ctrl-C
//   miradel recover          lists the working copies holding changes never written back; writes them back
//   miradel demo             plays a host through open / work / write back / close on sample models
//   miradel pack WORKDIR ARCHIVE [--types input,result,reports,unit,libraries]
//                            packs the files of those types (default: all) into a model archive
//   miradel unpack ARCHIVE [DIR]
//                            unpacks an archive (default: into a folder named after it beside it) and
//                            names the model found there
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "archive_cli.h"
#include "control/version.h"
#include "demo.h"
#include "recover.h"
#include "lock/lock_path.h"
#include "lock/lock_slot.h"
#include "lock/xml_processor.h"
#include "doctor.h"
#include "lock_board.h"
#include "terminal.h"
#include "miradel.h"
#include "platform/env.h"

namespace {

using namespace miradel;

#ifdef MIRADEL_TEST_AID
// Poses as another user or machine (--as-user, --as-machine): a colleague's lock, for tests. Only
// the test aid has it; the program itself never writes a lock in another's name.
class NamedEnv : public platform::EnvWrapper {
 public:
  NamedEnv(platform::Env* target, std::string user, std::string machine)
      : EnvWrapper(target), m_user(std::move(user)), m_machine(std::move(machine)) {}
  platform::Status UserName(std::string* name) override {
    if (m_user.empty()) return target()->UserName(name);
    *name = m_user;
    return platform::Status::Ok();
  }
  platform::Status ComputerName(std::string* name) override {
    if (m_machine.empty()) return target()->ComputerName(name);
    *name = m_machine;
    return platform::Status::Ok();
  }

 private:
  std::string m_user, m_machine;
};
#endif

// The lock file of a model, or a line on standard error and an empty text when none can be named.
std::string LockPathOf(const std::string& dir, const std::string& model) {
  std::string path = LockPathFor(Path::FromText(dir), model);
  if (path.empty()) std::cerr << "miradel: no lock can be placed for model '" << model << "' in '" << dir << "'\n";
  return path;
}

int Who(const std::string& dir, const std::string& model) {
  std::string path = LockPathOf(dir, model);
  if (path.empty()) return 2;
  tools::LockState state;
  if (!tools::InspectLock(platform::Current(), path, &state)) {
    std::cout << model << " is not locked (no lock file " << path << ")\n";
    return 1;
  }
  std::cout << "Lock file: " << path << "\n"
            << "Machine:   " << state.machine << "\n"
            << "User:      " << state.user << "\n"
            << "Kind:      " << (state.readable ? (state.permanent ? "permanent" : "temporary") : "unreadable lock file")
            << "\n"
            << "Since:     " << tools::AgeText(state.age_seconds) << " ago\n"
            << "State:     ";
  switch (state.held) {
    case tools::LockState::kHeldOpen: std::cout << "held open now by a running holder\n"; break;
    case tools::LockState::kKeptOut: std::cout << "not open; the permanent lock keeps other users out\n"; break;
    case tools::LockState::kStale: std::cout << "stale: nobody holds it open; the next user takes it over\n"; break;
    default: std::cout << "cannot tell (" << state.why << ")\n";
  }
  return 0;
}

int WhoTree(const std::string& root, bool json) {
  std::vector<tools::LockState> locks;
  std::string error;
  const std::string top = Path::FromText(root).AsDirectory().str();
  if (!tools::LockBoard(platform::Current(), top, &locks, &error)) {
    std::cerr << "miradel: cannot list " << root << ": " << error << "\n";
    return 1;
  }
  if (json) {
    std::cout << tools::BoardJson(top, locks) << "\n";
  } else {
    for (const tools::LockState& lock : locks) std::cout << tools::BoardLine(lock) << "\n";
    std::cout << locks.size() << (locks.size() == 1 ? " lock" : " locks") << " under " << top << "\n";
  }
  return 0;
}

std::atomic<bool> g_interrupted{false};
extern "C" void OnInterrupt(int) { g_interrupted = true; }

int Lock(const std::string& dir, const std::string& model, int version, bool permanent) {
  const LockTexts texts = BuildLockTexts(platform::Current(), DottedVersion(VersionDigits(version)));
  std::string path = LockPathOf(dir, model);
  if (path.empty()) return 2;
  LockSlot slot{};
  LockOwnerInfo owner{};
  int result = slot.Acquire(path, permanent, &owner, texts);
  if (result != 1) {
    std::cout << "refused: " << tools::LockRefusal(result, model, owner) << "\n";
    // 2 is a usage error, as for every command.
    return result == 0 ? 1 : (result == 2 || result == 3) ? 3 : 4;
  }
  std::cout << "locked " << path << " (" << (slot.bPermanent ? "permanent" : "temporary") << ")" << std::endl;
  std::cout << "ready; type stop (or end the input) to release" << std::endl;

  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  std::mutex mu;
  std::condition_variable cv;
  bool stop = false;
  std::thread reader([&] {
    std::string line;
    while (std::getline(std::cin, line) && line != "stop" && line != "quit") {
    }
    std::lock_guard<std::mutex> g(mu);
    stop = true;
    cv.notify_all();
  });
  {
    std::unique_lock<std::mutex> g(mu);
    while (!stop && !g_interrupted) cv.wait_for(g, std::chrono::milliseconds(100));
  }
  slot.Release();
  std::cout << "released" << std::endl;
  if (stop) {
    reader.join();
    return 0;
  }
  // Interrupted while the reader still waits for input: leave without waiting for it.
  std::fflush(stdout);
  std::_Exit(0);
}

// Asks at once, then after 1 s, each pause half as long again up to 30 s: never more than once a
// second of the share, and seldom once the wait is long. A lock taken by someone else between
// seeing it free and taking it means waiting on.
int Wait(const std::string& dir, const std::string& model, bool take, double timeout, int version) {
  const std::string path = LockPathOf(dir, model);
  if (path.empty()) return 2;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end =
      timeout < 0 || timeout > 1e9 ? Clock::time_point::max()
                                   : Clock::now() + std::chrono::milliseconds(static_cast<long long>(timeout * 1000));
  std::chrono::milliseconds pause(1000);
  std::string shown;
  for (;;) {
    tools::LockState state;
    const bool exists = tools::InspectLock(platform::Current(), path, &state);
    if (tools::IsFree(exists, state)) {
      if (!take) {
        std::cout << model << " is free" << std::endl;
        return 0;
      }
      const int taken = Lock(dir, model, version, false);
      if (taken != 1) return taken;
      continue;
    }
    const std::string holder = state.readable ? state.user + " on " + state.machine : "an unreadable lock file";
    if (Clock::now() >= end) {
      std::cout << "still held: " << model << " is locked by " << holder << " (" << tools::StateText(state) << ")\n";
      return 1;
    }
    if (tools::OnTerminal() && holder != shown)
      std::cout << "waiting: " << model << " is locked by " << holder << ", since " << tools::AgeText(state.age_seconds)
                << std::endl;
    shown = holder;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    std::this_thread::sleep_for(std::min(pause, left));
    pause = std::min<std::chrono::milliseconds>(pause * 3 / 2, std::chrono::seconds(30));
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"miradel: shared models for the host program"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("miradel ") + MiradelVersion());
  std::string dir, model, as_user, as_machine;
  int version = 10000104;
  bool permanent = false;

  bool tree = false, json = false, take = false;
  double timeout = -1;
  CLI::App* who = app.add_subcommand("who", "Show who holds a model's lock and whether it is held open now");
  who->add_option("DIR", dir, "the model directory")->required();
  CLI::Option* model_option = who->add_option("MODEL", model, "the model's name, without extension");
  CLI::Option* tree_flag = who->add_flag("-r,--recursive", tree, "every model lock under DIR and its subfolders");
  who->add_flag("--json", json, "with -r: the same as one JSON object")->needs(tree_flag);
  model_option->excludes(tree_flag);

  CLI::App* doctor = app.add_subcommand("doctor", "Check that a folder has what shared models need");
  doctor->add_option("DIR", dir, "the folder (a scratch folder is made in it and removed)")->required();
  doctor->add_flag("--json", json, "the report as one JSON object");

  CLI::App* wait = app.add_subcommand("wait", "Wait until no one holds a model's lock, and take it if asked");
  wait->add_option("DIR", dir, "the model directory")->required();
  wait->add_option("MODEL", model, "the model's name, without extension")->required();
  wait->add_flag("--take", take, "then take the lock and hold it, as miradel lock does");
  wait->add_option("--timeout", timeout, "give up after this many seconds (status 1)")->check(CLI::NonNegativeNumber);
  wait->add_option("--host-version", version, "the host version written into the lock file")->capture_default_str();

  CLI::App* lock = app.add_subcommand("lock", "Take a model's lock and hold it until told to stop");
  lock->add_option("DIR", dir, "the model directory")->required();
  lock->add_option("MODEL", model, "the model's name, without extension")->required();
  lock->add_flag("--permanent", permanent, "make the lock permanent: it stays after release");
  lock->add_option("--host-version", version, "the host version written into the lock file")
      ->capture_default_str();
#ifdef MIRADEL_TEST_AID
  lock->add_option("--as-user", as_user, "take the lock under this user name");
  lock->add_option("--as-machine", as_machine, "take the lock under this machine name");
#endif

  std::string keep_dir;
  CLI::App* demo =
      app.add_subcommand("demo", "Play a host through opening, changing, writing back and closing sample models");
  demo->add_option("--keep", keep_dir, "make the sample models in this new or empty folder and leave them there");

  tools::RecoverOptions recover_options;
  CLI::App* recover = app.add_subcommand(
      "recover", "List the working copies that hold changes never written back, and write them back");
  CLI::Option* write = recover->add_flag("--write", recover_options.write,
                                         "write them back into each model directory, under the model's lock");
  recover->add_option("--to", recover_options.to, "copy them into this folder instead, leaving the records")
      ->excludes(write);
  recover->add_option("--temp", recover_options.temp, "look for working copies here, not in the temporary path");

  std::string workdir, archive_path, types, unpack_dir;
  CLI::App* pack = app.add_subcommand("pack", "Pack a working copy's files of the chosen types into a model archive");
  pack->add_option("WORKDIR", workdir, "the folder whose files are packed (not its subfolders)")->required();
  pack->add_option("ARCHIVE", archive_path, "the archive to write (replaced when it exists)")->required();
  pack->add_option("--types", types, "comma-separated: input,result,reports,unit,libraries (default: all)");
  CLI::App* unpack = app.add_subcommand("unpack", "Unpack a model archive and name the model in it");
  unpack->add_option("ARCHIVE", archive_path, "the archive")->required();
  unpack->add_option("DIR", unpack_dir, "where to unpack (default: a folder named after the archive beside it)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // A usage error, as command-line tools report one: one line, a hint, status 2.
    const bool unknown = app.get_subcommands().empty() && argc > 1 && argv[1][0] != '-';
    std::cerr << "miradel: " << (unknown ? "unknown command '" + std::string(argv[1]) + "'" : std::string(e.what()))
              << "\nTry 'miradel --help' for more information.\n";
    return 2;
  }

#ifdef MIRADEL_TEST_AID
  NamedEnv env(&miradel::platform::System(), as_user, as_machine);
  miradel::platform::ScopedEnv scoped(&env);
#endif

  if (*who) {
    if (tree) return WhoTree(dir, json);
    if (model.empty()) {
      std::cerr << "miradel: MODEL is required (or -r for every lock under DIR)\nTry 'miradel --help' for more information.\n";
      return 2;
    }
    return Who(dir, model);
  }
  if (*wait) return Wait(dir, model, take, timeout, version);
  if (*doctor) return tools::RunDoctor(dir, json);
  if (*demo) return miradel::tools::RunDemo(keep_dir);
  if (*pack) return miradel::tools::RunPack(Path::FromText(workdir), Path::FromText(archive_path), types);
  if (*unpack) return miradel::tools::RunUnpack(Path::FromText(archive_path), Path::FromText(unpack_dir));
  if (*recover) {
    recover_options.host_version = version;
    return miradel::tools::RunRecover(recover_options);
  }
  return Lock(dir, model, version, permanent);
}
