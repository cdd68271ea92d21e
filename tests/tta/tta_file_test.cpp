// Reading a TTA case list byte for byte, and collecting the files its cases name.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"
#include "support/fault_env.h"
#include "tta/collect_tta_files.h"
#include "tta/tta_file.h"

namespace miradel {
namespace {

std::string Col(const std::string& text) { return text + std::string(15 - text.size(), ' '); }

class TTAFileTest : public ::testing::Test {
 protected:
  std::vector<TTAThermalCase> Read(const std::string& content, bool* ok = nullptr) {
    TTAFile file;
    bool r = file.ReadThermalCases(dir_.Write("pump.ttc", content));
    if (ok) *ok = r;
    return file.m_thermalCases;
  }
  test::TempDir dir_;
};

TEST_F(TTAFileTest, ReadsFixedColumnsOfEveryLineAfterTheHeader) {
  std::string line1 = Col("  case1.tti") + Col(" Startup ") + Col("  prof1  ") + Col(" 3") + Col("-2x") + Col("abc");
  std::string line2 = Col("case2.tti") + Col("Trip") + Col("prof2") + Col("17") + Col("+4") + Col("9") + "IGNORED";
  bool ok = false;
  auto cases = Read("TTA File       Case           Profile\r\n" + line1 + "\r\n" + line2, &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0].GetTTAFileName(), "case1.tti");
  EXPECT_EQ(cases[0].m_strThermalCase, "Startup");
  EXPECT_EQ(cases[0].m_strProfile, Col("  prof1  ")) << "the profile is stored as read";
  EXPECT_EQ(cases[0].GetProfile(), "prof1");
  EXPECT_EQ(cases[0].m_strProfile, "prof1") << "GetProfile trims the stored value";
  EXPECT_EQ(cases[0].m_nTTARevision, 3);
  EXPECT_EQ(cases[0].m_nTTPRevision, -2);
  EXPECT_EQ(cases[0].m_nTTAAnalysisRevision, 0);
  EXPECT_EQ(cases[1].m_nTTARevision, 17);
  EXPECT_EQ(cases[1].m_nTTPRevision, 4);
  EXPECT_EQ(cases[1].m_nTTAAnalysisRevision, 9) << "text after column 90 is ignored; no CR LF at the end";
}

TEST_F(TTAFileTest, ShortLinesFillWhatTheyReach) {
  std::string exactly45 = Col("a.tti") + Col("c") + "prof" + std::string(11, ' ');
  auto cases = Read("H\r\nx\r\nab\r\n" + exactly45 + "\r\n\r\n" + Col("b.tti") + "Tr");
  ASSERT_EQ(cases.size(), 3u);
  EXPECT_EQ(cases[0].GetTTAFileName(), "ab");
  EXPECT_EQ(cases[0].m_strThermalCase, "");
  EXPECT_EQ(cases[0].m_strProfile, "");
  EXPECT_EQ(cases[0].m_nTTARevision + cases[0].m_nTTPRevision + cases[0].m_nTTAAnalysisRevision, 0);
  EXPECT_EQ(cases[1].GetProfile(), "prof");
  EXPECT_EQ(cases[1].m_nTTARevision, 0);
  EXPECT_EQ(cases[2].m_strThermalCase, "Tr");
}

TEST_F(TTAFileTest, EveryReadingClosesTheCaseList) {
#ifdef __linux__
  namespace fs = std::filesystem;
  auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}); };
  const auto before = open();
  for (int i = 0; i < 20; ++i) Read("H\r\n" + Col("a.tti"));
  EXPECT_EQ(open(), before) << "a case list stays open after it was read";
#else
  GTEST_SKIP() << "counts the process's open descriptors, as Linux lists them";
#endif
}

