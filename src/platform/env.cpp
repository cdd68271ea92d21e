#include "platform/env.h"

#include <atomic>

namespace miradel::platform {

namespace {
std::atomic<Env*> g_current{nullptr};

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Iterative matcher with one back-tracking point per star: linear in practice, never exponential.
bool Match(const char* p, const char* n) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*n) {
    if (*p == '?' || (*p && *p != '*' && Fold(*p) == Fold(*n))) {
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
}  // namespace

Env& Current() {
  Env* env = g_current.load(std::memory_order_acquire);
  return env ? *env : System();
}

Env* SetCurrent(Env* env) {
  Env* previous = g_current.exchange(env, std::memory_order_acq_rel);
  return previous ? previous : &System();
}

std::string ToNativeSeparators(std::string path) {
  for (char& c : path)
    if (c == kOtherSep) c = kSep;
  return path;
}

std::string WithSeparator(std::string dir) {
  if (dir.empty() || dir.back() != kSep) dir += kSep;
  return dir;
}

bool PathExists(const std::string& path) {
  FileInfo info;
  return Current().GetFileInfo(path, &info).ok();
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return Match(pattern.c_str(), name.c_str());
}

}  // namespace miradel::platform
