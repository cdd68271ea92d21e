// An Env that makes chosen operations fail, so that tests reach every failure path (also as root,
// where permissions deny nothing), and that can pose as another user or machine.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/env.h"

namespace miradel::test {
using namespace ::miradel::platform;

enum class Op { kOpen, kRead, kWrite, kCopy, kDelete, kCreateDir, kRemoveDir, kFind, kEnterDir, kFlush, kReplace, kRename };

class FaultEnv : public EnvWrapper {
 public:
  explicit FaultEnv(Env* target) : EnvWrapper(target) {}

  // The next `times` operations of kind op whose path contains path_part (empty: any path) and,
  // for kOpen, whose access includes `access` (0: any) fail with kind. times < 0: for ever. Reads,
  // writes and flushes go by the path their handle was opened with.
  void Fail(Op op, const std::string& path_part, ErrorKind kind, int times = -1, unsigned access = 0) {
    AddRule(Rule{op, path_part, kind, times, access, 0});
  }
  // The same for any path, after the first `skip` operations of kind op from now on have passed.
  void FailAfter(Op op, int skip, ErrorKind kind, int times = -1) { AddRule(Rule{op, "", kind, times, 0, skip}); }
  void ClearFaults();
  // Files opened for reading at a path that contains path_part read as text (until ClearFaults),
  // as though someone had written it there.
  void Forge(const std::string& path_part, std::string text);
  // Names reported instead of the system's (empty: the system's).
  void SetUserName(std::string name) { Pose(user_, std::move(name)); }
  void SetComputerName(std::string name) { Pose(computer_, std::move(name)); }
  // The running program's path reported instead of the system's (empty: the system's).
  void SetExecutablePath(std::string path) { executable_ = std::move(path); }
  std::string ExecutablePath() override { return executable_.empty() ? EnvWrapper::ExecutablePath() : executable_; }
  // The free space reported for every volume instead of the system's.
  void SetFreeSpace(std::uint64_t bytes) { free_space_ = bytes; }
  Status FreeSpace(const std::string& dir, std::uint64_t* bytes) override {
    if (!free_space_) return EnvWrapper::FreeSpace(dir, bytes);
    *bytes = *free_space_;
    return Status::Ok();
  }
  // How many operations of that kind reached the target or were failed.
  int Count(Op op) const;
  // The status an injected fault of that kind carries (with the system's text for it).
  Status MakeError(ErrorKind kind);

  Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                  FileHandle* handle, bool* existed) override;
  Status Close(FileHandle h) override;
  Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) override;
  Status Write(FileHandle h, const void* buf, std::size_t n) override {
    return Or(Op::kWrite, PathOf(h), [&] { return EnvWrapper::Write(h, buf, n); });
  }
  Status Flush(FileHandle h) override { return Or(Op::kFlush, PathOf(h), [&] { return EnvWrapper::Flush(h); }); }
  // Matched by either path, as ReplaceWithCopy.
  Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    return Or(Op::kCopy, from + "\n" + to, [&] { return EnvWrapper::CopyFile(from, to, overwrite); });
  }
  Status ReplaceWithCopy(const std::string& from, const std::string& to) override {
    return Or(Op::kReplace, from + "\n" + to, [&] { return EnvWrapper::ReplaceWithCopy(from, to); });
  }
  Status DeleteFile(const std::string& path) override {
    return Or(Op::kDelete, path, [&] { return EnvWrapper::DeleteFile(path); });
  }
  // While a fault or a forged text is set, a file is looked at by its name, where they apply.
  bool NamesHeldFile(const std::string& path, FileHandle h) override;
  // While a fault or a forged text is set, through this wrapper's own Close and DeleteFile, where
  // they apply; else the system's own way.
  Status CloseAndDelete(FileHandle h, const std::string& path) override;
  // Matched by either path.
  Status Rename(const std::string& from, const std::string& to) override {
    return Or(Op::kRename, from + "\n" + to, [&] { return EnvWrapper::Rename(from, to); });
  }
  Status CreateDirectory(const std::string& path) override {
    return Or(Op::kCreateDir, path, [&] { return EnvWrapper::CreateDirectory(path); });
  }
  Status RemoveDirectory(const std::string& path) override {
    return Or(Op::kRemoveDir, path, [&] { return EnvWrapper::RemoveDirectory(path); });
  }
  bool CanEnterDirectory(const std::string& path) override {
    return Trip(Op::kEnterDir, path).ok() && EnvWrapper::CanEnterDirectory(path);
  }
  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    return Or(Op::kFind, dir, [&] { return EnvWrapper::FindFiles(dir, pattern, out); });
  }
  Status UserName(std::string* name) override { return Posed(user_, name) ? Status::Ok() : EnvWrapper::UserName(name); }
  Status ComputerName(std::string* name) override {
    return Posed(computer_, name) ? Status::Ok() : EnvWrapper::ComputerName(name);
  }

 private:
  struct Rule { Op op; std::string path_part; ErrorKind kind; int times; unsigned access; int skip; };
  // Counts the operation; the fault it meets, else Ok.
  Status Trip(Op op, const std::string& path, unsigned access = 0);
  template <class Call>
  Status Or(Op op, const std::string& path, Call call) {
    Status s = Trip(op, path);
    return s.ok() ? call() : s;
  }
  void Pose(std::string& field, std::string name) {
    std::lock_guard<std::mutex> g(mu_);
    field = std::move(name);
  }
  bool Posed(const std::string& posed, std::string* name);
  std::string PathOf(FileHandle h);
  void AddRule(Rule rule);
  // True while a fault or a forged text is set.
  bool Faulty();
  // Drops what was noted of handle h.
  void Forget(FileHandle h);

  mutable std::mutex mu_;
  std::vector<Rule> rules_;
  int counts_[static_cast<int>(Op::kRename) + 1] = {};
  std::string user_, computer_, executable_;
  std::optional<std::uint64_t> free_space_;
  std::map<FileHandle, std::string> paths_;
  std::vector<std::pair<std::string, std::string>> forgeries_;  // path part, text
  std::map<FileHandle, std::string> forged_;                    // what a forged handle has left to read
};

}  // namespace miradel::test