TEST_F(TTAFileTest, EmptyHeaderOnlyAndMissingFiles) {
  bool ok = false;
  EXPECT_TRUE(Read("", &ok).empty());
  EXPECT_TRUE(ok);
  EXPECT_TRUE(Read("Header only\r\n", &ok).empty());
  EXPECT_TRUE(ok);
  TTAFile file;
  file.m_thermalCases.emplace_back("keep", "", "", 0, 0, 0);
  EXPECT_FALSE(file.ReadThermalCases(dir_ / "missing.ttc"));
  EXPECT_EQ(file.m_thermalCases.size(), 1u);
}

TEST_F(TTAFileTest, LoneLineFeedsLoseTheFirstCharacterOfEachLaterLine) {
  // Each line end is one byte here, so the byte dropped after it is the next line's first.
  auto cases = Read("Header\n" + Col("case1.tti") + "Startup\n" + Col("case2.tti") + "Trip\n");
  ASSERT_EQ(cases.size(), 2u);
  // ...which shifts every column one place to the left.
  EXPECT_EQ(cases[0].GetTTAFileName(), "ase1.tti      S");
  EXPECT_EQ(cases[0].m_strThermalCase, "tartup");
  EXPECT_EQ(cases[1].GetTTAFileName(), "ase2.tti      T");
  // A lone LF header followed by a one-character line: the line vanishes with its dropped byte.
  EXPECT_TRUE(Read("H\nx\n").empty());
}

TEST_F(TTAFileTest, HugeNumbersAreHeldAtTheLimitsOfAnInt) {
  auto cases = Read("H\r\n" + Col("f") + Col("c") + Col("p") + Col("99999999999999") + Col("-99999999999999"));
  ASSERT_EQ(cases.size(), 1u);
  EXPECT_EQ(cases[0].m_nTTARevision, 2147483647);
  EXPECT_EQ(cases[0].m_nTTPRevision, -2147483647 - 1);
}

// A read that fails before the end makes the list unreadable, not short.
TEST_F(TTAFileTest, AReadErrorIsNoEndOfTheList) {
  test::FaultEnv env(&platform::System());
  platform::ScopedEnv scoped(&env);
  env.Fail(test::Op::kRead, "", platform::ErrorKind::kOther, 1);
  bool ok = true;
  EXPECT_TRUE(Read("H\r\n" + Col("a.tti"), &ok).empty());
  EXPECT_FALSE(ok);
}

std::string Case(const std::string& input, const std::string& profile) {
  return Col(input) + Col("case") + Col(profile) + "\r\n";
}

TEST_F(TTAFileTest, CollectionListsProfileThenInputAndWhatIsMissing) {
  const std::string m = dir_ / "m" + kSep;
  ASSERT_TRUE(platform::System().CreateDirectory(m).ok());
  for (const char* name : {"prof1.TTP", "case1.tti", "case2.tti"}) dir_.Write(std::string("m") + kSep + name, "");
  dir_.Write("secret.tti", "outside the model directory");
  const std::string up = std::string("..") + kSep;
  TtaCollection got = CollectTTAFiles(
      dir_.Write("pump.ttc", "Header\r\n" + Case("case1.tti", "  prof1 ") + Case("case2.tti", "") + Case("", "") +
                                 Case("gone.tti", "prof1.TTP") + Case(up + "secret.tti", up + "m" + kSep + "prof1")),
      [&] { return m; });
  EXPECT_TRUE(got.readable);
  EXPECT_EQ(got.files, (std::vector<std::string>{m + "prof1.TTP", m + "case1.tti", m + "case2.tti"}));
  ASSERT_EQ(got.missing.size(), 4u) << "names that leave the model directory count as missing";
  EXPECT_EQ(got.missing[0].path, m + "prof1.TTP.TTP");
  EXPECT_EQ(got.missing[0].kind, MissingTtaFile::kProfile);
  EXPECT_EQ(got.missing[1].path, m + "gone.tti");
  EXPECT_EQ(got.missing[1].kind, MissingTtaFile::kInput);
  EXPECT_EQ(got.missing[3].path, m + up + "secret.tti");
  EXPECT_FALSE(CollectTTAFiles(dir_ / "missing.ttc", [&] { return m; }).readable);
}

}  // namespace
}  // namespace miradel
