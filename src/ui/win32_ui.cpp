#ifdef _WIN32

#include "ui/win32_ui.h"

#include <utility>

#include "platform/env.h"
#include "platform/win32/primitives.h"
#include "ui/archive_dialog_model.h"
#include "ui/dialog_ids.h"
#include "ui/no_window_ui.h"

namespace miradel::ui {

namespace {

using platform::win32::DialogView;
using platform::win32::IsControlChecked;
using platform::win32::SetControlChecked;
using platform::win32::SetControlText;

constexpr int kIdOkButton = 1, kIdCancelButton = 2;

// The host's help file: quorvane.chm beside the running program.
void ShowHelp(std::intptr_t dialog, int topic) {
  const std::string program = platform::Current().ExecutablePath();
  const std::size_t cut = program.find_last_of('\\');
  platform::win32::ShowHelpTopic(dialog, (cut == std::string::npos ? "" : program.substr(0, cut + 1)) + "quorvane.chm",
                                 topic);
}

class PropertiesView : public DialogView {
 public:
  explicit PropertiesView(const FileProperties& p) : m_p(p), m_alwaysShow(p.always_show) {}
  bool always_show() const { return m_alwaysShow; }

  void Start(std::intptr_t dialog) override {
    const std::pair<int, const std::string*> fields[] = {
        {MIRADEL_IDC_MODEL_FILE, &m_p.model_file}, {MIRADEL_IDC_LAST_SAVED_BY, &m_p.last_saved_by},
        {MIRADEL_IDC_REVISION, &m_p.revision},     {MIRADEL_IDC_CREATED, &m_p.created},
        {MIRADEL_IDC_MODIFIED, &m_p.modified},     {MIRADEL_IDC_ACCESSED, &m_p.accessed},
        {MIRADEL_IDC_LOCATION, &m_p.location},     {MIRADEL_IDC_SIZE, &m_p.size}};
    for (const auto& [id, text] : fields) SetControlText(dialog, id, *text);
    SetControlChecked(dialog, MIRADEL_IDC_ALWAYS_SHOW, m_p.always_show);
  }
  bool Command(std::intptr_t dialog, int id, int* result) override {
    switch (id) {
      case kIdOkButton:  // "Close" is the only way that reads the box back
        m_alwaysShow = IsControlChecked(dialog, MIRADEL_IDC_ALWAYS_SHOW);
        return *result = kIdOkButton, true;
      case kIdCancelButton: return *result = kIdCancelButton, true;
      case MIRADEL_IDC_PROPERTIES_HELP: Help(dialog); return false;
      default: return false;
    }
  }
  void Help(std::intptr_t dialog) override { ShowHelp(dialog, MIRADEL_HELP_FILE_PROPERTIES); }

 private:
  const FileProperties& m_p;
  bool m_alwaysShow;
};

class ArchiveView : public DialogView {
 public:
  explicit ArchiveView(const bool types[5]) : m_model(types) {}
  const ArchiveDialogModel& model() const { return m_model; }

  void Start(std::intptr_t dialog) override { Show(dialog); }
  bool Command(std::intptr_t dialog, int id, int* result) override {
    if (id == kIdOkButton || id == kIdCancelButton) return *result = id, true;
    if (id == MIRADEL_IDC_ARCHIVE_HELP) {
      Help(dialog);
      return false;
    }
    if (id == MIRADEL_IDC_SELECT_ALL) m_model.ClickSelectAll(IsControlChecked(dialog, id));
    for (int i = 0; i < ArchiveDialogModel::kTypeCount; ++i) {
      if (id == kTypeIds[i]) m_model.ClickType(i, IsControlChecked(dialog, id));
    }
    Show(dialog);
    return false;
  }
  void Help(std::intptr_t dialog) override { ShowHelp(dialog, MIRADEL_HELP_ARCHIVE); }

 private:
  static constexpr int kTypeIds[ArchiveDialogModel::kTypeCount] = {
      MIRADEL_IDC_INPUT, MIRADEL_IDC_RESULT, MIRADEL_IDC_REPORTS, MIRADEL_IDC_UNIT, MIRADEL_IDC_LIBRARIES};
  void Show(std::intptr_t dialog) const {
    SetControlChecked(dialog, MIRADEL_IDC_SELECT_ALL, m_model.select_all());
    for (int i = 0; i < ArchiveDialogModel::kTypeCount; ++i) SetControlChecked(dialog, kTypeIds[i], m_model.type(i));
  }
  ArchiveDialogModel m_model;
};
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

  bool FileDialog(const FileDialogRequest& request, std::string* path) override {
    platform::win32::FileDialogCall call;
    call.owner = request.owner;
    call.save = request.save;
    call.filter = request.filter;
    call.default_extension = request.default_extension;
    call.initial_name = request.initial_name;
    call.initial_directory = request.initial_directory;
    call.options = request.options;
    return platform::win32::ShowFileDialog(call, path);
  }

  bool FilePropertiesDialog(std::intptr_t owner, const FileProperties& properties) override {
    PropertiesView view(properties);
    platform::win32::ShowDialog(MIRADEL_DLG_FILE_PROPERTIES, owner, &view);
    return view.always_show();
  }

  bool ArchiveDialog(std::intptr_t owner, bool types[5]) override {
    ArchiveView view(types);
    if (platform::win32::ShowDialog(MIRADEL_DLG_ARCHIVE, owner, &view) != kIdOkButton) return false;
    view.model().Types(types);
    return true;
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
