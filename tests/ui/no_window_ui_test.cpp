// Answers without a window: the documented default for every button set, and what goes to the
// terminal instead of a box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/no_window_ui.h"

namespace miradel::ui {
namespace {

TEST(DefaultAnswerTest, EachButtonSetEndsTheQuestion) {
  struct Case {
    unsigned style;
    bool retry_save;
    int answer;
  };
  const Case cases[] = {
      {kOk, false, kIdOk},           {kOkCancel, false, kIdCancel},         {kAbortRetryIgnore, false, kIdAbort},
      {kYesNoCancel, false, kIdCancel}, {kYesNo, false, kIdNo},          {kYesNo, true, kIdYes},
      {kRetryCancel, false, kIdCancel}, {kCancelTryContinue, false, kIdCancel}, {0x7, false, kIdCancel},
      // Icons and other bits change nothing; the labels matter for yes/no only.
      {kYesNo | kIconQuestion | 0x1000, false, kIdNo}, {kYesNo | kIconQuestion, true, kIdYes},
      {kOk | kIconExclamation, true, kIdOk},           {kYesNoCancel, true, kIdCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style << " retry/save " << c.retry_save);
    EXPECT_EQ(c.answer, DefaultAnswer(c.style, c.retry_save));
  }
  MessageBoxRequest request;
  request.style = kYesNo;
  EXPECT_EQ(kIdNo, DefaultAnswer(request));
  request.yes_label = kRetryLabel;
  request.no_label = kSaveLabel;
  EXPECT_EQ(kIdYes, DefaultAnswer(request));
}

TEST(DefaultAnswerTest, OnlyTheButtonsOfASetAreItsAnswers) {
  EXPECT_TRUE(IsAnswerOf(kOk, kIdOk));
  EXPECT_FALSE(IsAnswerOf(kOk, kIdCancel));
  EXPECT_TRUE(IsAnswerOf(kYesNo | kIconQuestion, kIdNo));
  EXPECT_FALSE(IsAnswerOf(kYesNo, kIdOk));
  EXPECT_TRUE(IsAnswerOf(kAbortRetryIgnore, kIdIgnore));
  EXPECT_FALSE(IsAnswerOf(kRetryCancel, kIdAbort));
  EXPECT_TRUE(IsAnswerOf(kCancelTryContinue, kIdTryAgain));
  EXPECT_FALSE(IsAnswerOf(0xB, kIdOk));
  EXPECT_FALSE(IsAnswerOf(kOkCancel, -1));
}

TEST(NoWindowUiTest, WritesCaptionTextAndButtonsAndTakesTheDefault) {
  std::vector<std::string> written;
  NoWindowUi ui([&](const std::string& s) { written.push_back(s); });
  MessageBoxRequest plain;
  plain.text = "Model directory is still not available";
  plain.caption = kAppTitle;
  plain.style = kOkCancel | kIconInformation;
  EXPECT_EQ(kIdCancel, ui.MessageBox(plain));

  MessageBoxRequest question;
  question.text = "Unable to update model\r\n";
  question.style = kYesNo | kIconQuestion;
  question.yes_label = kRetryLabel;
  question.no_label = kSaveLabel;
  EXPECT_EQ(kIdYes, ui.MessageBox(question));

  ASSERT_EQ(2u, written.size());
  EXPECT_EQ("--- Miradel message: Miradel ---\nModel directory is still not available\n"
            "[OK] [Cancel] -> Cancel (no window to ask in)\n",
            written[0]);
  // No caption, and the text's own line end is not doubled.
  EXPECT_EQ("--- Miradel message ---\nUnable to update model\r\n[&Retry] [&Save] -> &Retry (no window to ask in)\n",
            written[1]);
}

}  // namespace
}  // namespace miradel::ui
