#include "support/child.h"
#include "support/patience.h"

#include <cstdio>
#include <cstring>
#include <map>

#include <gtest/gtest.h>

namespace miradel::test {

namespace {
std::map<std::string, ChildMain>& Registry() {
  static std::map<std::string, ChildMain> entries;
  return entries;
}
}  // namespace

ChildRegistrar::ChildRegistrar(const char* name, ChildMain fn) { Registry()[name] = fn; }

bool RunChildIfRequested(int argc, char** argv, int* code) {
  if (argc < 3 || std::strcmp(argv[1], "--child") != 0) return false;
  // The parent reads our output line by line through a pipe: nothing may wait in a buffer.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  auto it = Registry().find(argv[2]);
  if (it == Registry().end()) {
    std::fprintf(stderr, "no child entry named '%s'\n", argv[2]);
    *code = 2;
    return true;
  }
  std::vector<std::string> args(argv + 3, argv + argc);
  *code = it->second(args);
  std::fflush(stdout);
  return true;
}

std::string Miradel(const std::vector<std::string>& args, const char* program) {
  auto child = ChildProcess::Start(hostkit::SiblingProgram(program), args);
  if (!child) return std::string("cannot start ") + program;
  child->CloseInput();
  std::string out;
  bool ok = true;
  for (std::string line = child->ReadLine(PatienceMs(), &ok); ok; line = child->ReadLine(PatienceMs(), &ok))
    out += line + "\n";
  return out + "exit " + std::to_string(child->Wait(PatienceMs()));
}

std::unique_ptr<ChildProcess> StartHolder(const std::string& dir, const std::string& model, const std::string& user,
                                          const std::string& machine) {
  auto holder = ChildProcess::Start(hostkit::SiblingProgram("miradel-test-aid"),
                                    {"lock", dir, model, "--as-user", user, "--as-machine", machine});
  bool ok = holder != nullptr;
  std::string line;
  while (ok && line.rfind("ready", 0) != 0) line = holder->ReadLine(PatienceMs(), &ok);
  if (!ok) {
    ADD_FAILURE() << "the holder of " << model << " did not get ready within a minute";
    return nullptr;
  }
  return holder;
}

std::unique_ptr<ChildProcess> StartChild(const std::string& name, const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--child", name};
  all.insert(all.end(), args.begin(), args.end());
  return ChildProcess::Start(hostkit::SelfPath(), all);
}

}  // namespace miradel::test
