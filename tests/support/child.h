// Multi-process tests: the test binary starts itself as a second process ("child") that runs one
// registered entry, e.g. to hold a file or a lock as another user while the test probes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostkit/process.h"

namespace miradel::test {

using hostkit::ChildProcess;
using ChildMain = int (*)(const std::vector<std::string>& args);

// Registers an entry under a name; when the binary is started as "--child NAME ARGS...", main()
// runs it instead of the tests and exits with its result.
struct ChildRegistrar {
  ChildRegistrar(const char* name, ChildMain fn);
};
#define MIRADEL_CHILD(name)                                                                    \
  static int name##_child_main(const std::vector<std::string>& args);                         \
  static ::miradel::test::ChildRegistrar name##_child_registrar(#name, &name##_child_main); \
  static int name##_child_main(const std::vector<std::string>& args)

// Called by main(): runs the child entry named in argv, if any. Returns true (and the exit code in
// *code) when this process is a child.
bool RunChildIfRequested(int argc, char** argv, int* code);

// Starts the test aid miradel-test-aid holding a model's lock as another user, and waits (a minute
// at most) until it says it holds it; null, with a test failure, when it does not.
std::unique_ptr<ChildProcess> StartHolder(const std::string& dir, const std::string& model, const std::string& user,
                                          const std::string& machine);

// Runs a program beside the test binary (miradel, or the test aid miradel-test-aid) with its input
// closed at once (a lock it takes is let go again): all it printed and "exit N", or why not.
std::string Miradel(const std::vector<std::string>& args, const char* program = "miradel");

// Starts this test binary as "--child name args...".
std::unique_ptr<ChildProcess> StartChild(const std::string& name, const std::vector<std::string>& args);

}  // namespace miradel::test
