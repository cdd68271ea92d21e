#include "copy/recovery.h"

#include <cstring>
#include <vector>

#include "base/path.h"
#include "base/text.h"
#include "copy/copy_thread.h"
#include "lock/lock_path.h"
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

std::string ModelRef::LockPath() const { return LockPathFor(dir, name); }

ModelRef ModelOf(const QueueNode& request) {
  const std::string& working = request.WorkingFile();
  ModelRef m;
  m.dir = request.ModelDirectory();
  m.shownName = text::LowerCase(ModelNameOfWorkingFile(working));
  m.name = request.Model().empty() ? ModelNameOfWorkingFile(working) : request.Model();
  m.workDir = path::DirectoryPart(working);
  return m;
}

bool GuardedBy(const QueueNode& request, const std::string& lockPath) {
  return text::EqualsNoCase(ModelOf(request).LockPath(), lockPath);
}

bool Recovery::DirectoryExists(const std::string& dir) {
  platform::FileInfo info;
  return !dir.empty() && platform::Current().GetFileInfo(dir, &info).ok() && info.is_directory;
}

void Recovery::ShowOwner(unsigned id, const LockOwnerInfo& owner) {
  const std::string machine = Field(owner.szMachineName, sizeof(owner.szMachineName));
  const std::string user = Field(owner.szUserName, sizeof(owner.szUserName));
  std::string text = ui::LoadString(id) + "\nMachineName:\t\t" + machine + "\nUsername:\t\t" + user;
  ui::RetrySaveMessageBox(m_side.window, text, "", ui::kOk | ui::kIconExclamation, false);
}

Recovery::Look Recovery::LookAtLock(const std::string& lockPath, LockOwnerInfo* owner) {
  LockManager& locks = m_host.Locks();
  std::lock_guard<std::recursive_mutex> guard(locks.m_csLock);
  LockManager::Which which = LockManager::kNone;
  switch (locks.OwnershipOf(lockPath, &which)) {
    case LockManager::Ownership::kReleased:
      return Look::kNotOurs;
    case LockManager::Ownership::kNever:
      // Opened without a lock: written as long as nobody else holds the model.
      return HeldBySomeoneElse(lockPath, nullptr) ? Look::kNotOurs : Look::kSound;
    case LockManager::Ownership::kHeld:
      if (locks.Refresh(which) == 1) return Look::kSound;
      break;
    case LockManager::Ownership::kLapsed:
      break;
  }
  // A lock file that cannot be written, or that is gone or names someone else while its directory
  // is there, is a lock that lapsed: take it again before anything is written.
  const int again = locks.Retake(which, owner);
  if (again == 1) return Look::kRetaken;
  if (again == 0 && (owner->szUserName[0] || owner->szMachineName[0])) return Look::kTakenByOther;
  return Look::kUnwritable;
}

bool Recovery::HeldAndSound(const std::string& lockPath) {
  LockManager& locks = m_host.Locks();
  std::lock_guard<std::recursive_mutex> guard(locks.m_csLock);
  LockManager::Which which = LockManager::kNone;
  return locks.OwnershipOf(lockPath, &which) == LockManager::Ownership::kHeld && locks.Refresh(which) == 1;
}

Recovery::Result Recovery::CheckModelDirectory(const ModelRef& model) {
  const std::string lockPath = model.LockPath();
  if (m_side.stopping()) return kStopped;
  // A lock file found ours is found in its directory: that needs no look of its own, a round trip
  // on a share for each request. Anything else is looked at in full below.
  if (HeldAndSound(lockPath)) return kUsable;
  bool firstLook = true;
  bool savedElsewhere = false;
  int unwritable = 0;
  for (;;) {
    if (m_side.stopping()) return kStopped;
    LockManager::Which which;
    if (m_host.Locks().OwnershipOf(lockPath, &which) == LockManager::Ownership::kReleased) return kNotOurs;
    bool usable = false;
    if (DirectoryExists(model.dir)) {
      LockOwnerInfo owner{};
      const Look look = LookAtLock(lockPath, &owner);
      if (look == Look::kNotOurs) return kNotOurs;
      if (look == Look::kSound && firstLook) return kUsable;
      if (look == Look::kTakenByOther) {
        ShowOwner(owner.bIsPermanent == 1 ? ui::kStrPermanentlyLockedBy : ui::kStrTemporarilyLockedBy, owner);
        if (m_side.copyThread) {
          // Somebody else has the model now: the changes can only go somewhere else.
          ui::WindowDisabler disabler(m_side.window);
          while (SaveModelElsewhere(model) != 1) {
            if (m_side.stopping() || !m_side.pause(CCopyThread::RetryPause())) return kStopped;
            ui::PlainMessageBox(m_side.window, kSelectDirectory);
          }
        } else if (SaveModelElsewhere(model) != 1) {
          // A cancelled browser is no move: the model is the colleague's now.
          return kNotOurs;
        }
        savedElsewhere = true;
        break;
      }
      if (look == Look::kUnwritable && m_side.silent) {
        // Nobody may be asked: the lock gets the tries a failing write gets, then the request goes.
        if (++unwritable > CCopyThread::kRetries) return kGiveUp;
        if (!m_side.pause(CCopyThread::RetryPause())) return kStopped;
        continue;
      }
      if (look != Look::kUnwritable) {
        if (!firstLook && !m_side.silent)
          ui::PlainMessageBox(m_side.window, ui::FormatString(ui::kStrContinueWorking, model.shownName));
        usable = true;
      }
    } else if (m_side.silent && !m_side.copyThread) {
      return kGiveUp;
    }
    if (usable) break;
    // At most two looks a second at a directory that stays missing, whoever answers Retry.
    if (!firstLook) {
      auto due = m_lastLook + CCopyThread::RetryPause();
      auto now = std::chrono::steady_clock::now();
      if (due > now && !m_side.pause(std::chrono::duration_cast<std::chrono::milliseconds>(due - now)))
        return kStopped;
    }
    m_lastLook = std::chrono::steady_clock::now();
    firstLook = false;
    if (!AskRetryOrSave(model)) {
      savedElsewhere = true;
      break;
    }
  }
  return savedElsewhere ? kMoved : kRecovered;
}

