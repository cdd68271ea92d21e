#ifdef _WIN32

#include "ui/win32_ui.h"

#include "platform/win32/primitives.h"
#include "ui/no_window_ui.h"

namespace miradel::ui {

namespace {
class Win32Ui : public UserInterface {
 public:
  int MessageBox(const MessageBoxRequest& request) override {
    platform::win32::MessageBoxCall call;
    call.owner = request.owner;
    call.text = request.text.c_str();
    call.caption = request.caption.empty() ? nullptr : request.caption.c_str();
    call.style = request.style;
    call.centre_on_owner = request.centre_on_owner;
    call.yes_label = request.yes_label.empty() ? nullptr : request.yes_label.c_str();
    call.no_label = request.no_label.empty() ? nullptr : request.no_label.c_str();
    const int answer = platform::win32::ShowMessageBox(call);
    return answer != 0 ? answer : DefaultAnswer(request);
  }

  FolderChoice BrowseForFolder(std::intptr_t owner, const std::string& title, unsigned flags,
                               std::string* folder) override {
    switch (platform::win32::BrowseForFolder(owner, title.c_str(), flags, folder)) {
      case platform::win32::BrowseResult::kChosen: return FolderChoice::kChosen;
      case platform::win32::BrowseResult::kNoPath: return FolderChoice::kNoPath;
      default: return FolderChoice::kCancelled;
    }
  }

  void EnableWindow(std::intptr_t window, bool enable) override { platform::win32::SetWindowEnabled(window, enable); }
};
}  // namespace

UserInterface& WindowsUi() {
  // Never destroyed: a box may be asked for while the process ends.
  static auto* ui = new Win32Ui();
  return *ui;
}

}  // namespace miradel::ui

#endif  // _WIN32
