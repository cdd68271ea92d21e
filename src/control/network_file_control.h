// The one object that holds all state of the open model. Every export works on the global
// instance; the copy thread works beside the host's thread on the same object, through the narrow
// CopyHost interface only.
//
// The state lives with the feature that owns it: the model location (model/), the working copy
// and its copies (model/ Staging), the two lock slots and their guard (lock/ LockManager), the
// request queue and the copy thread (copy/ CopyService), the companion files and the host's file
// list (companion/ CompanionFiles), the archives' extra files (archive/ ModelArchive). This object
// wires them together and is what the exports call: one operation per export.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "archive/model_archive.h"
#include "companion/companion_files.h"
#include "copy/copy_host.h"
#include "copy/copy_service.h"
#include "copy/recovery.h"
#include "disk/disk_object.h"
#include "lock/lock_manager.h"
#include "model/model_location.h"
#include "model/pending_writes.h"
#include "model/staging.h"

namespace miradel {

class CNetworkFileControl : public CopyHost {
 public:
  static constexpr std::size_t kPathBuffer = ModelLocation::kPathBuffer;

  CNetworkFileControl();
  ~CNetworkFileControl() override;
  CNetworkFileControl(const CNetworkFileControl&) = delete;
  CNetworkFileControl& operator=(const CNetworkFileControl&) = delete;

  // Settings and getters.
  void SetHwnd(std::intptr_t window) { m_hWndHost = window; }
  void SetSilentMode(int silent) { m_bSilentMode = silent; }
  // The host's version number: the version tag, the dotted text and the two lock texts.
  void SetVersionNumber(int version);
  // The platform's user name with its terminator into buffer of size bytes; 0 when it does not fit.
  int GetUserName(char* buffer, int size);
  int SetWorkingDirectory(const Path& dir);

  // Model existence (the host asks before it opens a model).
  int IsThisModelDir(const Path& dir);
  int CheckModelExist(const Path& dir, const Path& name, const std::string& extension);
  int FileExistMdlTmp(const Path& name, int place);

  // Locks: the sequences behind the lock exports.
  int GetLock(LockOwnerInfo* owner, const Path& dir, const std::string& name);
  int GetSecondLock(LockOwnerInfo* owner, const Path& dir, const std::string& name, int mode);
  void SetModelVars();
  void GetOldModel(int keepLock);
  void GetOldModLck();
  void ReleaseLock();
  void ReleaseLockOnly();
  void ReleaseOldLock();
  int PermLock(int permanent);

  // The working copy.
  // Stores directory and name, makes a new QV temporary directory and starts the copy thread once;
  // 0 when either cannot be done.
  int SetModelDirectory(const Path& dir, const std::string& name);
  void ClearPreviousTempDir();

  // Write-back requests for the copy thread (the exports NW_EnqueueAndCopyFile, NW_ASynchCopy,
  // NW_ASynchCopyExt, NW_AsynchCpyMdlFl, NW_ASynchDelete). Each belongs to the open model: its
  // directory and name go with it. A request made before the copy thread runs starts it; one made
  // before there is a model directory, or that no thread could serve, is not queued (the results
  // say so where the export has one, else a diagnostic line).
  int EnqueueAndCopyFile(const Path& path);
  void ASynchCopy(int mode, const Path& name, const std::string& extension);
  void ASynchCopyExt(int mode, const std::string& extension);
  void AsynchCpyMdlFl(const std::string& extension);
  void ASynchDelete(const Path& name);
  // 1 queued; 0 refused (a duplicate, no model directory, or no copy thread).
  int QueueCopyRequest(const std::string& path, bool wake = true);
  int QueueDeleteRequest(const std::string& name);
  void QueueCopyOrDelete(const std::string& path);

  // The open model as recovery sees it.
  ModelRef OpenModel();
  // Recovery on the host's thread (see Recovery): 2 usable, 1 usable again, 0 moved, 4 not ours.
  int CheckModelDirectory();
  int SaveModelElsewhere();
  // Writes the model's data file and its ".prv" file back now: 1 written; 0 given up (silent mode,
  // where nobody can be asked, or the model is somebody else's now: the files are recorded as
  // unwritten).
  int CopyModelFrmTmp();
  // The whole working copy to the model directory, noted in the journal first.
  int CopyAllFromTemp();
  // Save As: mode 0 ordinary, else read-only (dir and name: the model's current directory and
  // name; dirText/dirLength receive the new directory). Results as NW_SaveAs.
  int SaveAs(int mode, LockOwnerInfo* owner, char* dirText, int* dirLength, const std::string& dir,
             const std::string& name);

  // The model location.
  void GetModelDirText(char* buffer) const { m_location.GetModelDirText(buffer); }
  void GetQVTempDirText(char* buffer) const { m_location.GetQVTempDirText(buffer); }
  int CompareModel(const Path& dir, const std::string& name) const { return m_location.CompareModel(dir, name); }
  void StoreDirOnly(const Path& dir) { m_location.StoreDirOnly(dir); }
  void SwapModelDirs() { m_location.SwapModelDirs(); }

  // Synchronous copies between the model directory and the working copy.
  void ResetUntLibData() { m_staging.SetUntLibData(0, 0, ""); }
  int CopyModelToTemp(int mode) { return m_staging.CopyModelToTemp(mode, m_hWndHost); }
  int CopyNamedFileToTemp(const Path& name, const std::string& extension) {
    return m_staging.CopyNamedFileToTemp(name.str(), extension);
  }
  int CopyExtensionToTemp(const std::string& extension) { return m_staging.CopyExtensionToTemp(extension); }
  int CopyFileToModel(const Path& name, const std::string& extension, int showMessage) {
    return m_staging.CopyFileToModel(name.str(), extension, showMessage, m_hWndHost);
  }

