// Save As: the open model carried over to a new name or directory (ordinary), or a model that could
// only be read copied into a folder where it can be locked (read-only).
#include <cctype>
#include <cstring>

#include "base/path.h"
#include "base/text.h"
#include "control/network_file_control.h"
#include "lock/lock_path.h"
#include "lock/lock_slot.h"
#include "ui/user_interface.h"

namespace miradel {

namespace {
constexpr unsigned kBrowseNewDialogStyle = 0x40;
constexpr const char* kReadOnlySaveTitle = "Please select a directory for saving the read-only model to new directory";

// Every occurrence of from in text replaced by to.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(from, start)) != std::string::npos; start = at + from.size())
    out += text.substr(start, at - start) + to;
  return out + text.substr(start);
}

// Files that stay in the working copy: texts, undo files and the numbered ".U" files.
bool StaysInWorkingCopy(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ext = text::LowerCase(path.substr(dot));
  if (ext == ".txt" || ext == ".und") return true;
  return ext.size() == 4 && ext[1] == 'u' && std::isdigit(static_cast<unsigned char>(ext[2])) &&
         std::isdigit(static_cast<unsigned char>(ext[3]));
}
}  // namespace

int CNetworkFileControl::SaveAs(int mode, LockOwnerInfo* owner, char* dirText, int* dirLength, const std::string& dir,
                                const std::string& name) {
  ModelLocation& at = m_location;
  if (mode == 0) {
    // 1. The working files come over from the previous working copy.
    std::vector<std::string> files;
    const Path& work = at.WorkingCopy();
    const Path& previous = at.SavedWorkingCopy();
    if (previous.empty() || work.empty()) return 0;
    // Never over a model someone else has open: the host that took the target's lock holds it.
    const std::string target = LockPathFor(at.ModelDir(), at.m_strModelName);
    LockManager::Which which;
    if (m_locks.OwnershipOf(target, &which) != LockManager::Ownership::kHeld && HeldBySomeoneElse(target, nullptr))
      return 0;
    // From here the changes are on their way: until the new working copy is whole, the previous one
    // holds them, and is noted as the previous model's.
    PendingWrites::Holding holding(m_pending);
    m_diskObject.ListFilesMatching("*.*", previous.str(), files, 1);
    NoteWrites(files, previous, Path::FromText(at.SavedModelDir()), at.m_strSavedModelName);
    if (files.empty() || m_diskObject.CopyFileListInto(files, work.str()) != 1) return 0;

    // 2. Those named after the old model take the new name.
    files.clear();
    m_diskObject.ListFilesMatching(at.m_strSavedModelName + "*.*", work.str(), files, 1);
    if (files.empty()) return 0;
    const std::string& newModel = at.m_strModelName;
    for (const std::string& file : files) {
      const std::string fileName = path::BaseName(file);
      const std::string oldPrefix = fileName.substr(0, std::min(fileName.size(), at.m_strSavedModelName.size()));
      const std::string newName = ReplaceAll(fileName, oldPrefix, newModel);
      const bool isData = newName.size() >= newModel.size() && text::LowerCase(newName.substr(newModel.size())) == ".dat";
      if (isData) m_locks.ReleaseDataFile(LockManager::kPrimary);
      int renamed;
      if (!text::EqualsNoCase(newModel, oldPrefix)) {
        renamed = m_diskObject.RenameFileByCopy(file, newName);
      } else {
        // Names that differ only in case are one file to the host's file systems: go round.
        renamed = m_diskObject.RenameFileByCopy(file, "a" + newName) &&
                  m_diskObject.RenameFileByCopy(work.Join("a" + newName).str(), newName);
      }
      if (isData) m_locks.HoldDataFile(LockManager::kPrimary);
      if (!renamed) return 0;
    }

    // 3. Everything but texts and undo files goes to the new model directory.
    files.clear();
    m_diskObject.ListFilesMatching("*.*", work.str(), files, 1);
    std::vector<std::string> selected;
    for (const std::string& file : files)
      if (!StaysInWorkingCopy(file)) selected.push_back(file);
    NoteWrites(selected);
    m_locks.ReleaseDataFile(LockManager::kPrimary);
    const int written = selected.empty() ? 0 : m_diskObject.WriteFileListInto(selected, at.ModelDir().str());
    m_locks.HoldDataFile(LockManager::kPrimary);
    holding.Release();
    Wrote(selected, written == 1);
    return written == 1 ? 1 : 0;
  }

  // Read-only: the user picks a folder where the model can be locked and copied to.
  const std::string picked = ui::BrowseForFolder(0, kReadOnlySaveTitle, kBrowseNewDialogStyle);
  if (picked.empty()) return 0;
  const Path folder = Path::FromText(picked).AsDirectory();
  const std::string modelName = text::TrimTrailingBlanks(name);
  // The host's buffer takes the folder back (MIRADEL_PATH_BUFFER bytes): a longer one could not
  // be handed over, nor could the lock path be held.
  if (!dirText || !dirLength || folder.str().size() >= kPathBuffer || !path::IsPlainName(modelName)) return 0;
  m_locks.SavePrimaryLock();
  const int taken = m_locks.AcquireLock(LockManager::kPrimary, folder.Join(modelName + ".lck").str(), false, owner);
  if (taken != 1) {
    m_locks.RestorePrimaryLock();
    return taken + 3;
  }
  at.StoreDirOnly(Path::FromText(text::TrimTrailingBlanks(dir)));
  at.SetModelName(modelName);
  at.SetWorkingCopy(folder);
  at.m_bDirGivenWithoutSlash = 0;
  m_locks.ReleaseDataFile(LockManager::kPrimary);
  if (m_staging.CopyModelToTemp(0, m_hWndHost, true) != 1) {
    m_locks.ReleaseLock(LockManager::kPrimary);
    m_locks.RestorePrimaryLock();
    at.RestoreModelState();
    return 2;
  }
  m_locks.HoldDataFile(LockManager::kPrimary);
  std::memcpy(dirText, folder.str().data(), folder.str().size());
  *dirLength = static_cast<int>(folder.str().size()) - 1;
  m_staging.SetUntLibData(1, 1, text::TrimTrailingBlanks(dir));
  return 1;
}

}  // namespace miradel
