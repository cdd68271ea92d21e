// Helpers for the disk tests: portable path spellings and an Env that tests can steer and watch.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/fault_env.h"

namespace miradel::test {

// "a/b" in the platform's separators.
inline std::string N(const std::string& s) { return platform::ToNativeSeparators(s); }

// An absolute path: "/x/y" on POSIX, "C:\x\y" on Windows.
inline std::string Abs(const std::string& s) {
#ifdef _WIN32
  return "C:" + N(s);
#else
  return N(s);
#endif
}

inline bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The system's Env with injected faults, a current directory of the test's choosing, scripted
// directory listings, and a record of directories created and current-directory changes.
// One thread only.
class TestEnv : public platform::FaultEnv {
 public:
  TestEnv() : FaultEnv(&platform::System()) {}

  std::optional<std::string> cwd;  // reported instead of the process's
  bool cwd_fails = false;
  // When not empty, FindFiles and CanEnterDirectory answer from here only.
  std::map<std::string, std::vector<platform::DirEntry>> tree;
  std::vector<std::string> created;
  int cwd_changes = 0;

  platform::Status GetCurrentDirectory(std::string* dir) override {
    if (cwd_fails) return MakeError(platform::ErrorKind::kOther);
    if (!cwd) return FaultEnv::GetCurrentDirectory(dir);
    *dir = *cwd;
    return platform::Status::Ok();
  }
  platform::Status SetCurrentDirectory(const std::string& dir) override {
    ++cwd_changes;
    return FaultEnv::SetCurrentDirectory(dir);
  }
  platform::Status CreateDirectory(const std::string& path) override {
    created.push_back(path);
    return FaultEnv::CreateDirectory(path);
  }
  bool CanEnterDirectory(const std::string& path) override {
    return tree.empty() ? FaultEnv::CanEnterDirectory(path) : tree.count(path) != 0;
  }
  platform::Status FindFiles(const std::string& dir, const std::string& pattern,
                             std::vector<platform::DirEntry>* out) override {
    if (tree.empty()) return FaultEnv::FindFiles(dir, pattern, out);
    out->clear();
    auto it = tree.find(dir);
    if (it != tree.end())
      for (const auto& e : it->second)
        if (platform::WildcardMatch(pattern, e.name)) out->push_back(e);
    return out->empty() ? MakeError(platform::ErrorKind::kNotFound) : platform::Status::Ok();
  }
};

}  // namespace miradel::test
