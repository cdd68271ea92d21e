// Multi-process tests: the test binary starts itself as a second process ("child") that runs one
// registered entry, e.g. to hold a file or a lock as another user while the test probes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace miradel::test {

using ChildMain = int (*)(const std::vector<std::string>& args);

// Registers an entry under a name; when the binary is started as "--child NAME ARGS...", main()
// runs it instead of the tests and exits with its result.
struct ChildRegistrar {
  ChildRegistrar(const char* name, ChildMain fn);
};
#define MIRADEL_CHILD(name)                                                         \
  static int name##_child_main(const std::vector<std::string>& args);              \
  static ::miradel::test::ChildRegistrar name##_child_registrar(#name, &name##_child_main); \
  static int name##_child_main(const std::vector<std::string>& args)

// Called by main(): runs the child entry named in argv, if any. Returns true (and the exit code in
// *code) when this process is a child.
bool RunChildIfRequested(int argc, char** argv, int* code);

// A running child process with its standard input and output connected to the test.
class ChildProcess {
 public:
  // Starts this test binary as "--child name args...".
  static std::unique_ptr<ChildProcess> StartSelf(const std::string& name, const std::vector<std::string>& args);
  // Starts any program with the given arguments.
  static std::unique_ptr<ChildProcess> Start(const std::string& program, const std::vector<std::string>& args);
  virtual ~ChildProcess() = default;
  // One line of the child's standard output without its line end; empty with *ok false on end of
  // output or when timeout_ms passed.
  virtual std::string ReadLine(int timeout_ms, bool* ok = nullptr) = 0;
  virtual void WriteLine(const std::string& line) = 0;
  // Closes the child's standard input (children wait on it to know when to stop).
  virtual void CloseInput() = 0;
  // Waits for the end of the child and returns its exit code (-1 if it did not end in timeout_ms;
  // it is then killed).
  virtual int Wait(int timeout_ms = 60000) = 0;
  virtual void Kill() = 0;
};

// Path of the running test binary, and of a program built beside it ("miradel" gives miradel.exe
// on Windows).
std::string SelfPath();
std::string SiblingProgram(const std::string& name);

}  // namespace miradel::test
