// The settings and getter exports, called as the host calls them.
#include <gtest/gtest.h>

#include <cstring>

#include "control/globals.h"
#include "lock/lock_texts.h"
#include "miradel.h"
#include "platform/fault_env.h"
#include "support/temp_dir.h"

namespace miradel {
namespace {

constexpr char S = platform::kSep;

class SettingsExports : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    Reset();
    ClearLockTexts();
  }
  static void Reset() {
    CNetworkFileControl& c = TheControl();
    c.m_modelDir.Set("");
    c.m_strModelName.clear();
    c.m_strQVTempDir.clear();
    c.m_bDirGivenWithoutSlash = 0;
    c.m_strVersionTag.clear();
  }
  // Opens a model the way the directory set-up will: stored with a separator, the host's form kept.
  static void OpenModel(const std::string& dir, const std::string& name, bool givenWithoutSlash) {
    TheControl().m_modelDir.Set(dir);
    TheControl().m_strModelName = name;
    TheControl().m_bDirGivenWithoutSlash = givenWithoutSlash ? 1 : 0;
  }
  static int Cmp(const std::string& dir, const std::string& name) {
    int dl = static_cast<int>(dir.size()), nl = static_cast<int>(name.size());
    return NW_CmpModels(dir.data(), &dl, name.data(), &nl);
  }
};

TEST_F(SettingsExports, ModelDirectoryComesBackInTheHostsForm) {
  std::string stored = std::string(1, S) + "models" + S + "plant" + S;
  char buffer[MIRADEL_PATH_BUFFER];
  OpenModel(stored, "pump", true);
  NW_GetModelDir(buffer);
  EXPECT_EQ(std::string(buffer), stored.substr(0, stored.size() - 1));
  OpenModel(stored, "pump", false);
  NW_GetModelDir(buffer);
  EXPECT_EQ(std::string(buffer), stored);
  // An overlong directory is cut to the buffer, never written past it.
  char guarded[MIRADEL_PATH_BUFFER + 16];
  std::memset(guarded, 'G', sizeof guarded);
  OpenModel(std::string(1000, 'd') + S, "pump", false);
  NW_GetModelDir(guarded);
  EXPECT_EQ(std::strlen(guarded), MIRADEL_PATH_BUFFER - 1u);
  for (std::size_t i = MIRADEL_PATH_BUFFER; i < sizeof guarded; ++i) EXPECT_EQ(guarded[i], 'G');
}

TEST_F(SettingsExports, TemporaryDirectoryIsEmptyUntilOneExists) {
  char buffer[MIRADEL_PATH_BUFFER];
  std::memset(buffer, 'x', sizeof buffer);
  NW_GetQVTempDir(buffer);
  EXPECT_EQ(buffer[0], 0);
  TheControl().m_strQVTempDir = std::string("tmp") + S + "QV_080001" + S + "pump_1234" + S;
  NW_GetQVTempDir(buffer);
  EXPECT_EQ(std::string(buffer), TheControl().m_strQVTempDir);
}

TEST_F(SettingsExports, CompareModelsIgnoresCaseAndTheTrailingSeparator) {
  EXPECT_EQ(Cmp("anything", "pump"), 0) << "no model directory set";
  std::string dir = std::string(1, S) + "Models" + S + "Plant";
  OpenModel(dir + S, "Pump", false);
  EXPECT_EQ(Cmp(dir, "pump"), 1);
  EXPECT_EQ(Cmp(dir + S, "PUMP"), 1);
  EXPECT_EQ(Cmp(std::string(1, S) + "MODELS" + S + "PLANT", "pump"), 1);
  EXPECT_EQ(Cmp(dir, "pump.dat"), 0);
  EXPECT_EQ(Cmp(dir, "pump "), 0) << "blanks are not removed";
  EXPECT_EQ(Cmp(dir + "2", "pump"), 0);
  // A host that names the directory with the other separator means the same place.
  std::string other = dir;
  for (char& c : other)
    if (c == S) c = platform::kOtherSep;
  EXPECT_EQ(Cmp(other, "pump"), 1);
}

TEST_F(SettingsExports, TextsAreExactlyAsLongAsTheHostSays) {
  std::string dir = std::string(1, S) + "m" + S;
  OpenModel(dir, "pump", false);
  const char* name = "pumpXYZ";
  int four = 4, zero = 0, negative = -5;
  EXPECT_EQ(NW_CmpModels(dir.data(), nullptr, name, &four), 0) << "a null length is an empty directory";
  int dl = static_cast<int>(dir.size());
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &four), 1);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &zero), 0);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &negative), 0);
  EXPECT_EQ(NW_CmpModels(nullptr, &dl, nullptr, &four), 0);
  OpenModel(dir, "", false);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &zero), 1) << "length 0 is empty even when the pointer is not";
}