bool Recovery::AskRetryOrSave(const ModelRef& model) {
  const std::string text = ui::FormatString(ui::kStrRetryOrSaveQuestion, model.shownName);
  while (!m_side.stopping()) {
    ui::g_bRenameRetrySave = 1;
    ui::WindowDisabler disabler(m_side.copyThread ? m_side.window : 0);
    const int answer = ui::RetrySaveMessageBox(m_side.window, text, "", ui::kYesNo | ui::kIconQuestion, true);
    if (answer != ui::kIdNo) return true;
    if (SaveModelElsewhere(model) == 1) return false;
  }
  return true;
}

int Recovery::SaveModelElsewhere(const ModelRef& model) {
  LockManager& locks = m_host.Locks();
  LockManager::Which which = LockManager::kNone;
  const LockManager::Ownership owned = locks.OwnershipOf(model.LockPath(), &which);
  if (owned == LockManager::Ownership::kReleased) return 0;
  if (which == LockManager::kNone) {
    // A model opened without a lock takes its new lock into a slot that names none.
    for (LockManager::Which w : {LockManager::kPrimary, LockManager::kSecond})
      if (which == LockManager::kNone && locks.LockPath(w).empty()) which = w;
    if (which == LockManager::kNone) {
      ui::PlainMessageBox(m_side.window, ui::LoadString(ui::kStrCopyToNewDirectoryFailed));
      return 0;
    }
  }
  const LockSlot kept = locks.Snapshot(which);
  const std::string title = ui::LoadString(ui::kStrSelectFolderToSave);
  const std::intptr_t browserOwner = m_side.copyThread ? m_side.window : 0;
  std::string folder = ui::BrowseForFolder(browserOwner, title, kBrowseNewDialogStyle);
  while (!folder.empty()) {
    if (m_side.stopping()) return 0;
    const std::string native = path::ToNative(folder);
    const bool withoutSlash = native.back() != kSep;
    const std::string dir = path::WithSeparator(native);
    LockOwnerInfo owner{};
    const int taken = locks.AcquireLock(which, LockPathFor(dir, model.name), false, &owner);
    if (taken == 0) {
      ShowOwner(owner.bIsPermanent == 1 ? ui::kStrFolderPermanentlyLockedBy : ui::kStrFolderTemporarilyLockedBy, owner);
      locks.PutBack(which, kept);
    } else if (taken != 1 || !MoveModelTo(model, which, dir, withoutSlash)) {
      // A folder where no lock can be held is no place to carry on: the model would be unguarded.
      ui::PlainMessageBox(m_side.window, ui::LoadString(ui::kStrCopyToNewDirectoryFailed));
      if (taken == 1) locks.ReleaseLock(which);
      locks.PutBack(which, kept);
    } else {
      locks.ReleaseKept(kept);
      m_host.Carried();
      ui::PlainMessageBox(m_side.window, ui::LoadString(ui::kStrSavedAtNewLocation));
      return 1;
    }
    folder = ui::BrowseForFolder(browserOwner, title, kBrowseNewDialogStyle);
  }
  return 0;
}

bool Recovery::MoveModelTo(const ModelRef& model, LockManager::Which which, const std::string& to,
                           bool withoutSlash) {
  // No request may be queued for the old directory while the model moves: producers build theirs
  // under the queue's guard. The lock's guard comes first, as everywhere both are held.
  LockManager& locks = m_host.Locks();
  std::unique_lock<std::recursive_mutex> lockGuard, queueGuard;
  if (m_side.copyThread && m_side.csQueue) {
    lockGuard = std::unique_lock<std::recursive_mutex>(locks.m_csLock);
    queueGuard = std::unique_lock<std::recursive_mutex>(*m_side.csQueue);
  }
  std::vector<std::string> files;
  m_disk.ListFilesMatching("*.*", path::WithoutTrailingSeparators(model.workDir), files, 1);
  locks.ReleaseDataFile(which);
  const int copied = m_disk.WriteFileListInto(files, to);
  locks.HoldDataFile(which);
  if (copied != 1) return false;
  if (m_side.csQueue && !queueGuard.owns_lock()) queueGuard = std::unique_lock<std::recursive_mutex>(*m_side.csQueue);
  m_host.ModelMoved(model.dir, model.name, to, withoutSlash);
  if (m_side.queue) {
    // Every change of the model went along with its working copy.
    const std::string lockPath = model.LockPath();
    for (QueueNode* node : m_side.queue->RemoveIf([&](const QueueNode& r) { return GuardedBy(r, lockPath); }, true))
      delete node;
  }
  return true;
}

}  // namespace miradel
