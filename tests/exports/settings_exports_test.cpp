// The settings and getter exports, called as the host calls them, and the version number's digits.
#include <climits>
#include <cstring>

#include "control/version.h"
#include "support/host_test.h"

namespace miradel::test {
namespace {

using SettingsExports = HostTest;

// The directories and the user's name are written only when they fit, terminator included.
TEST_F(SettingsExports, TextsNeverOverflowTheHostsBuffers) {
  char guarded[MIRADEL_PATH_BUFFER + 16];
  std::memset(guarded, 'x', sizeof guarded);
  NW_GetQVTempDir(guarded);
  EXPECT_EQ(guarded[0], 0) << "no working copy yet";
  In().m_location.StoreDirAndName(Path::FromText(std::string(1000, 'd') + S), "pump");
  In().m_location.SetWorkingCopy(Path::FromText(std::string(1000, 'q')));
  for (auto get : {&NW_GetModelDir, &NW_GetQVTempDir}) {
    std::memset(guarded, 'G', sizeof guarded);
    get(guarded);
    EXPECT_EQ(std::strlen(guarded), MIRADEL_PATH_BUFFER - 1u);
    for (std::size_t i = MIRADEL_PATH_BUFFER; i < sizeof guarded; ++i) ASSERT_EQ(guarded[i], 'G');
  }

  env_.SetUserName("engineer");
  for (int size : {1, 8, 9}) {
    std::memset(guarded, 'x', sizeof guarded);
    EXPECT_EQ(NW_GetUserName(guarded, &size) != 0, size == 9) << size;
    EXPECT_EQ(guarded[8], size == 9 ? 0 : 'x') << "written past a buffer of " << size;
  }
  EXPECT_STREQ(guarded, "engineer");
  int size = 9;
  EXPECT_EQ(NW_GetUserName(nullptr, &size), 0);
  EXPECT_EQ(NW_GetUserName(guarded, nullptr), 0);
}

TEST_F(SettingsExports, CompareModelsIgnoresCaseAndTheTrailingSeparator) {
  EXPECT_EQ(CmpModels("anything", "pump"), 0) << "no model directory set";
  const std::string dir = std::string(1, S) + "Models" + S + "Plant";
  In().m_location.StoreDirAndName(Path::FromText(dir + S), "Pump");
  const std::string other = std::string(1, kOtherSep) + "Models" + kOtherSep + "Plant";
  const std::tuple<std::string, std::string, int> cases[] = {
      {dir, "pump", 1}, {dir + S, "PUMP", 1}, {other, "pump", 1}, {std::string(1, S) + "MODELS" + S + "PLANT", "pump", 1},
      {dir, "pump.dat", 0}, {dir, "pump ", 0}, {dir + "2", "pump", 0}};
  for (const auto& [d, n, expected] : cases) EXPECT_EQ(CmpModels(d, n), expected) << d << " " << n;
  // Texts are exactly as long as the host says: null and non-positive lengths are empty.
  const char* name = "pumpXYZ";
  int four = 4, zero = 0, negative = -5, dl = Len(dir);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &four), 1);
  EXPECT_EQ(NW_CmpModels(dir.data(), nullptr, name, &four), 0);
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &negative), 0);
  EXPECT_EQ(NW_CmpModels(nullptr, &dl, nullptr, &four), 0);
  In().m_location.StoreDirAndName(Path::FromText(dir), "");
  EXPECT_EQ(NW_CmpModels(dir.data(), &dl, name, &zero), 1) << "length 0 is empty even when the pointer is not";
}

// The host's version number becomes the eight digits behind the tag of the working copies and the
// version in the lock texts; a missing number changes nothing.
TEST_F(SettingsExports, VersionNumberGivesDigitsTagDottedTextAndLockTexts) {
  // a b c d -> 0 a 0 b c d 0 0; seven digits get a leading zero, more than eight keep the first
  // eight, and the sign is dropped.
  const std::pair<int, const char*> digits[] = {
      {80100, "08000100"}, {10000104, "10000104"}, {801004, "80010004"}, {1234, "01023400"},
      {12345, "01020345"}, {0, "00000000"},        {7, "07000000"},      {123, "01230000"},
      {9000104, "09000104"}, {123456789, "12345678"}, {INT_MAX, "21474836"}, {-80100, "08000100"},
      {INT_MIN, "21474836"}, {12, "01200000"}, {99999999, "99999999"}, {-123456789, "12345678"}};
  for (const auto& [version, expected] : digits) EXPECT_EQ(VersionDigits(version), expected) << version;
  const std::pair<const char*, const char*> dotted[] = {{"08000100", "8.0.1.0"}, {"10000104", "10.0.1.4"},
      {"80010004", "80.1.0.4"}, {"00000000", "0.0.0.0"}, {"21474836", "21.47.48.36"}};
  for (const auto& [text, expected] : dotted) EXPECT_EQ(DottedVersion(text), expected) << text;

  SetVersion(801004);
  NW_SetVersionNo(nullptr);
  EXPECT_EQ(In().m_staging.m_strVersionTag, "QV_800100");
  EXPECT_EQ(In().m_locks.Texts().dotted, "80.1.0.4");
  EXPECT_NE(In().m_locks.Texts().temporary.find("<QuorvaneVersion>80.1.0.4<"), std::string::npos);
}

TEST_F(SettingsExports, TheWorkingDirectoryChangesOnlyToDirectoriesThatExist) {
  EXPECT_NE(NW_SetWorkingdir(dir_.path().c_str()), 0);
  std::string now;
  ASSERT_TRUE(platform::Current().GetCurrentDirectory(&now).ok());
  EXPECT_EQ(path::WithSeparator(now), dir_.path());
  EXPECT_EQ(NW_SetWorkingdir((dir_.path() + "missing").c_str()), 0);
  EXPECT_EQ(NW_SetWorkingdir(nullptr), 0);
}

}  // namespace
}  // namespace miradel::test
