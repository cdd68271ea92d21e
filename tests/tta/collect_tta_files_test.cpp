// Collecting the files a case list names, and the one box about those that are missing.
#include <gtest/gtest.h>

#include "control/globals.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "ui/string_table.h"

namespace miradel {
namespace {

std::string Col(const std::string& text) { return text + std::string(15 - text.size(), ' '); }
std::string Case(const std::string& input, const std::string& profile) {
  return Col(input) + Col("case") + Col(profile) + "\r\n";
}

class CollectTTAFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = ui::SetCurrent(&ui_);
    c.m_modelDir.Set(dir_.path());
    c.m_hWndHost = 0x4242;
  }
  void TearDown() override {
    ui::SetCurrent(previous_);
    c.m_modelDir.Set("");
    c.m_hWndHost = 0;
    c.m_bSilentMode = 0;
  }
  std::vector<std::string> Collect(const std::string& caseList) {
    std::vector<std::string> files{"already there"};
    c.CollectTTAFiles(dir_.Write("pump.ttc", caseList), files);
    return files;
  }
  CNetworkFileControl& c = TheControl();
  test::TempDir dir_;
  test::ScriptedUi ui_;
  ui::UserInterface* previous_ = nullptr;
};

TEST_F(CollectTTAFilesTest, AppendsProfileThenInputFileOfEachCase) {
  dir_.Write("prof1.TTP", "");
  dir_.Write("case1.tti", "");
  dir_.Write("case2.tti", "");
  auto files = Collect("Header\r\n" + Case("case1.tti", "  prof1 ") + Case("case2.tti", "") + Case("", ""));
  EXPECT_EQ(files, (std::vector<std::string>{"already there", dir_ / "prof1.TTP", dir_ / "case1.tti",
                                             dir_ / "case2.tti"}));
  EXPECT_EQ(ui_.count(), 0u);
}

TEST_F(CollectTTAFilesTest, MissingFilesGiveOneBoxEvenInSilentMode) {
  c.m_bSilentMode = 1;
  dir_.Write("case1.tti", "");
  auto files = Collect("Header\r\n" + Case("case1.tti", "prof1.TTP") + Case("gone.tti", "prof1.TTP"));
  EXPECT_EQ(files, (std::vector<std::string>{"already there", dir_ / "case1.tti"}));
  ASSERT_EQ(ui_.count(), 1u);
  auto box = ui_.shown()[0];
  std::string profileMissing = ui::FormatString(ui::kStrTtaProfileNotFound, {dir_ / "prof1.TTP.TTP"}) + "\n";
  EXPECT_EQ(box.text, profileMissing + profileMissing +
                          ui::FormatString(ui::kStrTtaInputNotFound, {dir_ / "gone.tti"}) + "\n");
  EXPECT_EQ(box.text.find("The TTA Profile File " + (dir_ / "prof1.TTP.TTP") + "  Not Found \n"), 0u);
  EXPECT_EQ(box.caption, "TTA Files Missing");
  EXPECT_EQ(box.style, unsigned(ui::kOk | ui::kIconExclamation));
  EXPECT_EQ(box.owner, 0x4242);
}

TEST_F(CollectTTAFilesTest, NoCaseListOrNoCasesAddNothingAndSayNothing) {
  EXPECT_EQ(Collect("Header only\r\n"), std::vector<std::string>{"already there"});
  std::vector<std::string> files;
  c.CollectTTAFiles(dir_ / "missing.ttc", files);
  EXPECT_TRUE(files.empty());
  EXPECT_EQ(ui_.count(), 0u);
}

}  // namespace
}  // namespace miradel
