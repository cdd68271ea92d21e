// Answers without a window: the default and the buttons of every set, and what goes to the
// terminal instead of a box, a folder browser, a file dialog or a dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/no_window_ui.h"

namespace miradel::ui {
namespace {

TEST(DefaultAnswerTest, EachButtonSetEndsTheQuestionWithOneOfItsOwnButtons) {
  // The default answer, another button of the set, and one not of it.
  struct Case { unsigned style; bool retry_save; int answer, another, foreign; };
  const Case cases[] = {
      {kOk | kIconExclamation, true, kIdOk, kIdOk, kIdCancel}, {kOkCancel, false, kIdCancel, kIdOk, kIdYes},
      {kAbortRetryIgnore, false, kIdAbort, kIdIgnore, kIdCancel}, {kYesNoCancel, false, kIdCancel, kIdYes, kIdOk},
      {kYesNoCancel, true, kIdCancel, kIdNo, kIdRetry},  // the labels matter for yes/no only
      {kYesNo | kIconQuestion | 0x1000, false, kIdNo, kIdYes, kIdOk}, {kYesNo, true, kIdYes, kIdNo, kIdCancel},
      {kRetryCancel, false, kIdCancel, kIdRetry, kIdAbort}, {kCancelTryContinue, false, kIdCancel, kIdTryAgain, kIdOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "style 0x" << std::hex << c.style << " retry/save " << c.retry_save);
    EXPECT_EQ(c.answer, DefaultAnswer(c.style, c.retry_save));
    EXPECT_TRUE(IsAnswerOf(c.style, c.answer) && IsAnswerOf(c.style, c.another) && !IsAnswerOf(c.style, c.foreign));
  }
  // An unknown set ends with Cancel, and nothing is one of its answers.
  EXPECT_EQ(kIdCancel, DefaultAnswer(0x7, false));
  EXPECT_FALSE(IsAnswerOf(0xB, kIdOk));
}

TEST(NoWindowUiTest, WritesCaptionTextAndButtonsAndTakesTheDefaultAndCancelsTheBrowserAndDialogs) {
  std::vector<std::string> written;
  NoWindowUi ui([&](const std::string& s) { written.push_back(s); });
  EXPECT_EQ(kIdCancel, ui.MessageBox({0, "Model directory is still not available", kAppTitle,
                                      kOkCancel | kIconInformation}));
  EXPECT_EQ(kIdYes, ui.MessageBox({0, "Unable to update model\r\n", "", kYesNo | kIconQuestion, false, kRetryLabel,
                                   kSaveLabel}));
  std::string folder = "kept";
  EXPECT_EQ(FolderChoice::kCancelled, ui.BrowseForFolder(3, "Select\r\nfolder", 0x40, &folder));
  EXPECT_EQ("kept", folder);
  bool types[5] = {true, true, true, true, true};
  EXPECT_TRUE(!ui.FileDialog({0, true, "", "", "m_Archive"}, &folder) && !ui.ArchiveDialog(0, types));
  // No caption, and the text's own line end is not doubled; the browser's line is one line.
  EXPECT_EQ(written, (std::vector<std::string>{
                         "--- Miradel message: Miradel ---\nModel directory is still not available\n"
                         "[OK] [Cancel] -> Cancel (no window to ask in)\n",
                         "--- Miradel message ---\nUnable to update model\r\n"
                         "[&Retry] [&Save] -> &Retry (no window to ask in)\n",
                         "--- Miradel folder browser: Select  folder -> cancelled (no window to ask in)\n",
                         "--- Miradel save file dialog: m_Archive -> cancelled (no window to ask in)\n",
                         "--- Miradel archive model -> cancelled (no window to ask in)\n"}));
}

}  // namespace
}  // namespace miradel::ui
