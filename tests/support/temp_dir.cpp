#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include "base/path.h"
#include "platform/env.h"

namespace miradel::test {

namespace fs = std::filesystem;

std::string ModelFolder::SharePath() {
  const char* share = std::getenv("MIRADEL_TEST_SHARE");
  return share == nullptr || *share == 0 ? std::string() : path::WithSeparator(share);
}

TempDir::TempDir(const std::string& under) {
  static std::atomic<unsigned> counter{0};
  const std::string base = under.empty() ? platform::System().TempPath() : under;
  std::random_device rd;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    std::string candidate = base + "miradel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++);
    std::error_code ec;
    if (!fs::create_directory(candidate, ec)) continue;
    fs::permissions(candidate, fs::perms::owner_all, ec);  // private: the system's is every user's
    path_ = candidate + platform::kSep;
  }
  if (path_.empty()) ADD_FAILURE() << "cannot make a temporary directory under " << base;
}

TempDir::~TempDir() {
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

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(path), ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  f.close();
  if (!f) ADD_FAILURE() << "cannot write " << path;
  return static_cast<bool>(f);
}

void Age(const std::string& path, int hours) {
  fs::last_write_time(fs::path(path), std::chrono::time_point_cast<std::chrono::seconds>(
                                          fs::file_time_type::clock::now() - std::chrono::hours(hours)));
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  WriteFile(path_ + name, content);
  return path_ + name;
}

std::string TempDir::Read(const std::string& name) const {
  if (!test::Exists(path_ + name)) ADD_FAILURE() << "cannot read " << path_ + name;
  return ReadFile(path_ + name);
}

bool TempDir::Exists(const std::string& name) const { return test::Exists(path_ + name); }

std::string DirectoryNames(const std::string& dir) {
  std::set<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(dir), ec), end; !ec && it != end; it.increment(ec))
    names.insert(it->path().filename().string());
  if (ec) ADD_FAILURE() << "cannot list " << dir << ": " << ec.message();
  std::string out;
  for (const std::string& name : names) out += name + " ";
  return out;
}

}  // namespace miradel::test
