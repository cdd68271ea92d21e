// Where the lock tests put their models: a fresh folder under $MIRADEL_TEST_SHARE when it names a
// mounted share (scripts/test-smb), so that the same tests meet a real network client; otherwise a
// local temporary one. Logs and other bookkeeping stay in a local TempDir.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace miradel::test {

class ModelFolder {
 public:
  ModelFolder() {
    const char* share = std::getenv("MIRADEL_TEST_SHARE");
    if (share == nullptr || *share == 0) {
      path_ = local_.path();
      return;
    }
    std::random_device rd;
    std::ostringstream name;
    name << path::WithSeparator(share) << "models-" << std::hex << rd() << rd();
    std::error_code ec;
    if (!std::filesystem::create_directory(name.str(), ec)) {
      ADD_FAILURE() << "cannot make " << name.str() << " on the share: " << ec.message();
      path_ = local_.path();
      return;
    }
    made_ = name.str();
    path_ = made_ + platform::kSep;
  }
  ~ModelFolder() {
    if (made_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(made_, ec);
    if (ec) ADD_FAILURE() << "cannot remove " << made_ << ": " << ec.message();
  }
  ModelFolder(const ModelFolder&) = delete;
  ModelFolder& operator=(const ModelFolder&) = delete;

  // Ends in the platform's separator.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  TempDir local_;
  std::string made_;
  std::string path_;
};

}  // namespace miradel::test
