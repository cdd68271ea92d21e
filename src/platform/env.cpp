#include "platform/env.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "base/text.h"

namespace miradel::platform {

namespace {
std::atomic<Env*> g_current{nullptr};
std::atomic<void*> g_module{nullptr};

using text::FoldCase;

// Iterative matcher with one back-tracking point per star: linear in practice, never exponential.
bool Match(const char* p, const char* n) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*n) {
    if (*p == '?' || (*p && *p != '*' && FoldCase(*p) == FoldCase(*n))) {
      ++p;
      ++n;
    } else if (*p == '*') {
      star = p++;
      resume = n;
    } else if (star) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == 0;
}
// Adds what was being done, and where, to every failure of the adapter beneath.
class ContextEnv final : public EnvWrapper {
 public:
  explicit ContextEnv(Env* adapter) : EnvWrapper(adapter) {}

  Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp, FileHandle* handle,
                  bool* existed) override {
    Status s = target()->OpenFile(path, access, share, disp, handle, existed);
    if (!s.ok()) return s.With("open", path);
    std::lock_guard<std::mutex> g(m_mu);
    m_paths[*handle] = path;
    return s;
  }
  Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) override {
    return Named("read", h, target()->Read(h, buf, n, got));
  }
  Status Write(FileHandle h, const void* buf, std::size_t n) override {
    return Named("write", h, target()->Write(h, buf, n));
  }
  Status Seek(FileHandle h, std::uint64_t offset) override { return Named("seek", h, target()->Seek(h, offset)); }
  Status Truncate(FileHandle h) override { return Named("truncate", h, target()->Truncate(h)); }
  Status Flush(FileHandle h) override { return Named("flush", h, target()->Flush(h)); }
  Status Close(FileHandle h) override {
    std::string path;
    {
      std::lock_guard<std::mutex> g(m_mu);
      auto it = m_paths.find(h);
      if (it != m_paths.end()) {
        path = std::move(it->second);
        m_paths.erase(it);
      }
    }
    Status s = target()->Close(h);
    return s.ok() ? s : s.With("close", path);
  }
  Status CloseAndDelete(FileHandle h, const std::string& path) override {
    {
      std::lock_guard<std::mutex> g(m_mu);
      m_paths.erase(h);
    }
    Status s = target()->CloseAndDelete(h, path);
    return s.ok() ? s : s.With("delete", path);
  }
  Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    Status s = target()->CopyFile(from, to, overwrite);
    return s.ok() ? s : s.With("copy", from + " -> " + to);
  }
  Status ReplaceWithCopy(const std::string& from, const std::string& to) override {
    Status s = target()->ReplaceWithCopy(from, to);
    return s.ok() ? s : s.With("replace", from + " -> " + to);
  }
  Status ReplaceWithCopies(const std::vector<std::pair<std::string, std::string>>& pairs,
                           const std::function<bool()>& go_on, std::size_t* done) override {
    Status s = target()->ReplaceWithCopies(pairs, go_on, done);
    if (s.ok() || *done >= pairs.size()) return s;
    return s.With("replace", pairs[*done].first + " -> " + pairs[*done].second);
  }
  Status DeleteFile(const std::string& path) override { return Named("delete", path, target()->DeleteFile(path)); }
  Status Rename(const std::string& from, const std::string& to) override {
    Status s = target()->Rename(from, to);
    return s.ok() ? s : s.With("rename", from + " -> " + to);
  }
  Status CreateDirectory(const std::string& path) override {
    return Named("create directory", path, target()->CreateDirectory(path));
  }
  Status RemoveDirectory(const std::string& path) override {
    return Named("remove directory", path, target()->RemoveDirectory(path));
  }
  Status GetFileInfo(const std::string& path, FileInfo* info) override {
    return Named("status", path, target()->GetFileInfo(path, info));
  }
  Status SetReadOnly(const std::string& path, bool ro) override {
    return Named("set attributes", path, target()->SetReadOnly(path, ro));
  }
  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    return Named("list", path::WithSeparator(dir) + pattern, target()->FindFiles(dir, pattern, out));
  }
  Status SetCurrentDirectory(const std::string& dir) override {
    return Named("change directory", dir, target()->SetCurrentDirectory(dir));
  }

 private:
  static Status Named(const char* op, const std::string& path, Status s) { return s.ok() ? s : s.With(op, path); }
  Status Named(const char* op, FileHandle h, Status s) {
    if (s.ok()) return s;
    std::lock_guard<std::mutex> g(m_mu);
    auto it = m_paths.find(h);
    return s.With(op, it == m_paths.end() ? std::string() : it->second);
  }

  std::mutex m_mu;
  std::unordered_map<FileHandle, std::string> m_paths;
};

}  // namespace

Env* WithContext(Env* adapter) { return new ContextEnv(adapter); }

Env& Current() {
  Env* env = g_current.load(std::memory_order_acquire);
  return env ? *env : System();
}

Env* SetCurrent(Env* env) {
  Env* previous = g_current.exchange(env, std::memory_order_acq_rel);
  return previous ? previous : &System();
}

void SetLibraryModule(void* module) { g_module.store(module, std::memory_order_release); }
void* LibraryModule() { return g_module.load(std::memory_order_acquire); }

bool PathExists(const std::string& path) {
  FileInfo info;
  return Current().GetFileInfo(path, &info).ok();
}

std::string ReplacementTempName(const std::string& file_name) {
  // "~" + "~~x" would start with "~~": a name that starts with "~" gets a second character unlike its own.
  if (file_name.empty() || file_name[0] != '~') return "~" + file_name + ".mrdtmp";
  const char second = file_name.size() > 1 && file_name[1] == '-' ? '+' : '-';
  return std::string("~") + second + file_name + ".mrdtmp";
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return Match(pattern.c_str(), name.c_str());
}

}  // namespace miradel::platform
