// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace miradel::test {

bool Exists(const std::string& path);
// The whole file; "" for one that cannot be read.
std::string ReadFile(const std::string& path);
// false, with a test failure, when it could not be written.
bool WriteFile(const std::string& path, const std::string& content);
// Dates the file's last write `hours` back, in whole seconds: a copy stamped "now" cannot pass.
void Age(const std::string& path, int hours);

class TempDir {
 public:
  TempDir() : TempDir(std::string()) {}
  // Under base (ending in a separator; empty: the system's temporary path).
  explicit TempDir(const std::string& base);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The directory, ending in the platform's separator.
  const std::string& path() const { return path_; }
  // path() + name; writes a file there with the given content.
  std::string Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Where the lock tests put their models: under $MIRADEL_TEST_SHARE when it names a mounted share
// (scripts/test-smb), so that the same tests meet a real network client; otherwise local.
class ModelFolder : public TempDir {
 public:
  ModelFolder() : TempDir(SharePath()) {}
  static std::string SharePath();
};

// The names in a directory, sorted and each followed by a blank ("" for an empty directory), so
// that one comparison pins everything a directory holds.
std::string DirectoryNames(const std::string& dir);

}  // namespace miradel::test
