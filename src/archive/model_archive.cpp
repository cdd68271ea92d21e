#include "archive/model_archive.h"

#include <vector>

#include "archive/archive_files.h"
#include "archive/archiver.h"
#include "base/path.h"
#include "base/text.h"
#include "platform/env.h"
#include "ui/user_interface.h"

namespace miradel {

namespace {

constexpr const char* kArchiveCaption = "Archive Model";
constexpr unsigned kHideReadOnly = 0x4, kOverwritePrompt = 0x2;

// The file dialogs change the process's current directory; the host's relative paths must not notice.
class CurrentDirectoryKept {
 public:
  CurrentDirectoryKept() { m_kept = platform::Current().GetCurrentDirectory(&m_dir).ok(); }
  ~CurrentDirectoryKept() {
    if (m_kept) platform::Current().SetCurrentDirectory(m_dir).IgnoreError();
  }
  CurrentDirectoryKept(const CurrentDirectoryKept&) = delete;
  CurrentDirectoryKept& operator=(const CurrentDirectoryKept&) = delete;

 private:
  std::string m_dir;
  bool m_kept = false;
};

bool AskForArchive(bool save, const Path& modelDir, const std::string& modelName, Path* path) {
  ui::FileDialogRequest request;
  request.save = save;
  request.filter = "Quorvane Compressed Files (*.QVC)|*.QVC||";
  request.default_extension = "QVC";
  request.options = kHideReadOnly | kOverwritePrompt;
  // The dialog's name buffer holds 260 bytes, terminator included.
  request.initial_name = (modelName + "_Archive").substr(0, ModelArchive::kResultBuffer - 1);
  request.initial_directory = modelDir.str();
  std::string chosen;
  if (!ui::Current().FileDialog(request, &chosen) || chosen.empty()) return false;
  *path = Path::FromText(std::move(chosen));
  return true;
}

void ArchiveMessage(const std::string& text, unsigned icon) {
  ui::MessageBoxRequest request;
  request.text = text;
  request.caption = kArchiveCaption;
  request.style = ui::kOk | icon;
  ui::Current().MessageBox(request);
}

}  // namespace

void ModelArchive::AddInArchive(int index, const std::string& name, const std::string& extension) {
  std::string file = text::TrimTrailingBlanks(name);
  if (!extension.empty()) file = text::TrimTrailingBlanks(file + "." + extension);
  if (index >= 1 && index <= 4) m_strArchiveAddIn[index - 1] = file;
}

void ModelArchive::ArchiveModel(const Path& tempDir, const Path& exeDir, const Path& modelDir,
                                const std::string& modelName) {
  CurrentDirectoryKept current;
  Path archivePath;
  if (!AskForArchive(true, modelDir, modelName, &archivePath)) return;
  bool ticked[archive::kTypeCount] = {true, true, true, true, true};
  if (!ui::Current().ArchiveDialog(0, ticked)) return;

  std::vector<std::string> files;
  // A working copy that cannot be listed ends the archiving without a word.
  if (!archive::CollectArchiveFiles(m_disk, tempDir, exeDir, m_strArchiveAddIn.data(), ticked, &files)) return;
  if (files.empty()) {
    ui::PlainMessageBox(0, "No file select for archiving.");
    return;
  }
  archive::Archiver archiver;
  archiver.SetArchivePath(archivePath);
  for (const std::string& file : files) archiver.AddFilePathToArchive(file);
  if (archiver.CreateZipFile())
    ArchiveMessage("Model has been successfully archived.", ui::kIconInformation);
  else {
    // The box has no room for the reason; whoever looks into a failure finds it here.
    platform::Diagnostic("miradel: archive " + archivePath.str() + " not made: " + archiver.LastError());
    ui::PlainMessageBox(0, "Error in creating archive file.");
  }
}

ModelArchive::Opened ModelArchive::OpenArchive(const Path& modelDir, const std::string& modelName) {
  CurrentDirectoryKept current;
  Opened opened;
  Path archivePath;
  if (!AskForArchive(false, modelDir, modelName, &archivePath)) return opened;

  const Path destination = archive::UnpackDestination(m_disk, archivePath);
  archive::Archiver archiver;
  const bool extracted = archiver.ExtractZipFile(archivePath, destination);
  if (!extracted) platform::Diagnostic("miradel: archive " + archivePath.str() + " not unpacked: " + archiver.LastError());
  opened.directory = path::WithoutTrailingSeparators(destination.str());
  opened.name = archive::FindModelName(m_disk, destination);
  // The host's buffers hold a path; a longer text would overrun them.
  if (opened.directory.size() >= kResultBuffer || opened.name.size() >= kResultBuffer) {
    opened.directory.clear();
    opened.name.clear();
  }
  if (!extracted) ArchiveMessage("Model not extracted properly.", ui::kIconInformation);
  if (opened.name.empty() || opened.directory.empty()) ArchiveMessage("DAT file not found.", ui::kIconExclamation);
  opened.status = extracted && !opened.name.empty() && !opened.directory.empty() ? 0 : 9;
  return opened;
}

}  // namespace miradel
