// Multi-process tests: the test binary starts itself as a second process ("child") that runs one
// registered entry, e.g. to hold a file or a lock as another user while the test probes it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostkit/process.h"
#include "support/patience.h"

namespace miradel::test {

using hostkit::ChildProcess;
using ChildMain = int (*)(const std::vector<std::string>& args);

inline std::map<std::string, ChildMain>& ChildRegistry() {
  static std::map<std::string, ChildMain> entries;
  return entries;
}

// Registers an entry under a name; when the binary is started as "--child NAME ARGS...", main()
// runs it instead of the tests and exits with its result.
struct ChildRegistrar {
  ChildRegistrar(const char* name, ChildMain fn) { ChildRegistry()[name] = fn; }
};
#define MIRADEL_CHILD(name)                                                                    \
  static int name##_child_main(const std::vector<std::string>& args);                         \
  static ::miradel::test::ChildRegistrar name##_child_registrar(#name, &name##_child_main); \
  static int name##_child_main(const std::vector<std::string>& args)

// Called by main(): runs the child entry named in argv, if any. Returns true (and the exit code in
// *code) when this process is a child.
inline bool RunChildIfRequested(int argc, char** argv, int* code) {
  if (argc < 3 || std::strcmp(argv[1], "--child") != 0) return false;
  // The parent reads our output line by line through a pipe: nothing may wait in a buffer.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  auto it = ChildRegistry().find(argv[2]);
  if (it == ChildRegistry().end()) {
    std::fprintf(stderr, "no child entry named '%s'\n", argv[2]);
    *code = 2;
    return true;
  }
  *code = it->second(std::vector<std::string>(argv + 3, argv + argc));
  std::fflush(stdout);
  return true;
}

// Starts the test aid miradel-test-aid holding a model's lock as another user, and waits (a minute
// at most) until it says it holds it; null, with a test failure, when it does not.
inline std::unique_ptr<ChildProcess> StartHolder(const std::string& dir, const std::string& model,
                                                 const std::string& user, const std::string& machine) {
  auto holder = ChildProcess::Start(hostkit::SiblingProgram("miradel-test-aid"),
                                    {"lock", dir, model, "--as-user", user, "--as-machine", machine});
  bool ok = holder != nullptr;
  std::string line;
  while (ok && line.rfind("ready", 0) != 0) line = holder->ReadLine(PatienceMs(), &ok);
  if (!ok) ADD_FAILURE() << "the holder of " << model << " did not get ready within a minute";
  return ok ? std::move(holder) : nullptr;
}

// Runs a program beside the test binary (miradel, or the test aid miradel-test-aid) with its input
// closed at once (a lock it takes is let go again): all it printed and "exit N", or why not.
inline std::string Miradel(const std::vector<std::string>& args, const char* program = "miradel") {
  auto child = ChildProcess::Start(hostkit::SiblingProgram(program), args);
  if (!child) return std::string("cannot start ") + program;
  child->CloseInput();
  std::string out;
  bool ok = true;
  for (std::string line = child->ReadLine(PatienceMs(), &ok); ok; line = child->ReadLine(PatienceMs(), &ok))
    out += line + "\n";
  return out + "exit " + std::to_string(child->Wait(PatienceMs()));
}

// Starts this test binary as "--child name args...".
inline std::unique_ptr<ChildProcess> StartChild(const std::string& name, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--child", name};
  all.insert(all.end(), args.begin(), args.end());
  return ChildProcess::Start(hostkit::SelfPath(), all);
}

}  // namespace miradel::test
