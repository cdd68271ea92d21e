#include "support/fault_env.h"

#include <cerrno>

namespace miradel::test {

Status FaultEnv::MakeError(ErrorKind kind) {
  // In ErrorKind's order: none, not found, sharing violation, access denied, already exists, other.
#ifdef _WIN32
  static const long kCodes[] = {0, 2, 32, 5, 183, 31};  // ERROR_FILE_NOT_FOUND ... ERROR_GEN_FAILURE
#else
  static const long kCodes[] = {0, ENOENT, EAGAIN, EACCES, EEXIST, EIO};  // EAGAIN: a conflicting lock
#endif
  const long code = kCodes[static_cast<int>(kind)];
  return Status::Error(kind, code, target()->ErrorText(code));
}

void FaultEnv::AddRule(Rule rule) {
  std::lock_guard<std::mutex> g(mu_);
  rules_.push_back(std::move(rule));
}

void FaultEnv::ClearFaults() {
  std::lock_guard<std::mutex> g(mu_);
  rules_.clear();
  forgeries_.clear();
}

void FaultEnv::Forge(const std::string& path_part, std::string text) {
  std::lock_guard<std::mutex> g(mu_);
  forgeries_.emplace_back(path_part, std::move(text));
}

Status FaultEnv::OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                          FileHandle* handle, bool* existed) {
  Status s = Trip(Op::kOpen, path, access);
  if (!s.ok()) {
    *handle = kNoFile;
    return s;
  }
  s = EnvWrapper::OpenFile(path, access, share, disp, handle, existed);
  if (s.ok()) {
    std::lock_guard<std::mutex> g(mu_);
    paths_[*handle] = path;
    for (const auto& [part, text] : forgeries_)
      if ((access & kRead) && path.find(part) != std::string::npos) forged_[*handle] = text;
  }
  return s;
}

bool FaultEnv::Faulty() {
  std::lock_guard<std::mutex> g(mu_);
  return !rules_.empty() || !forgeries_.empty();
}

bool FaultEnv::NamesHeldFile(const std::string& path, FileHandle h) {
  return !Faulty() && EnvWrapper::NamesHeldFile(path, h);
}

Status FaultEnv::CloseAndDelete(FileHandle h, const std::string& path) {
  if (Faulty()) return Env::CloseAndDelete(h, path);
  Trip(Op::kDelete, path).IgnoreError();  // counted as the delete it is
  Forget(h);
  return EnvWrapper::CloseAndDelete(h, path);
}

void FaultEnv::Forget(FileHandle h) {
  std::lock_guard<std::mutex> g(mu_);
  paths_.erase(h);
  forged_.erase(h);
}

Status FaultEnv::Close(FileHandle h) {
  Forget(h);
  return EnvWrapper::Close(h);
}

Status FaultEnv::Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) {
  Status s = Trip(Op::kRead, PathOf(h));
  *got = 0;
  if (!s.ok()) return s;
  {
    std::lock_guard<std::mutex> g(mu_);
    auto forged = forged_.find(h);
    if (forged != forged_.end()) {
      *got = forged->second.copy(static_cast<char*>(buf), n);
      forged->second.erase(0, *got);
      return Status::Ok();
    }
  }
  return EnvWrapper::Read(h, buf, n, got);
}

std::string FaultEnv::PathOf(FileHandle h) {
  std::lock_guard<std::mutex> g(mu_);
  auto found = paths_.find(h);
  return found == paths_.end() ? std::string() : found->second;
}

int FaultEnv::Count(Op op) const {
  std::lock_guard<std::mutex> g(mu_);
  return counts_[static_cast<int>(op)];
}

Status FaultEnv::Trip(Op op, const std::string& path, unsigned access) {
  ErrorKind kind = ErrorKind::kNone;
  {
    std::lock_guard<std::mutex> g(mu_);
    ++counts_[static_cast<int>(op)];
    for (Rule& r : rules_) {
      if (r.op != op || r.times == 0 || path.find(r.path_part) == std::string::npos) continue;
      if ((access & r.access) != r.access) continue;
      if (r.skip > 0) {
        --r.skip;
        continue;
      }
      kind = r.kind;
      if (r.times > 0) --r.times;
      break;
    }
  }
  return kind == ErrorKind::kNone ? Status::Ok() : MakeError(kind);
}

bool FaultEnv::Posed(const std::string& posed, std::string* name) {
  std::lock_guard<std::mutex> g(mu_);
  if (posed.empty()) return false;
  *name = posed;
  return true;
}

}  // namespace miradel::test
