// The settings and getter exports, called as the host calls them.
#include <cstring>

#include "support/host_test.h"

namespace miradel::test {
namespace {

class SettingsExports : public HostTest {
 protected:
  static void OpenModel(const std::string& dir, const std::string& name) { C().m_location.StoreDirAndName(dir, name); }
};

TEST_F(SettingsExports, DirectoriesComeBackInTheHostsFormAndNeverOverflow) {
  const std::string dir = std::string(1, S) + "models" + S + "plant";
  OpenModel(dir, "pump");
  EXPECT_EQ(ModelDir(), dir);
  OpenModel(dir + S, "pump");
  EXPECT_EQ(ModelDir(), dir + S);
  char guarded[MIRADEL_PATH_BUFFER + 16];
  std::memset(guarded, 'G', sizeof guarded);
  OpenModel(std::string(1000, 'd') + S, "pump");
  NW_GetModelDir(guarded);
  EXPECT_EQ(std::strlen(guarded), MIRADEL_PATH_BUFFER - 1u);
  for (std::size_t i = MIRADEL_PATH_BUFFER; i < sizeof guarded; ++i) ASSERT_EQ(guarded[i], 'G');

  std::memset(guarded, 'x', sizeof guarded);
  NW_GetQVTempDir(guarded);
  EXPECT_EQ(guarded[0], 0) << "no working copy yet";
  C().m_location.m_strQVTempDir = std::string(1000, 'q');
  NW_GetQVTempDir(guarded);
  EXPECT_EQ(std::strlen(guarded), MIRADEL_PATH_BUFFER - 1u);
  EXPECT_EQ(guarded[MIRADEL_PATH_BUFFER], 'x');
}

TEST_F(SettingsExports, CompareModelsIgnoresCaseAndTheTrailingSeparator) {
  EXPECT_EQ(CmpModels("anything", "pump"), 0) << "no model directory set";
  const std::string dir = std::string(1, S) + "Models" + S + "Plant";
  OpenModel(dir + S, "Pump");
  std::string other = dir;
  for (char& c : other)
    if (c == S) c = kOtherSep;
  struct {
    std::string dir, name;
    int expected;
  } cases[] = {{dir, "pump", 1},        {dir + S, "PUMP", 1},        {other, "pump", 1},
               {dir, "pump.dat", 0},    {dir, "pump ", 0},           {dir + "2", "pump", 0},
               {std::string(1, S) + "MODELS" + S + "PLANT", "pump", 1}};
  for (const auto& c : cases) EXPECT_EQ(CmpModels(c.dir, c.name), c.expected) << c.dir << " " << c.name;
  // Texts are exactly as long as the host says: null and non-positive lengths are empty.
  const char* name = "pumpXYZ";
  int four = 4, zero = 0, negative = -5, dl = Len(dir);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &four), 1);
  EXPECT_EQ(NW_CmpModels(dir.data(), nullptr, name, &four), 0);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &negative), 0);
  EXPECT_EQ(NW_CmpModels(nullptr, &dl, nullptr, &four), 0);
  OpenModel(dir, "");
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &zero), 1) << "length 0 is empty even when the pointer is not";
}

TEST_F(SettingsExports, UserNameNeedsRoomForTheNameAndItsTerminator) {
  env_.SetUserName("engineer");
  char buffer[64];
  for (const int given : {1, 8}) {
    int size = given;
    EXPECT_EQ(NW_GetUserName(buffer, &size), 0);
    EXPECT_EQ(size, given);
  }
  int size = 9;
  EXPECT_NE(NW_GetUserName(buffer, &size), 0);
  EXPECT_STREQ(buffer, "engineer");
  EXPECT_EQ(size, 9) << "the size is only read";
  EXPECT_EQ(NW_GetUserName(nullptr, &size), 0);
  EXPECT_EQ(NW_GetUserName(buffer, nullptr), 0);
}

TEST_F(SettingsExports, VersionNumberGivesTagDottedTextAndLockTexts) {
  struct {
    int version;
    const char *tag, *dotted;
  } cases[] = {{80100, "QV_080001", "8.0.1.0"}, {10000104, "QV_100001", "10.0.1.4"}, {801004, "QV_800100", "80.1.0.4"}};
  for (const auto& c : cases) {
    SetVersion(c.version);
    EXPECT_EQ(C().m_staging.m_strVersionTag, c.tag);
    EXPECT_EQ(C().m_locks.Texts().dotted, c.dotted);
    EXPECT_NE(C().m_locks.Texts().temporary.find(std::string("<QuorvaneVersion>") + c.dotted + "<"), std::string::npos);
  }
  NW_SetVersionNo(nullptr);
  EXPECT_EQ(C().m_locks.Texts().dotted, "80.1.0.4");
}

TEST_F(SettingsExports, SimpleSettersStoreTheirValues) {
  int window = 0x1234, silent = 1;
  NW_SetHwnd(&window);
  NW_SetSilentMode(&silent);
  EXPECT_EQ(C().m_hWndHost, 0x1234);
  EXPECT_EQ(C().m_bSilentMode, 1);
  C().m_staging.SetUntLibData(1, 1, "old");
  NW_ResetUntLibData();
  EXPECT_EQ(C().m_staging.m_bUntLibRedirect1 + C().m_staging.m_bUntLibRedirect2, 0);
  EXPECT_EQ(C().m_staging.m_strUntLibDir, "");
  NW_SetSilentMode(nullptr);
  EXPECT_EQ(C().m_bSilentMode, 0);
}

TEST_F(SettingsExports, WorkingDirectoryChangesOnlyToDirectoriesThatExist) {
  EXPECT_NE(NW_SetWorkingdir(dir_.path().c_str()), 0);
  std::string now;
  ASSERT_TRUE(platform::Current().GetCurrentDirectory(&now).ok());
  EXPECT_EQ(path::WithSeparator(now), dir_.path());
  EXPECT_EQ(NW_SetWorkingdir((dir_.path() + "missing").c_str()), 0);
  EXPECT_EQ(NW_SetWorkingdir(nullptr), 0);
}

}  // namespace
}  // namespace miradel::test
