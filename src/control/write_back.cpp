// The control object's side of the write-back: the requests it queues for the copy thread, the
// synchronous write-backs, the journal of what is on its way, and its own recovery from a lost
// share.
#include <chrono>
#include <thread>

#include "base/path.h"
#include "base/text.h"
#include "control/network_file_control.h"
#include "copy/copy_thread.h"
#include "lock/lock_path.h"
#include "model/unwritten_changes.h"
#include "platform/env.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"

namespace miradel {

namespace {
// A write-back asked for before there is a model directory has nowhere to go.
bool NoModelDirectory(const Path& dir, const char* what) {
  if (!dir.empty()) return false;
  platform::Diagnostic(std::string("miradel: ") + what + " refused: no model directory is set (NW_SetModelDir)");
  return true;
}

// How the journal and the record of unwritten changes name a request.
UnwrittenEntry EntryOf(const QueueNode& request) {
  return {request.Kind() == RequestDelete ? UnwrittenKind::kDelete : UnwrittenKind::kCopy,
          path::BaseName(request.WorkingFile())};
}

// The entries of the files that lie in the working copy work (others are not its changes).
std::vector<UnwrittenEntry> EntriesIn(const std::vector<std::string>& files, const std::string& work) {
  std::vector<UnwrittenEntry> entries;
  for (const std::string& file : files)
    if (text::EqualsNoCase(path::DirectoryPart(file), work)) entries.push_back({UnwrittenKind::kCopy, path::BaseName(file)});
  return entries;
}
}  // namespace

int CNetworkFileControl::EnsureCopyThread() {
  if (m_bCopyThreadStarted == 0) {
    if (m_copy.StartCopyThread(this, m_hWndHost, m_bSilentMode) != 1) return 0;
    m_bCopyThreadStarted = 1;
  }
  return 1;
}

int CNetworkFileControl::Submit(std::unique_ptr<QueueNode> node, bool wake) {
  std::lock_guard<std::recursive_mutex> journal(m_pending.Mutex());
  {
    std::lock_guard<std::recursive_mutex> queue(m_copy.m_csQueue);
    const Path dir = m_location.ModelDir();
    if (NoModelDirectory(dir, "a write-back")) return 0;
    node->Place(dir.str(), m_location.m_strModelName);
    const Path& work = m_location.WorkingCopy();
    const std::string& working = node->WorkingFile();
    // Before it is queued, so that no kill between the two can leave it unnamed.
    if (!work.empty() && text::EqualsNoCase(path::DirectoryPart(working), work.str()))
      m_pending.Note(work, dir, node->Model(), {EntryOf(*node)});
    if (!m_copy.Enqueue(node.get(), false)) return 0;
  }
  node.release();
  if (wake) m_copy.Wake();
  return 1;
}

int CNetworkFileControl::QueueCopyRequest(const std::string& path, bool wake) {
  // A request that no thread would ever serve is not taken.
  if (NoModelDirectory(m_location.ModelDir(), "a write-back") || !EnsureCopyThread()) return 0;
  return Submit(QueueNode::Copy(path), wake);
}

int CNetworkFileControl::QueueDeleteRequest(const std::string& name) {
  // A name that leads out of the model directory names nothing of the model's.
  if (!path::StaysInside(name)) return 0;
  const Path dir = m_location.ModelDir();
  if (NoModelDirectory(dir, "a delete") || !platform::PathExists(dir.Join(name).str()) || !EnsureCopyThread()) return 0;
  return Submit(QueueNode::Delete(name, m_location.WorkingCopy().str()), true);
}

void CNetworkFileControl::QueueCopyOrDelete(const std::string& path) {
  if (platform::PathExists(path))
    QueueCopyRequest(path);
  else
    QueueDeleteRequest(path::BaseName(path));
}

int CNetworkFileControl::EnqueueAndCopyFile(const Path& path) { return QueueCopyRequest(path.str()); }

void CNetworkFileControl::ASynchCopy(int mode, const Path& name, const std::string& extension) {
  if (NoModelDirectory(m_location.ModelDir(), "NW_ASynchCopy") || m_location.WorkingCopy().empty() ||
      mode != 2)
    return;
  std::string file = text::TrimTrailingBlanks(name.str());
  if (!extension.empty()) file = text::TrimTrailingBlanks(file + "." + extension);
  // Only the working copy's own files are written back.
  if (!path::StaysInside(file)) return;
  QueueCopyOrDelete(m_location.WorkingCopy().Join(file).str());
}

void CNetworkFileControl::ASynchCopyExt(int mode, const std::string& extension) {
  if (NoModelDirectory(m_location.ModelDir(), "NW_ASynchCopyExt") || m_location.WorkingCopy().empty() ||
      mode != 2 || extension.empty())
    return;
  std::vector<std::string> files;
  m_diskObject.ListFilesMatching(text::TrimTrailingBlanks("*." + extension), m_location.WorkingCopy().str(), files, 1);
  if (files.empty()) return;
  for (const std::string& file : files) QueueCopyRequest(file, false);
  m_copy.Wake();
}

void CNetworkFileControl::AsynchCpyMdlFl(const std::string& extension) {
  if (NoModelDirectory(m_location.ModelDir(), "NW_AsynchCpyMdlFl") || m_location.WorkingCopy().empty() ||
      extension.empty())
    return;
  const std::string ext = text::TrimTrailingBlanks(extension);
  if (!path::StaysInside(ext)) return;
  QueueCopyOrDelete(m_location.WorkingCopy().Join(m_location.m_strModelName + "." + ext).str());
}

void CNetworkFileControl::ASynchDelete(const Path& name) {
  if (NoModelDirectory(m_location.ModelDir(), "NW_ASynchDelete") || m_location.WorkingCopy().empty()) return;
  QueueDeleteRequest(text::TrimTrailingBlanks(name.str()));
}

void CNetworkFileControl::ModelMoved(const std::string& oldDir, const std::string& name, const std::string& newDir,
                                     bool givenWithoutSlash) {
  m_location.MoveModel(oldDir, name, newDir, givenWithoutSlash);
}

void CNetworkFileControl::RecordUnwritten(const QueueNode& request) {
  const ModelRef model = ModelOf(request);
  const std::string& working = request.WorkingFile();
  if (!miradel::RecordUnwritten(Path::FromText(model.workDir), Path::FromText(model.dir), model.name,
                                EntryOf(request))) {
    platform::Diagnostic("miradel: could not record the unwritten change " + working +
                         "; it stays in the working copy");
    std::lock_guard<std::mutex> guard(m_csUnrecorded);
    m_unrecorded.insert(text::LowerCase(model.workDir));
  }
}

void CNetworkFileControl::Leaving(const QueueNode& request, bool written) {
  const std::string& working = request.WorkingFile();
  // A change of that file given up before is written now (a look at a record that is almost never
  // there).
  if (written) ClearUnwritten(Path::FromText(working).Parent(), path::BaseName(working));
  SettleJournal(request.Serial());
}

void CNetworkFileControl::SettleJournal(std::uint64_t leaving) {
  std::lock_guard<std::recursive_mutex> journal(m_pending.Mutex());
  std::lock_guard<std::recursive_mutex> queue(m_copy.m_csQueue);
  const FilePathQueue& q = m_copy.m_requestQueue;
  if (q.IsEmpty() || (q.GetCount() == 1 && q.Head()->Serial() == leaving)) m_pending.ClearAll();
}

void CNetworkFileControl::StrandRequests(const std::string& lockPath) {
  LockManager::Which which;
  if (lockPath.empty() || m_locks.OwnershipOf(lockPath, &which) != LockManager::Ownership::kReleased) return;
  std::lock_guard<std::recursive_mutex> journal(m_pending.Mutex());
  std::vector<QueueNode*> removed;
  {
    std::lock_guard<std::recursive_mutex> queue(m_copy.m_csQueue);
    removed = m_copy.m_requestQueue.RemoveIf([&](const QueueNode& r) { return GuardedBy(r, lockPath); });
  }
  for (QueueNode* node : removed) {
    std::unique_ptr<QueueNode> owned(node);
    RecordUnwritten(*node);
  }
  SettleJournal();
}

void CNetworkFileControl::ClearWorkingCopy(int usePrevious) {
  const Path dir = usePrevious == 1 ? m_location.SavedWorkingCopy() : m_location.WorkingCopy();
  KeepPendingChanges(dir);
  m_pending.Close(dir);
  bool unrecorded;
  {
    std::lock_guard<std::mutex> guard(m_csUnrecorded);
    unrecorded = !dir.empty() && m_unrecorded.count(text::LowerCase(dir.AsDirectory().str())) != 0;
  }
  if (unrecorded) {
    platform::Diagnostic("miradel: the working copy " + dir.str() + " is kept: it holds changes not written back");
    return;
  }
  m_staging.ClearTempDir(usePrevious);
}

void CNetworkFileControl::KeepPendingChanges(const Path& workingCopy) {
  if (workingCopy.empty()) return;
  for (const QueueNode& request : m_copy.Pending())
    if (text::StartsWithNoCase(request.WorkingFile(), workingCopy.AsDirectory().str())) RecordUnwritten(request);
}

void CNetworkFileControl::NoteWrites(const std::vector<std::string>& files) {
  NoteWrites(files, m_location.WorkingCopy(), m_location.ModelDir(), m_location.m_strModelName);
}

void CNetworkFileControl::NoteWrites(const std::vector<std::string>& files, const Path& work, const Path& dir,
                                     const std::string& name) {
  const std::vector<UnwrittenEntry> entries = EntriesIn(files, work.str());
  if (!entries.empty() && !m_pending.Note(work, dir, name, entries))
    platform::Diagnostic("miradel: could not note the write-back of " + work.str() + " in its journal");
}

void CNetworkFileControl::Wrote(const std::vector<std::string>& files, bool written) {
  const Path& work = m_location.WorkingCopy();
  const std::vector<UnwrittenEntry> entries = EntriesIn(files, work.str());
  if (written) {
    // A change of those files given up before is written now (a look at a record almost never there).
    std::vector<std::string> names;
    for (const UnwrittenEntry& e : entries) names.push_back(e.file);
    if (!names.empty()) ClearUnwritten(work, names);
    SettleJournal();
  } else if (!entries.empty() &&
             !miradel::RecordUnwritten(work, m_location.ModelDir(), m_location.m_strModelName, entries)) {
    platform::Diagnostic("miradel: could not record the unwritten changes of " + work.str() + "; they stay in it");
    std::lock_guard<std::mutex> guard(m_csUnrecorded);
    m_unrecorded.insert(text::LowerCase(work.str()));
  }
}

int CNetworkFileControl::CopyAllFromTemp() {
  const std::string& work = m_location.WorkingCopy().str();
  if (work.empty()) return 0;
  std::vector<std::string> files;
  m_diskObject.ListFilesMatching("*.*", work, files, 1);
  PendingWrites::Holding holding(m_pending);
  NoteWrites(files);
  const int written = m_staging.CopyTempToModel(files);
  holding.Release();
  // Not known to be on the share: kept until it is.
  Wrote(files, written == 1);
  return written;
}

ModelRef CNetworkFileControl::OpenModel() {
  ModelRef m;
  m.dir = m_location.ModelDir().str();
  m.name = m.shownName = m_location.m_strModelName;
  m.workDir = m_location.WorkingCopy().str();
  return m;
}

Recovery CNetworkFileControl::ControlRecovery() {
  Recovery::Side side;
  side.window = m_hWndHost;
  side.silent = m_bSilentMode;
  side.csQueue = &m_copy.m_csQueue;
  side.queue = &m_copy.m_requestQueue;
  side.pause = [](std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
    return true;
  };
  return Recovery(*this, m_diskObject, std::move(side));
}

int CNetworkFileControl::CheckModelDirectory() { return ControlRecovery().CheckModelDirectory(OpenModel()); }

int CNetworkFileControl::SaveModelElsewhere() { return ControlRecovery().SaveModelElsewhere(OpenModel()); }

int CNetworkFileControl::CopyModelFrmTmp() {
  m_copy.WaitForQueueEmpty();
  const std::string& name = m_location.m_strModelName;
  const std::string& work = m_location.WorkingCopy().str();
  if (work.empty() || name.empty()) return 0;
  // Both must arrive: the data file is the model. One the working copy lacks has nothing to write.
  std::vector<std::string> files;
  for (const char* ext : {".dat", ".prv"})
    if (platform::PathExists(work + name + ext)) files.push_back(work + name + ext);
  PendingWrites::Holding holding(m_pending);
  NoteWrites(files);
  auto giveUp = [&] {
    // Given up, not done: the change stays in the working copy, which says so.
    holding.Release();
    Wrote(files, false);
    return 0;
  };
  bool retryChosen = false;
  int check = CheckModelDirectory();
  for (;;) {
    if (check == Recovery::kNotOurs || check == Recovery::kGiveUp) return giveUp();
    // Into the directory as it is: one that vanished is a lost share, not a place to make anew.
    const std::string dir = m_location.ModelDir().str();
    bool written = true;
    m_locks.ReleaseDataFile(LockManager::kPrimary);
    for (const std::string& file : files)
      if (!platform::Current().ReplaceWithCopy(file, dir + path::BaseName(file)).ok()) written = false;
    m_locks.HoldDataFile(LockManager::kPrimary);
    if (written) {
      holding.Release();
      Wrote(files, true);
      if (retryChosen && !m_bSilentMode)
        ui::PlainMessageBox(m_hWndHost, ui::FormatString(ui::kStrContinueWorkingQuoted, name));
      return 1;
    }
    check = CheckModelDirectory();
    if (check != Recovery::kUsable) continue;
    if (retryChosen && !m_bSilentMode)
      ui::PlainMessageBox(m_hWndHost, ui::LoadString(ui::kStrModelDirectoryStillUnavailable));
    if (m_bSilentMode) return giveUp();
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