  // The model's data file, held open while the lock is (NW_GetModLock, NW_ReleasModLock).
  void HoldDataFile() { m_locks.HoldDataFile(LockManager::kPrimary); }
  void ReleaseDataFile() { m_locks.ReleaseDataFile(LockManager::kPrimary); }
  // 1 while the lock is held (or cannot be looked at now), 0 when it was lost.
  int CheckLock() { return m_locks.CheckLock() ? 1 : 0; }

  // Parks the copy thread (park) or releases it.
  void ParkCopyThread(bool park) { park ? m_copy.SuspendCopyThreadAndWait() : m_copy.ResumeCopyThread(); }

  // The companion files and the host's file list.
  int CopySpectrumFiles(const int* flags, int count, int showMessage) {
    return m_companion.CopySpectrumFiles(flags, count, showMessage, m_hWndHost);
  }
  int CopyFSFilesToDirectory(const Path& dir, const std::string& newName, int count) {
    return m_companion.CopyFSFilesToDirectory(dir.str(), newName, count);
  }
  void ClearFileList() { m_companion.ClearFileList(); }
  void AppendToFileList(const Path& name, const std::string& extension) {
    m_companion.AppendToFileList(name.str(), extension);
  }
  int FileListContains(const Path& name) const { return m_companion.FileListContains(name.str()); }
  int CopyFileList(int direction, int removeDuplicates) { return m_companion.CopyFileList(direction, removeDuplicates); }
  int FatigueFilesOperation(int mode, int ask) { return m_companion.FatigueFilesOperation(mode, ask, m_hWndHost); }
  int CopyTihFiles() { return m_companion.CopyTihFiles(); }
  int CopyTTAFiles(int copy) { return m_companion.CopyTTAFiles(copy, m_hWndHost); }

  // The properties dialog of modelFile (a name in the model directory); 1 when shown.
  int ShowFileProperties(const std::string& modelFile, const std::string& lastSavedBy, int alwaysShow, int revision);
  // The model archives.
  void ArchiveModel();
  void AddInArchive(int index, const std::string& name, const std::string& extension) {
    m_archive.AddInArchive(index, name, extension);
  }
  ModelArchive::Opened OpenArchive() {
    return m_archive.OpenArchive(m_location.ModelDir(), m_location.m_strModelName);
  }

  // CopyHost.
  LockManager& Locks() override { return m_locks; }
  void ModelMoved(const std::string& oldDir, const std::string& name, const std::string& newDir,
                  bool givenWithoutSlash) override;
  void RecordUnwritten(const QueueNode& request) override;
  void Leaving(const QueueNode& request, bool written) override;
  void Carried() override { SettleJournal(); }

  // At unload on Windows, where the thread cannot be waited for: it is left where it stands.
  void AbandonCopyThread() { m_copy.Abandon(); }
  // Stops the copy thread and waits for it, and closes every lock handle without deleting a file.
  void StopAndLetGo() {
    m_copy.Stop();
    m_locks.Abandon();
  }

  // The tests look inside (tests/support/host_test.h).
  friend class ControlInside;

 private:
  // Releases a slot; the requests its lock guarded, if this process holds that lock no more, leave
  // the queue recorded as unwritten: they may never be written there now.
  void ReleaseSlot(LockManager::Which which);
  void StrandRequests(const std::string& lockPath);
  // Working files that are about to be written, noted in the journal of their working copy (the
  // open model's unless named). A synchronous write-back notes under a PendingWrites::Holding and
  // releases it before Wrote: once they were written, the record and the journal forget them,
  // else the record keeps them.
  void NoteWrites(const std::vector<std::string>& files);
  void NoteWrites(const std::vector<std::string>& files, const Path& work, const Path& dir,
                  const std::string& name);
  void Wrote(const std::vector<std::string>& files, bool written);
  // Empties the journals once no request is left in the queue but the one leaving it (by serial).
  void SettleJournal(std::uint64_t leaving = 0);

  // Starts the copy thread the first time: 1 when one runs.
  int EnsureCopyThread();
  // Queues node for the open model: it is placed in the model's directory and name under the
  // queue's guard, as a move changes them under it, and noted in the journal first.
  int Submit(std::unique_ptr<QueueNode> node, bool wake);
  // Removes the working copy (usePrevious 0) or the previous one (1), unless it holds changes not
  // written back: requests still queued for it are recorded as unwritten first, and one whose
  // record could not be written stays all the same.
  void ClearWorkingCopy(int usePrevious);
  void KeepPendingChanges(const Path& workingCopy);
  Recovery ControlRecovery();

  CDiskObject m_diskObject;
  // The journal of write-backs on their way; before m_copy, so that it outlives the thread.
  PendingWrites m_pending;
  ModelLocation m_location;
  Staging m_staging{m_location, m_diskObject};
  LockManager m_locks;
  CopyService m_copy;
  // The companion files and the host's file list (m_fileList).
  CompanionFiles m_companion{m_location, m_diskObject, m_staging};
  int m_bCopyThreadStarted = 0;
  // Working copies (lower-cased) holding a change whose record could not be written.
  // Written by the copy thread too.
  std::set<std::string> m_unrecorded;
  std::mutex m_csUnrecorded;
  int m_bSilentMode = 0;
  // The extra files of the next archive (m_strArchiveAddIn).
  ModelArchive m_archive{m_diskObject};
  std::intptr_t m_hWndHost = 0;
};

}  // namespace miradel
