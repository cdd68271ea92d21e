// Reading a TTA case list byte for byte, and collecting the files its cases name.
#include <gtest/gtest.h>

#include "support/temp_dir.h"
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

}  // namespace
}  // namespace miradel
