#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "platform/env.h"

namespace miradel::test {

namespace fs = std::filesystem;

namespace {

// Read-only files and directories would stop the removal (on Windows even of files): give the
// owner everything back first.
void MakeRemovable(const fs::path& root) {
  std::error_code ec;
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    if (it->is_symlink(ignored)) continue;
    fs::permissions(it->path(), it->is_directory(ignored) ? fs::perms::owner_all : fs::perms::owner_write,
                    fs::perm_options::add, ignored);
  }
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::string base = platform::System().TempPath();
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "miradel-test-" << std::hex << rd() << '-' << counter++;
    std::string candidate = base + name.str();
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      // Private to us: the system temporary directory is shared with every other user.
      fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, ec);
      path_ = candidate + platform::kSep;
      return;
    }
  }
  ADD_FAILURE() << "cannot make a temporary directory under " << base;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  fs::path root(path_.substr(0, path_.size() - 1));
  MakeRemovable(root);
  std::error_code ec;
  fs::remove_all(root, ec);
  if (ec) ADD_FAILURE() << "cannot remove " << root.string() << ": " << ec.message();
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  std::string path = path_ + name;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  f.close();
  if (!f) ADD_FAILURE() << "cannot write " << path;
  return path;
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream f(path_ + name, std::ios::binary);
  if (!f) {
    ADD_FAILURE() << "cannot read " << path_ + name;
    return std::string();
  }
  std::ostringstream content;
  content << f.rdbuf();
  return content.str();
}

bool TempDir::Exists(const std::string& name) const {
  std::error_code ec;
  return fs::exists(fs::path(path_ + name), ec);
}

}  // namespace miradel::test
