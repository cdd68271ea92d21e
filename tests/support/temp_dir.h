// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

#include "base/path.h"
#include "platform/env.h"

namespace miradel::test {

inline bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(path), ec);
}
// The whole file; "" for one that cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
// false, with a test failure, when it could not be written.
inline bool WriteFile(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  f.close();
  if (!f) ADD_FAILURE() << "cannot write " << path;
  return static_cast<bool>(f);
}
// Dates the file's last write `hours` back, in whole seconds: a copy stamped "now" cannot pass.
inline void Age(const std::string& path, int hours) {
  namespace fs = std::filesystem;
  fs::last_write_time(fs::path(path), std::chrono::time_point_cast<std::chrono::seconds>(
                                          fs::file_time_type::clock::now() - std::chrono::hours(hours)));
}

class TempDir {
 public:
  TempDir() : TempDir(std::string()) {}
  // Under base (ending in a separator; empty: the system's temporary path).
  explicit TempDir(const std::string& under) {
    static std::atomic<unsigned> counter{0};
    const std::string base = under.empty() ? platform::System().TempPath() : under;
    std::random_device rd;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::string candidate = base + "miradel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++);
      std::error_code ec;
      if (!std::filesystem::create_directory(candidate, ec)) continue;
      // private: the system's is every user's
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, ec);
      path_ = candidate + platform::kSep;
    }
    if (path_.empty()) ADD_FAILURE() << "cannot make a temporary directory under " << base;
  }
  ~TempDir() {
    namespace fs = std::filesystem;
    if (path_.empty()) return;
    const fs::path root(path_.substr(0, path_.size() - 1));
    // Read-only files and directories would stop the removal (on Windows even of files): give the
    // owner everything back first.
    std::error_code ec, ignored;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
      if (!it->is_symlink(ignored))
        fs::permissions(it->path(), it->is_directory(ignored) ? fs::perms::owner_all : fs::perms::owner_write,
                        fs::perm_options::add, ignored);
    }
    fs::remove_all(root, ec);
    if (ec) ADD_FAILURE() << "cannot remove " << root.string() << ": " << ec.message();
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The directory, ending in the platform's separator.
  const std::string& path() const { return path_; }
  // path() + name; writes a file there with the given content.
  std::string Write(const std::string& name, const std::string& content) const {
    WriteFile(path_ + name, content);
    return path_ + name;
  }
  std::string Read(const std::string& name) const {
    if (!test::Exists(path_ + name)) ADD_FAILURE() << "cannot read " << path_ + name;
    return ReadFile(path_ + name);
  }
  bool Exists(const std::string& name) const { return test::Exists(path_ + name); }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Where the lock tests put their models: under $MIRADEL_TEST_SHARE when it names a mounted share
// (scripts/test-smb), so that the same tests meet a real network client; otherwise local.
class ModelFolder : public TempDir {
 public:
  ModelFolder() : TempDir(SharePath()) {}
  static std::string SharePath() {
    const char* share = std::getenv("MIRADEL_TEST_SHARE");
    return share == nullptr || *share == 0 ? std::string() : path::WithSeparator(share);
  }
};

// The names in a directory, sorted and each followed by a blank ("" for an empty directory), so
// that one comparison pins everything a directory holds.
inline std::string DirectoryNames(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(std::filesystem::path(dir), ec), end; !ec && it != end; it.increment(ec))
    names.insert(it->path().filename().string());
  if (ec) ADD_FAILURE() << "cannot list " << dir << ": " << ec.message();
  std::string out;
  for (const std::string& name : names) out += name + " ";
  return out;
}

}  // namespace miradel::test
