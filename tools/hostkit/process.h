// A second process with its standard input and output connected to ours, for the demo and the
// tests: they start the miradel program, or themselves, as another user of the same models.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace miradel::hostkit {

class ChildProcess {
 public:
  // Starts program with the given arguments (no shell is involved); null when it cannot start.
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

// Path of the running program, and of a program built beside it ("miradel" gives miradel.exe on
// Windows).
std::string SelfPath();
std::string SiblingProgram(const std::string& name);

}  // namespace miradel::hostkit
