// A test that calls the exports as the host does: (pointer, length) texts, ints by pointer, one
// global control object that is put back to its starting state before and after every test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "control/globals.h"
#include "copy/copy_thread.h"
#include "lock/lock_texts.h"
#include "miradel.h"
#include "platform/fault_env.h"
#include "support/temp_dir.h"

namespace miradel::test {

inline constexpr char S = platform::kSep;
// Its tag "QV_776655" belongs to these tests alone, so that their temporary directories are told
// apart from any real model's.
inline constexpr int kHostVersion = 77665544;
inline constexpr char kVersionTag[] = "QV_776655";

inline int HostGetLock(const std::string& dir, const std::string& name, MiradelLockOwner* owner) {
  int dl = static_cast<int>(dir.size()), nl = static_cast<int>(name.size());
  return NW_GetLock(owner, dir.data(), &dl, name.data(), &nl);
}

inline bool Exists(const std::string& path) {
  platform::FileInfo info;
  return platform::System().GetFileInfo(path, &info).ok();
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream content;
  content << f.rdbuf();
  return content.str();
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << content;
}

// Another handle may open the file for writing: nobody holds it as exclusive writer.
inline bool CanWrite(const std::string& path) {
  platform::FileHandle h = platform::kNoFile;
  platform::Status s = platform::System().OpenFile(path, platform::kWrite, platform::kShareRead | platform::kShareWrite,
                                                   platform::Disposition::kOpenExisting, &h, nullptr);
  if (s.ok()) platform::System().Close(h);
  return s.ok();
}

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::System().GetCurrentDirectory(&cwd_);
    ResetControl();
    BecomeUser("bob", "PC-BOB");
    int version = kHostVersion;
    NW_SetVersionNo(&version);
  }

  void TearDown() override {
    env_.ClearFaults();
    CNetworkFileControl& c = TheControl();
    c.m_primaryLock.Release();
    c.m_secondLock.Release();
    StopCopyThread(c);
    c.m_bCopyThreadStarted = 0;
    platform::System().SetCurrentDirectory(cwd_);
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const std::string& dir : made_)
      if (dir.rfind(TagDir(), 0) == 0) fs::remove_all(fs::path(dir), ec);
    fs::remove(fs::path(TagDir()), ec);  // only when no other run still has directories there
    ResetControl();
    ClearLockTexts();
  }

  static void ResetControl() {
    CNetworkFileControl& c = TheControl();
    c.m_modelDir.Set("");
    c.m_strModelName.clear();
    c.m_strQVTempDir.clear();
    c.m_bDirGivenWithoutSlash = 0;
    c.m_strSavedModelDir.clear();
    c.m_strSavedModelName.clear();
    c.m_strSavedQVTempDir.clear();
    c.m_bSavedDirGivenWithoutSlash = 0;
    c.m_primaryLock = LockSlot{};
    c.m_secondLock = LockSlot{};
    c.m_strVersionTag.clear();
    c.m_bUntLibRedirect1 = c.m_bUntLibRedirect2 = 0;
    c.m_strUntLibDir.clear();
    c.m_hWndHost = 0;
    c.m_bSilentMode = 0;
  }

  // The user's name and machine, and the lock texts that carry them (the host gives its version
  // again, as a freshly started host would).
  void BecomeUser(const std::string& user, const std::string& machine) {
    env_.SetUserName(user);
    env_.SetComputerName(machine);
    if (!TheControl().m_strVersionTag.empty()) {
      int version = kHostVersion;
      NW_SetVersionNo(&version);
    }
  }

  // NW_SetModelDir; every temporary directory it makes is removed after the test.
  int SetModelDir(const std::string& dir, const std::string& name) {
    int dl = static_cast<int>(dir.size()), nl = static_cast<int>(name.size());
    int result = NW_SetModelDir(dir.data(), &dl, name.data(), &nl);
    if (!QVTempDir().empty()) made_.push_back(QVTempDir());
    return result;
  }
  static std::string QVTempDir() {
    char buffer[MIRADEL_PATH_BUFFER];
    NW_GetQVTempDir(buffer);
    return buffer;
  }
  static std::string ModelDir() {
    char buffer[MIRADEL_PATH_BUFFER];
    NW_GetModelDir(buffer);
    return buffer;
  }
  static std::string TagDir() { return TheControl().m_strSysTempDir + kVersionTag + S; }

  platform::FaultEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  std::string cwd_;
  std::vector<std::string> made_;
};

}  // namespace miradel::test
