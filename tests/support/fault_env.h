// An Env that makes chosen operations fail, so that tests reach every failure path (also as root,
// where permissions deny nothing), and that can pose as another user or machine.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/env.h"

namespace miradel::test {
using namespace ::miradel::platform;

enum class Op { kOpen, kRead, kWrite, kSeek, kCopy, kDelete, kCreateDir, kRemoveDir, kInfo, kFind, kEnterDir, kFlush };

class FaultEnv : public EnvWrapper {
 public:
  explicit FaultEnv(Env* target) : EnvWrapper(target) {}

  // The next `times` operations of kind op whose path contains path_part (empty: any path) and,
  // for kOpen, whose access includes `access` (0: any) fail with kind. times < 0: for ever.
  void Fail(Op op, const std::string& path_part, ErrorKind kind, int times = -1, unsigned access = 0);
  void ClearFaults();
  // Names reported instead of the system's (empty: the system's).
  void SetUserName(std::string name);
  void SetComputerName(std::string name);
  // How many operations of that kind reached the target or were failed.
  int Count(Op op) const;

  Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                  FileHandle* handle, bool* existed) override;
  Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) override;
  Status Write(FileHandle h, const void* buf, std::size_t n) override;
  Status Seek(FileHandle h, std::uint64_t offset) override;
  Status Flush(FileHandle h) override;
  Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override;
  Status DeleteFile(const std::string& path) override;
  Status CreateDirectory(const std::string& path) override;
  Status RemoveDirectory(const std::string& path) override;
  Status GetFileInfo(const std::string& path, FileInfo* info) override;
  bool CanEnterDirectory(const std::string& path) override;
  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override;
  Status UserName(std::string* name) override;
  Status ComputerName(std::string* name) override;

  // The status an injected fault of that kind carries (with the system's text for it).
  Status MakeError(ErrorKind kind);

 private:
  struct Rule {
    Op op;
    std::string path_part;
    ErrorKind kind;
    int times;
    unsigned access;
  };
  bool Trip(Op op, const std::string& path, unsigned access, Status* out);

  mutable std::mutex mu_;
  std::vector<Rule> rules_;
  int counts_[12] = {};
  std::string user_, computer_;
};


}  // namespace miradel::test
