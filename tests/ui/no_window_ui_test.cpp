// Answers without a window: what goes to the terminal instead of a box, a folder browser, a file
// dialog or a dialog, and the answer taken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/no_window_ui.h"

namespace miradel::ui {
namespace {

TEST(NoWindowUiTest, WritesCaptionTextAndButtonsAndTakesTheDefaultAndCancelsTheBrowserAndDialogs) {
  std::vector<std::string> written;
  NoWindowUi ui([&](const std::string& s) { written.push_back(s); });
  EXPECT_EQ(kIdCancel, ui.MessageBox({0, "Model directory is still not available", kAppTitle,
                                      kOkCancel | kIconInformation}));
  EXPECT_EQ(kIdYes, ui.MessageBox({0, "Unable to update model\r\n", "", kYesNo | kIconQuestion, false, kRetryLabel,
                                   kSaveLabel}));
  // A file that cannot be fetched ends the opening instead of being tried for ever.
  EXPECT_EQ(kIdCancel, ui.MessageBox({0, "not retrieved", "", kRetryCancel | kIconExclamation}));
  std::string folder = "kept";
  EXPECT_EQ(FolderChoice::kCancelled, ui.BrowseForFolder(3, "Select\r\nfolder", 0x40, &folder));
  EXPECT_EQ("kept", folder);
  bool types[5] = {true, true, true, true, true};
  EXPECT_FALSE(ui.FileDialog({0, true, "", "", "m_Archive"}, &folder));
  EXPECT_FALSE(ui.ArchiveDialog(0, types));
  // No caption, and the text's own line end is not doubled; the browser's line is one line.
  EXPECT_EQ(written, (std::vector<std::string>{
                         "--- Miradel message: Miradel ---\nModel directory is still not available\n"
                         "[OK] [Cancel] -> Cancel (no window to ask in)\n",
                         "--- Miradel message ---\nUnable to update model\r\n"
                         "[&Retry] [&Save] -> &Retry (no window to ask in)\n",
                         "--- Miradel message ---\nnot retrieved\n[Retry] [Cancel] -> Cancel (no window to ask in)\n",
                         "--- Miradel folder browser: Select  folder -> cancelled (no window to ask in)\n",
                         "--- Miradel save file dialog: m_Archive -> cancelled (no window to ask in)\n",
                         "--- Miradel archive model -> cancelled (no window to ask in)\n"}));
}

}  // namespace
}  // namespace miradel::ui
