// The control object's side of the copy thread: starting it, waiting for it, parking it.
#include <memory>
#include <thread>

#include "control/network_file_control.h"
#include "copy/copy_thread.h"
#include "platform/env.h"

namespace miradel {

int CNetworkFileControl::StartCopyThread() {
  if (m_pCopyThread) return 1;
  auto thread = std::make_unique<CCopyThread>();
  thread->SetSilentMode(m_bSilentMode);
  thread->SetQueue(&m_requestQueue, &m_csQueue);
  thread->SetLocks(&m_primaryLock, &m_secondLock, &m_csLock);
  thread->SetHostWindow(&m_hWndHost);
  thread->AttachModelDirectory(&m_modelDir, &m_bDirGivenWithoutSlash);
  try {
    thread->Start();
  } catch (...) {
    // Without a thread nothing would ever empty the queue: the waits must not think one runs.
    return 0;
  }
  m_pCopyThread = thread.release();
  platform::PinLibrary();
  return 1;
}

// Never call this or SuspendCopyThreadAndWait holding m_csLock or m_csQueue: the thread needs both
// to finish a request.
void CNetworkFileControl::WaitForQueueEmpty() {
  if (m_bCopyThreadStarted != 1 || !m_pCopyThread) return;
  int count = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(m_csQueue);
    count = m_requestQueue.GetCount();
  }
  // A parked thread serves nothing until it is woken or resumed: waiting would never end.
  if (m_pCopyThread->IsIdle()) return;
  while (count > 0) {
    std::this_thread::sleep_for(CCopyThread::PollInterval());
    {
      std::lock_guard<std::recursive_mutex> lock(m_csQueue);
      count = m_requestQueue.GetCount();
    }
    if (m_pCopyThread->IsIdle()) return;
  }
}

void CNetworkFileControl::SuspendCopyThreadAndWait() {
  if (!m_pCopyThread) return;
  // The thread parks only between requests: this covers the request in progress and its retries.
  if (m_pCopyThread->RequestSuspend()) return;
  while (!m_pCopyThread->IsIdle()) std::this_thread::sleep_for(CCopyThread::PollInterval());
}

void CNetworkFileControl::ResumeCopyThread() {
  if (m_pCopyThread) m_pCopyThread->Resume();
}

void StopCopyThread(CNetworkFileControl& control) {
  delete control.m_pCopyThread;
  control.m_pCopyThread = nullptr;
}

void AbandonCopyThread(CNetworkFileControl& control) {
  if (control.m_pCopyThread) control.m_pCopyThread->Abandon();
  // Deliberately not destroyed: the thread may still be using it.
  control.m_pCopyThread = nullptr;
}

}  // namespace miradel
