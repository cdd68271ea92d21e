#include "support/fault_env.h"

namespace miradel::test {
using namespace ::miradel::platform;

namespace {
long NativeCode(ErrorKind kind) {
#ifdef _WIN32
  switch (kind) {
    case ErrorKind::kNotFound: return 2;          // ERROR_FILE_NOT_FOUND
    case ErrorKind::kSharingViolation: return 32;  // ERROR_SHARING_VIOLATION
    case ErrorKind::kAccessDenied: return 5;       // ERROR_ACCESS_DENIED
    case ErrorKind::kAlreadyExists: return 183;    // ERROR_ALREADY_EXISTS
    default: return 31;                            // ERROR_GEN_FAILURE
  }
#else
  switch (kind) {
    case ErrorKind::kNotFound: return 2;           // ENOENT
    case ErrorKind::kSharingViolation: return 11;  // EAGAIN: a conflicting lock
    case ErrorKind::kAccessDenied: return 13;      // EACCES
    case ErrorKind::kAlreadyExists: return 17;     // EEXIST
    default: return 5;                             // EIO
  }
#endif
}
}  // namespace

Status FaultEnv::MakeError(ErrorKind kind) {
  long code = NativeCode(kind);
  return Status::Error(kind, code, target()->ErrorText(code));
}

void FaultEnv::Fail(Op op, const std::string& path_part, ErrorKind kind, int times, unsigned access) {
  std::lock_guard<std::mutex> g(mu_);
  rules_.push_back(Rule{op, path_part, kind, times, access});
}

void FaultEnv::ClearFaults() {
  std::lock_guard<std::mutex> g(mu_);
  rules_.clear();
}

void FaultEnv::SetUserName(std::string name) {
  std::lock_guard<std::mutex> g(mu_);
  user_ = std::move(name);
}

void FaultEnv::SetComputerName(std::string name) {
  std::lock_guard<std::mutex> g(mu_);
  computer_ = std::move(name);
}

int FaultEnv::Count(Op op) const {
  std::lock_guard<std::mutex> g(mu_);
  return counts_[static_cast<int>(op)];
}

bool FaultEnv::Trip(Op op, const std::string& path, unsigned access, Status* out) {
  ErrorKind kind = ErrorKind::kNone;
  {
    std::lock_guard<std::mutex> g(mu_);
    ++counts_[static_cast<int>(op)];
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
      if (it->op != op || it->times == 0) continue;
      if (!it->path_part.empty() && path.find(it->path_part) == std::string::npos) continue;
      if (it->access != 0 && (access & it->access) != it->access) continue;
      kind = it->kind;
      if (it->times > 0) --it->times;
      break;
    }
  }
  if (kind == ErrorKind::kNone) return false;
  *out = MakeError(kind);
  return true;
}

Status FaultEnv::OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                          FileHandle* handle, bool* existed) {
  Status s;
  if (Trip(Op::kOpen, path, access, &s)) {
    *handle = kNoFile;
    return s;
  }
  return EnvWrapper::OpenFile(path, access, share, disp, handle, existed);
}

Status FaultEnv::Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) {
  Status s;
  if (Trip(Op::kRead, "", 0, &s)) {
    *got = 0;
    return s;
  }
  return EnvWrapper::Read(h, buf, n, got);
}

Status FaultEnv::Write(FileHandle h, const void* buf, std::size_t n) {
  Status s;
  if (Trip(Op::kWrite, "", 0, &s)) return s;
  return EnvWrapper::Write(h, buf, n);
}

Status FaultEnv::Seek(FileHandle h, std::uint64_t offset) {
  Status s;
  if (Trip(Op::kSeek, "", 0, &s)) return s;
  return EnvWrapper::Seek(h, offset);
}

Status FaultEnv::Flush(FileHandle h) {
  Status s;
  if (Trip(Op::kFlush, "", 0, &s)) return s;
  return target()->Flush(h);
}

Status FaultEnv::CopyFile(const std::string& from, const std::string& to, bool overwrite) {
  Status s;
  if (Trip(Op::kCopy, from + "\n" + to, 0, &s)) return s;
  return EnvWrapper::CopyFile(from, to, overwrite);
}

Status FaultEnv::DeleteFile(const std::string& path) {
  Status s;
  if (Trip(Op::kDelete, path, 0, &s)) return s;
  return EnvWrapper::DeleteFile(path);
}

Status FaultEnv::CreateDirectory(const std::string& path) {
  Status s;
  if (Trip(Op::kCreateDir, path, 0, &s)) return s;
  return EnvWrapper::CreateDirectory(path);
}

Status FaultEnv::RemoveDirectory(const std::string& path) {
  Status s;
  if (Trip(Op::kRemoveDir, path, 0, &s)) return s;
  return EnvWrapper::RemoveDirectory(path);
}

Status FaultEnv::GetFileInfo(const std::string& path, FileInfo* info) {
  Status s;
  if (Trip(Op::kInfo, path, 0, &s)) return s;
  return EnvWrapper::GetFileInfo(path, info);
}

bool FaultEnv::CanEnterDirectory(const std::string& path) {
  Status s;
  if (Trip(Op::kEnterDir, path, 0, &s)) return false;
  return EnvWrapper::CanEnterDirectory(path);
}

Status FaultEnv::FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) {
  Status s;
  if (Trip(Op::kFind, dir, 0, &s)) return s;
  return EnvWrapper::FindFiles(dir, pattern, out);
}

Status FaultEnv::UserName(std::string* name) {
  {
    std::lock_guard<std::mutex> g(mu_);
    if (!user_.empty()) {
      *name = user_;
      return Status::Ok();
    }
  }
  return EnvWrapper::UserName(name);
}

Status FaultEnv::ComputerName(std::string* name) {
  {
    std::lock_guard<std::mutex> g(mu_);
    if (!computer_.empty()) {
      *name = computer_;
      return Status::Ok();
    }
  }
  return EnvWrapper::ComputerName(name);
}

}  // namespace miradel::test
