// The control object's side of the write-back: the requests it queues for the copy thread, the
// synchronous write-back of the model's main files, and its own recovery from a lost share.
#include <chrono>
#include <thread>

#include "base/path.h"
#include "base/text.h"
#include "control/network_file_control.h"
#include "copy/copy_thread.h"
#include "model/unwritten_changes.h"
#include "platform/env.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"

namespace miradel {

int CNetworkFileControl::EnsureCopyThread() {
  if (m_bCopyThreadStarted == 0) {
    if (m_copy.StartCopyThread(this, m_hWndHost, m_bSilentMode) != 1) return 0;
    m_bCopyThreadStarted = 1;
  }
  return 1;
}

int CNetworkFileControl::QueueCopyRequest(const std::string& path, bool wake) {
  // A request that no thread would ever serve is not taken.
  if (!EnsureCopyThread()) return 0;
  auto node = std::make_unique<QueueNode>();
  node->m_strSource = path;
  node->m_strTarget = m_location.m_modelDir.Get();
  node->m_nKind = RequestCopy;
  if (!m_copy.Enqueue(node.get(), wake)) return 0;
  node.release();
  return 1;
}

int CNetworkFileControl::QueueDeleteRequest(const std::string& name) {
  // A name that leads out of the model directory names nothing of the model's.
  if (!path::StaysInside(name)) return 0;
  const std::string target = m_location.m_modelDir.Get() + name;
  if (!platform::PathExists(target)) return 0;
  if (!EnsureCopyThread()) return 0;
  auto node = std::make_unique<QueueNode>();
  node->m_strSource = target;
  node->m_strTarget = m_location.m_strQVTempDir;
  node->m_nKind = RequestDelete;
  if (!m_copy.Enqueue(node.get())) return 0;
  node.release();
  return 1;
}

void CNetworkFileControl::QueueCopyOrDelete(const std::string& path) {
  if (platform::PathExists(path))
    QueueCopyRequest(path);
  else
    QueueDeleteRequest(path::BaseName(path));
}

int CNetworkFileControl::EnqueueAndCopyFile(const std::string& path) { return QueueCopyRequest(path); }

void CNetworkFileControl::ASynchCopy(int mode, const std::string& name, const std::string& extension) {
  if (m_location.m_modelDir.Get().empty() || m_location.m_strQVTempDir.empty() || mode != 2) return;
  std::string file = text::TrimTrailingBlanks(name);
  if (!extension.empty()) file = text::TrimTrailingBlanks(file + "." + extension);
  // Only the working copy's own files are written back.
  if (!path::StaysInside(file)) return;
  QueueCopyOrDelete(m_location.m_strQVTempDir + file);
}

void CNetworkFileControl::ASynchCopyExt(int mode, const std::string& extension) {
  if (m_location.m_modelDir.Get().empty() || m_location.m_strQVTempDir.empty() || mode != 2 || extension.empty())
    return;
  std::vector<std::string> files;
  m_diskObject.ListFilesMatching(text::TrimTrailingBlanks("*." + extension), m_location.m_strQVTempDir, files, 1);
  if (files.empty()) return;
  for (const std::string& file : files) QueueCopyRequest(file, false);
  m_copy.Wake();
}

void CNetworkFileControl::AsynchCpyMdlFl(const std::string& extension) {
  if (m_location.m_modelDir.Get().empty() || m_location.m_strQVTempDir.empty() || extension.empty()) return;
  const std::string ext = text::TrimTrailingBlanks(extension);
  if (!path::StaysInside(ext)) return;
  QueueCopyOrDelete(m_location.m_strQVTempDir + m_location.m_strModelName + "." + ext);
}

void CNetworkFileControl::ASynchDelete(const std::string& name) {
  if (m_location.m_modelDir.Get().empty() || m_location.m_strQVTempDir.empty()) return;
  QueueDeleteRequest(text::TrimTrailingBlanks(name));
}

std::string CNetworkFileControl::ModelDirectory() { return m_location.m_modelDir.Get(); }

void CNetworkFileControl::MoveModelDirectory(const std::string& dir, bool givenWithoutSlash) {
  m_location.MoveTo(dir, givenWithoutSlash);
}

void CNetworkFileControl::RecordUnwritten(const QueueNode& request) {
  const bool isDelete = request.m_nKind == RequestDelete;
  const std::string workingCopy =
      isDelete ? path::WithSeparator(request.m_strTarget) : path::DirectoryPart(request.m_strSource);
  const std::string modelDir =
      isDelete ? path::DirectoryPart(request.m_strSource) : path::WithSeparator(request.m_strTarget);
  const std::string working = workingCopy + path::BaseName(request.m_strSource);
  UnwrittenEntry entry{isDelete ? UnwrittenKind::kDelete : UnwrittenKind::kCopy, path::BaseName(request.m_strSource)};
  if (!miradel::RecordUnwritten(workingCopy, modelDir, ModelNameOfWorkingFile(working), entry)) {
    platform::Diagnostic("miradel: could not record the unwritten change " + working +
                         "; it stays in the working copy");
    std::lock_guard<std::mutex> guard(m_csUnrecorded);
    m_unrecorded.insert(text::LowerCase(workingCopy));
  }
}

void CNetworkFileControl::ClearWorkingCopy(int usePrevious) {
  const std::string dir = usePrevious == 1 ? m_location.m_strSavedQVTempDir : m_location.m_strQVTempDir;
  KeepPendingChanges(dir);
  bool unrecorded;
  {
    std::lock_guard<std::mutex> guard(m_csUnrecorded);
    unrecorded = !dir.empty() && m_unrecorded.count(text::LowerCase(path::WithSeparator(dir))) != 0;
  }
  if (unrecorded) {
    platform::Diagnostic("miradel: the working copy " + dir + " is kept: it holds changes not written back");
    return;
  }
  m_staging.ClearTempDir(usePrevious);
}

void CNetworkFileControl::WrittenBack(const QueueNode& request) {
  const std::string workingCopy = request.m_nKind == RequestDelete ? path::WithSeparator(request.m_strTarget)
                                                                   : path::DirectoryPart(request.m_strSource);
  // One look at a file that is almost never there.
  if (HasUnwritten(workingCopy)) ClearUnwritten(workingCopy, path::BaseName(request.m_strSource));
}

void CNetworkFileControl::KeepPendingChanges(const std::string& workingCopy) {
  if (workingCopy.empty()) return;
  for (const QueueNode& request : m_copy.Pending()) {
    const std::string& working = request.m_nKind == RequestDelete ? request.m_strTarget : request.m_strSource;
    if (text::StartsWithNoCase(working, path::WithSeparator(workingCopy))) RecordUnwritten(request);
  }
}

Recovery CNetworkFileControl::ControlRecovery() {
  Recovery::Side side;
  side.window = m_hWndHost;
  side.silent = m_bSilentMode;
  side.pause = [](std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
    return true;
  };
  return Recovery(*this, m_diskObject, std::move(side));
}

int CNetworkFileControl::CheckModelDirectory() {
  return ControlRecovery().CheckModelDirectory(m_location.m_modelDir.Get(), m_location.m_strModelName,
                                               m_location.m_strQVTempDir);
}

int CNetworkFileControl::SaveModelElsewhere() {
  return ControlRecovery().SaveModelElsewhere(m_location.m_strQVTempDir, m_location.m_strModelName);
}

int CNetworkFileControl::CopyModelFrmTmp() {
  m_copy.WaitForQueueEmpty();
  if (m_locks.RefreshPrimary() == 0) CheckModelDirectory();
  const std::string& name = m_location.m_strModelName;
  const std::string& work = m_location.m_strQVTempDir;
  if (work.empty() || name.empty()) return 0;
  const std::vector<std::string> files = {work + name + ".dat", work + name + ".prv"};
  bool retryChosen = false;
  for (;;) {
    m_locks.ReleaseDataFile(LockManager::kPrimary);
    // Both must arrive: the data file is the model. One the working copy lacks has nothing to write.
    bool written = true;
    for (const std::string& file : files)
      if (platform::PathExists(file) && m_diskObject.WriteFileInto(file, m_location.m_modelDir.Get()) != 1)
        written = false;
    m_locks.HoldDataFile(LockManager::kPrimary);
    if (written) {
      if (HasUnwritten(work))
        for (const std::string& file : files) ClearUnwritten(work, path::BaseName(file));
      if (retryChosen && !m_bSilentMode)
        ui::PlainMessageBox(m_hWndHost, ui::FormatString(ui::kStrContinueWorkingQuoted, name));
      return 1;
    }
    if (CheckModelDirectory() != Recovery::kUsable) continue;
    if (retryChosen && !m_bSilentMode)
      ui::PlainMessageBox(m_hWndHost, ui::LoadString(ui::kStrModelDirectoryStillUnavailable));
    if (m_bSilentMode) {
      // Given up, not done: the change stays in the working copy, which says so.
      for (const std::string& file : files) {
        QueueNode request;
        request.m_strSource = file;
        request.m_strTarget = m_location.m_modelDir.Get();
        if (platform::PathExists(file)) RecordUnwritten(request);
      }
      return 0;
    }
    ui::g_bRenameRetrySave = 1;
    const int answer = ui::RetrySaveMessageBox(m_hWndHost, ui::FormatString(ui::kStrRetryOrSaveQuestion, name), "",
                                               ui::kYesNo | ui::kIconQuestion, true);
    if (answer == ui::kIdNo) {
      SaveModelElsewhere();
    } else {
      retryChosen = true;
      // Whoever answers Retry at once, the share is not asked more than twice a second.
      std::this_thread::sleep_for(CCopyThread::RetryPause());
    }
  }
}

}  // namespace miradel
