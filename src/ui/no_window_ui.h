// Answers without a person: what a box is taken to answer when nobody can be asked.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "ui/user_interface.h"

namespace miradel::ui {

// The answer that ends the question, for a box of this style nobody can see:
//
//   buttons                          answer
//   OK                               IDOK
//   OK/Cancel                        IDCANCEL
//   Abort/Retry/Ignore               IDABORT
//   Yes/No/Cancel                    IDCANCEL
//   Yes/No                           IDNO
//   Yes/No labelled Retry/Save       IDYES  (Retry: the model stays where it is; Save would need
//                                            a folder that nobody can pick)
//   Retry/Cancel                     IDCANCEL
//   Cancel/Try Again/Continue        IDCANCEL
//   anything else                    IDCANCEL
//
// retry_save_labels: the box's yes and no buttons read "&Retry" and "&Save".
int DefaultAnswer(unsigned style, bool retry_save_labels);
int DefaultAnswer(const MessageBoxRequest& request);

// True when answer is one of the buttons of the style's button set (any answer of an unknown set
// is refused).
bool IsAnswerOf(unsigned style, int answer);

// The buttons of the style as a person would read them, e.g. "[&Retry] [&Save]" or "[OK] [Cancel]".
std::string ButtonsText(const MessageBoxRequest& request);

// The platform default on POSIX: each message goes to standard error (caption, text, buttons and
// the answer taken), and DefaultAnswer is returned at once. Never reads standard input, never
// waits. Lines of two threads' boxes do not interleave. The folder browser, the file dialogs and the
// archive dialog are cancelled and the properties dialog is closed without "Close", each with one
// line saying so; there is no window to enable.
class NoWindowUi : public UserInterface {
 public:
  using Sink = std::function<void(const std::string&)>;
  NoWindowUi();  // writes to standard error
  explicit NoWindowUi(Sink sink);
  int MessageBox(const MessageBoxRequest& request) override;
  FolderChoice BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                               std::string* folder) override;
  bool FileDialog(const FileDialogRequest& request, std::string* path) override;
  bool FilePropertiesDialog(std::intptr_t owner, const FileProperties& properties) override;
  bool ArchiveDialog(std::intptr_t owner, bool types[5]) override;

 private:
  void Line(std::string what, const char* outcome);

  Sink m_sink;
  std::mutex m_mutex;
};

}  // namespace miradel::ui