TEST_F(SettingsExports, UserNameNeedsRoomForTheNameAndItsTerminator) {
  platform::FaultEnv env(&platform::System());
  env.SetUserName("engineer");
  platform::ScopedEnv scoped(&env);
  char buffer[64];
  int size = 1;
  EXPECT_EQ(NW_GetUserName(buffer, &size), 0);
  EXPECT_EQ(size, 1);
  size = 8;
  EXPECT_EQ(NW_GetUserName(buffer, &size), 0);
  size = 9;
  EXPECT_NE(NW_GetUserName(buffer, &size), 0);
  EXPECT_STREQ(buffer, "engineer");
  EXPECT_EQ(size, 9);
  EXPECT_EQ(NW_GetUserName(nullptr, &size), 0);
  EXPECT_EQ(NW_GetUserName(buffer, nullptr), 0);
}

TEST_F(SettingsExports, VersionNumberGivesTagDottedTextAndLockTexts) {
  EXPECT_TRUE(TemporaryLockText().empty());
  int version = 80100;
  NW_SetVersionNo(&version);
  EXPECT_EQ(TheControl().m_strVersionTag, "QV_080001");
  EXPECT_EQ(DottedVersionText(), "8.0.1.0");
  EXPECT_NE(TemporaryLockText().find("<QuorvaneVersion>8.0.1.0</QuorvaneVersion>"), std::string::npos);
  version = 10000104;
  NW_SetVersionNo(&version);
  EXPECT_EQ(TheControl().m_strVersionTag, "QV_100001");
  EXPECT_EQ(DottedVersionText(), "10.0.1.4");
  version = 801004;
  NW_SetVersionNo(&version);
  EXPECT_EQ(TheControl().m_strVersionTag, "QV_800100");
  EXPECT_EQ(DottedVersionText(), "80.1.0.4");
  NW_SetVersionNo(nullptr);
  EXPECT_EQ(DottedVersionText(), "80.1.0.4");
}

TEST_F(SettingsExports, SimpleSettersStoreTheirValues) {
  int window = 0x1234, silent = 1;
  NW_SetHwnd(&window);
  NW_SetSilentMode(&silent);
  EXPECT_EQ(TheControl().m_hWndHost, 0x1234);
  EXPECT_EQ(TheControl().m_bSilentMode, 1);
  TheControl().SetUntLibData(1, 1, "old");
  NW_ResetUntLibData();
  EXPECT_EQ(TheControl().m_bUntLibRedirect1, 0);
  EXPECT_EQ(TheControl().m_bUntLibRedirect2, 0);
  EXPECT_EQ(TheControl().m_strUntLibDir, "");
  NW_SetHwnd(nullptr);
  NW_SetSilentMode(nullptr);
  EXPECT_EQ(TheControl().m_bSilentMode, 0);
}

TEST_F(SettingsExports, WorkingDirectoryChangesOnlyToDirectoriesThatExist) {
  test::TempDir dir;
  std::string before;
  ASSERT_TRUE(platform::Current().GetCurrentDirectory(&before).ok());
  EXPECT_NE(NW_SetWorkingdir(dir.path().c_str()), 0);
  std::string now;
  platform::Current().GetCurrentDirectory(&now);
  EXPECT_EQ(now + S, dir.path());
  EXPECT_EQ(NW_SetWorkingdir((dir.path() + "missing").c_str()), 0);
  EXPECT_EQ(NW_SetWorkingdir(nullptr), 0);
  EXPECT_NE(NW_SetWorkingdir(before.c_str()), 0);
}

TEST_F(SettingsExports, SaveAndRestoreModelStateAndLocks) {
  CNetworkFileControl& c = TheControl();
  OpenModel("a" + std::string(1, S), "first", true);
  c.m_strQVTempDir = "qa";
  c.m_primaryLock.bPermanent = 1;
  c.SaveModelState();
  c.SavePrimaryLock();
  OpenModel("b" + std::string(1, S), "second", false);
  c.m_strQVTempDir = "qb";
  c.m_primaryLock.bPermanent = 0;
  c.RestoreModelState();
  c.RestorePrimaryLock();
  EXPECT_EQ(c.m_modelDir.Get(), "a" + std::string(1, S));
  EXPECT_EQ(c.m_strModelName, "first");
  EXPECT_EQ(c.m_strQVTempDir, "qa");
  EXPECT_EQ(c.m_bDirGivenWithoutSlash, 1);
  EXPECT_EQ(c.m_primaryLock.bPermanent, 1);
  c.m_primaryLock = LockSlot{};
  c.m_secondLock = LockSlot{};
}

}  // namespace
}  // namespace miradel
