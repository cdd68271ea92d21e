// The port itself: which interface is in use, and what the plain box and the Retry/Save box ask.
#include <gtest/gtest.h>

#include "support/scripted_ui.h"
#include "ui/no_window_ui.h"
#include "ui/user_interface.h"

namespace miradel::ui {
namespace {

TEST(UserInterfaceTest, SetCurrentInstallsAndRestores) {
  test::ScriptedUi a, b;
  UserInterface* before = SetCurrent(&a);
  EXPECT_EQ(&a, &Current());
  EXPECT_EQ(&a, SetCurrent(&b));
  EXPECT_EQ(&b, SetCurrent(nullptr));
  EXPECT_EQ(&PlatformDefault(), &Current());
  SetCurrent(before);
#ifdef _WIN32
  EXPECT_EQ(nullptr, dynamic_cast<NoWindowUi*>(&PlatformDefault()));
#else
  EXPECT_NE(nullptr, dynamic_cast<NoWindowUi*>(&PlatformDefault()));
#endif
}

TEST(UserInterfaceTest, PlainAndRetrySaveBoxesAskWithTheirOwnCaptionButtonsAndPlace) {
  test::ScriptedUi ui;
  test::ScopedUi scope(&ui);
  ui.QueueAnswers({kIdOk, kIdCancel});
  EXPECT_EQ(kIdOk, PlainMessageBox(0x40, "saved"));
  EXPECT_EQ(kIdCancel, PlainMessageBox(0x41, "failed", kOkCancel | kIconStop));
  g_bRenameRetrySave = 1;
  RetrySaveMessageBox(9, "question", "", kYesNo | kIconQuestion);
  g_bRenameRetrySave = 0;
  RetrySaveMessageBox(9, "ordinary", "caption", kYesNo | kIconQuestion);
  RetrySaveMessageBox(9, "explicit", "", kYesNo, true);

  const auto shown = ui.shown();
  ASSERT_EQ(5u, shown.size());
  EXPECT_EQ(0x40, shown[0].owner);
  EXPECT_EQ("Miradel", shown[0].caption);
  EXPECT_EQ(static_cast<unsigned>(kOk), shown[0].style);
  EXPECT_FALSE(shown[0].centred);
  EXPECT_TRUE(shown[0].yes_label.empty());
  EXPECT_EQ(kOkCancel | kIconStop, shown[1].style);
  EXPECT_EQ(0x41, shown[1].owner);

  EXPECT_TRUE(shown[2].centred);
  EXPECT_EQ("", shown[2].caption);
  EXPECT_EQ("&Retry", shown[2].yes_label);
  EXPECT_EQ("&Save", shown[2].no_label);
  EXPECT_EQ(kIdYes, shown[2].answer);  // nothing queued: Retry
  EXPECT_TRUE(shown[3].centred);
  EXPECT_EQ("caption", shown[3].caption);
  EXPECT_TRUE(shown[3].yes_label.empty() && shown[3].no_label.empty());
  EXPECT_EQ(kIdNo, shown[3].answer);
  EXPECT_EQ("&Retry", shown[4].yes_label);
}

}  // namespace
}  // namespace miradel::ui
