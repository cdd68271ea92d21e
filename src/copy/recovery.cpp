#include "copy/recovery.h"

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "base/path.h"
#include "copy/copy_thread.h"
#include "platform/env.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"
#include "ui/window_disabler.h"

namespace miradel {

namespace {
constexpr unsigned kBrowseNewDialogStyle = 0x40;
constexpr const char* kSelectDirectory = "Select a directory to continue working on current model";
// The working copy is named after the model with "_" and four digits.
constexpr std::size_t kWorkingCopySuffix = 5;

std::string Field(const char* text, std::size_t size) { return std::string(text, strnlen(text, size)); }
}  // namespace

std::string ModelNameOfWorkingFile(const std::string& path) {
  std::string dir = path::WithoutTrailingSeparators(path::DirectoryPart(path));
  std::string last = path::BaseName(dir);
  return last.size() > kWorkingCopySuffix ? last.substr(0, last.size() - kWorkingCopySuffix) : std::string();
}

bool Recovery::DirectoryExists(const std::string& dir) {
  platform::FileInfo info;
  return !dir.empty() && platform::Current().GetFileInfo(dir, &info).ok() && info.is_directory;
}

void Recovery::ShowOwner(unsigned id, const LockOwnerInfo& owner) {
  const std::string machine = Field(owner.szMachineName, sizeof(owner.szMachineName));
  const std::string user = Field(owner.szUserName, sizeof(owner.szUserName));
  std::string text = ui::LoadString(id) + "\nMachineName:\t\t" + machine + "\nUsername:\t\t" + user;
  ui::RetrySaveMessageBox(side_.window, text, "", ui::kOk | ui::kIconExclamation, false);
}

Recovery::Result Recovery::CheckModelDirectory(const std::string& dir, const std::string& name,
                                               const std::string& workDir) {
  LockManager& locks = host_.Locks();
  bool firstLook = true;
  bool savedElsewhere = false;
  bool retakeFailed = false;
  for (;;) {
    if (side_.stopping()) return kStopped;
    bool usable = false;
    if (DirectoryExists(dir)) {
      std::unique_lock<std::recursive_mutex> guard(locks.m_csLock, std::defer_lock);
      if (side_.copyThread) guard.lock();
      // A model opened without a lock (read-only), or whose lock the host has let go, has none to
      // keep; one this check failed to take back still has.
      const bool locked = locks.Snapshot(lock).IsHeld() || retakeFailed;
      int result = locked ? locks.Refresh(lock) : 1;
      bool replaced = false;
      // A lock file that cannot be written, or that is gone or names someone else while its
      // directory is there, is a lock that lapsed: take it again before anything is written.
      if (result != 1) {
        LockOwnerInfo owner{};
        const int again = locks.Retake(lock, &owner);
        retakeFailed = again != 1;
        if (again == 1) {
          result = 1;
          replaced = true;
        } else if (again == 0 && (owner.szUserName[0] || owner.szMachineName[0])) {
          ShowOwner(owner.bIsPermanent == 1 ? ui::kStrPermanentlyLockedBy : ui::kStrTemporarilyLockedBy, owner);
          if (side_.copyThread) {
            // Somebody else has the model now: the changes can only go somewhere else.
            ui::WindowDisabler disabler(side_.window);
            while (SaveModelElsewhere(workDir, name) != 1) {
              if (side_.stopping() || !side_.pause(CCopyThread::RetryPause())) return kStopped;
              ui::PlainMessageBox(side_.window, kSelectDirectory);
            }
          } else {
            SaveModelElsewhere(workDir, name);
          }
          savedElsewhere = true;
          result = 1;
          replaced = true;
        }
      }
      if (result == 1) {
        if (firstLook && !replaced) return kUsable;
        if (!firstLook && !savedElsewhere && !side_.silent)
          ui::PlainMessageBox(side_.window, ui::FormatString(ui::kStrContinueWorking, name));
        usable = true;
      }
    }
    if (usable) break;
    // At most two looks a second at a directory that stays missing, whoever answers Retry.
    if (!firstLook) {
      auto due = lastLook_ + CCopyThread::RetryPause();
      auto now = std::chrono::steady_clock::now();
      if (due > now && !side_.pause(std::chrono::duration_cast<std::chrono::milliseconds>(due - now)))
        return kStopped;
    }
    lastLook_ = std::chrono::steady_clock::now();
    if (!AskRetryOrSave(name, workDir)) savedElsewhere = true;
    firstLook = false;
    if (savedElsewhere) break;
  }
  if (!savedElsewhere) return kRecovered;
  if (side_.copyThread && side_.csQueue && side_.queue) {
    // Every request left named the old directory.
    std::lock_guard<std::recursive_mutex> guard(*side_.csQueue);
    side_.queue->Clear();
  }
  return kMoved;
}

bool Recovery::AskRetryOrSave(const std::string& name, const std::string& workDir) {
  const std::string text = ui::FormatString(ui::kStrRetryOrSaveQuestion, name);
  while (!side_.stopping()) {
    ui::g_bRenameRetrySave = 1;
    ui::WindowDisabler disabler(side_.copyThread ? side_.window : 0);
    const int answer = ui::RetrySaveMessageBox(side_.window, text, "", ui::kYesNo | ui::kIconQuestion, true);
    if (answer != ui::kIdNo) return true;
    if (SaveModelElsewhere(workDir, name) == 1) return false;
  }
  return true;
}

int Recovery::SaveModelElsewhere(const std::string& workDir, const std::string& name) {
  LockManager& locks = host_.Locks();
  const std::string from = path::WithoutTrailingSeparators(workDir);
  const LockSlot kept = locks.Snapshot(lock);
  const std::string title = ui::LoadString(ui::kStrSelectFolderToSave);
  const std::intptr_t browserOwner = side_.copyThread ? side_.window : 0;
  std::string folder = ui::BrowseForFolder(browserOwner, title, kBrowseNewDialogStyle);
  while (!folder.empty()) {
    if (side_.stopping()) return 0;
    const std::string native = path::ToNative(folder);
    const bool withoutSlash = native.back() != kSep;
    const std::string dir = path::WithSeparator(native);
    LockOwnerInfo owner{};
    const int taken = locks.AcquireLock(lock, dir + name + ".lck", false, &owner);
    if (taken == 0) {
      ShowOwner(owner.bIsPermanent == 1 ? ui::kStrFolderPermanentlyLockedBy : ui::kStrFolderTemporarilyLockedBy, owner);
      locks.PutBack(lock, kept);
    } else if (taken != 1 || !CopyModelFilesTo(from, dir)) {
      // A folder where no lock can be held is no place to carry on: the model would be unguarded.
      ui::PlainMessageBox(side_.window, ui::LoadString(ui::kStrCopyToNewDirectoryFailed));
      if (taken == 1) locks.ReleaseLock(lock);
      locks.PutBack(lock, kept);
    } else {
      host_.MoveModelDirectory(dir, withoutSlash);
      locks.ReleaseKept(kept);
      ui::PlainMessageBox(side_.window, ui::LoadString(ui::kStrSavedAtNewLocation));
      return 1;
    }
    folder = ui::BrowseForFolder(browserOwner, title, kBrowseNewDialogStyle);
  }
  return 0;
}

bool Recovery::CopyModelFilesTo(const std::string& from, const std::string& to) {
  // No request may be queued for the old directory while the model moves. The lock's guard comes
  // first, as everywhere both are held.
  LockManager& locks = host_.Locks();
  std::unique_lock<std::recursive_mutex> lockGuard, queueGuard;
  if (side_.copyThread && side_.csQueue) {
    lockGuard = std::unique_lock<std::recursive_mutex>(locks.m_csLock);
    queueGuard = std::unique_lock<std::recursive_mutex>(*side_.csQueue);
  }
  std::vector<std::string> files;
  disk_.ListFilesMatching("*.*", from, files, 1);
  locks.ReleaseDataFile(lock);
  const int copied = disk_.WriteFileListInto(files, to);
  locks.HoldDataFile(lock);
  return copied == 1;
}

}  // namespace miradel
