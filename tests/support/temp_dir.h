// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <string>

namespace miradel::test {

class TempDir {
 public:
  TempDir();
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

// The names in a directory, sorted and each followed by a blank ("" for an empty directory), so
// that one comparison pins everything a directory holds.
std::string DirectoryNames(const std::string& dir);

}  // namespace miradel::test
