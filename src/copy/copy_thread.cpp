#include "copy/copy_thread.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/path.h"
#include "base/text.h"
#include "copy/copy_thread_timings.h"
#include "platform/env.h"
#include "ui/string_table.h"
#include "ui/user_interface.h"
#include "ui/window_disabler.h"

namespace miradel {

namespace {
constexpr std::chrono::milliseconds kProductRetryPause{500};
constexpr std::chrono::milliseconds kProductPollInterval{200};
std::atomic<long long> g_retryPauseMs{kProductRetryPause.count()};
std::atomic<long long> g_pollIntervalMs{kProductPollInterval.count()};
std::atomic<long long> g_parkDelayUs{0};
}  // namespace

void CopyThreadTimings::SetRetryPause(std::chrono::milliseconds pause) { g_retryPauseMs = pause.count(); }
void CopyThreadTimings::SetPollInterval(std::chrono::milliseconds interval) { g_pollIntervalMs = interval.count(); }
void CopyThreadTimings::SetParkDelay(std::chrono::microseconds delay) { g_parkDelayUs = delay.count(); }
void CopyThreadTimings::Restore() {
  g_retryPauseMs = kProductRetryPause.count();
  g_pollIntervalMs = kProductPollInterval.count();
  g_parkDelayUs = 0;
}

std::chrono::milliseconds CCopyThread::RetryPause() { return std::chrono::milliseconds(g_retryPauseMs.load()); }
std::chrono::milliseconds CCopyThread::PollInterval() { return std::chrono::milliseconds(g_pollIntervalMs.load()); }

CCopyThread::~CCopyThread() {
  RequestStop();
  Join();
}

void CCopyThread::SetQueue(FilePathQueue* queue, std::recursive_mutex* csQueue) {
  m_pQueue = queue;
  m_pcsQueue = csQueue;
}

void CCopyThread::Start() {
  if (m_thread.joinable()) return;
  m_thread = std::thread([this] { Run(); });
}

void CCopyThread::Wake() {
  {
    std::lock_guard<std::mutex> lock(m_parkMutex);
    ++m_wakeups;
    // From now on the thread has work to look at, though it may not have been scheduled yet; a
    // wait for an empty queue must not take it for idle meanwhile.
    if (m_parkedOnEmpty) m_bIdle = 0;
  }
  m_parkCv.notify_all();
}

bool CCopyThread::RequestSuspend() {
  // Under the park mutex, so that the thread either parks on this request or has already become
  // active and will be waited for; it cannot slip from idle to work in between.
  std::lock_guard<std::mutex> lock(m_parkMutex);
  m_bSuspendRequested = 1;
  return m_bIdle.load() != 0;
}

void CCopyThread::Resume() {
  {
    std::lock_guard<std::mutex> lock(m_parkMutex);
    m_bSuspendRequested = 0;
    if (m_parkedOnSuspend) m_bIdle = 0;
  }
  Wake();
}

void CCopyThread::RequestStop() {
  // Set before the gate is taken: a step in a recovery loop (the user answering Retry, say) looks at
  // it between questions and ends, instead of holding the gate for ever.
  m_stop = true;
  { std::lock_guard<std::mutex> lock(m_parkMutex); }
  m_parkCv.notify_all();
  { std::lock_guard<std::timed_mutex> gate(m_gate); }
  // A thread between its test of the flag and its wait holds the park mutex: passing through it
  // here means the notification below cannot fall into that gap.
  { std::lock_guard<std::mutex> lock(m_parkMutex); }
  m_parkCv.notify_all();
}

void CCopyThread::Join() {
  if (!m_thread.joinable()) return;
  if (m_thread.get_id() == std::this_thread::get_id())
    m_thread.detach();
  else
    m_thread.join();
}

void CCopyThread::Abandon() {
  // Not getting the gate in time means the system ended the thread inside a step, or the step is
  // stuck on the share: all that can be done then is to keep it from starting another.
  bool gated = m_gate.try_lock_for(kUnloadWait);
  m_stop = true;
  if (gated) m_gate.unlock();
}

template <typename F>
bool CCopyThread::Touch(F&& step) {
  std::lock_guard<std::timed_mutex> gate(m_gate);
  if (m_stop.load()) return false;
  step();
  return true;
}

bool CCopyThread::FileExists(std::string path) {
  if (path.empty()) return false;
  platform::FileInfo info;
  return platform::Current().GetFileInfo(path, &info).ok();
}

bool CCopyThread::CopyIntoDirectory(std::string source, std::string target) {
  std::string name = path::BaseName(source);
  if (name.empty() || target.empty()) return false;
  // No directory is made: a model directory that has gone must be noticed, not made anew. The
  // model's file is replaced whole, never torn.
  return platform::Current().ReplaceWithCopy(source, path::WithSeparator(target) + name).ok();
}

bool CCopyThread::DeleteRequestFile(std::string path) {
  if (path.empty()) return false;
  const platform::Status s = platform::Current().DeleteFile(path);
  if (s.ok()) return true;
  // Already gone from a directory that is there: what the request wanted is done.
  platform::FileInfo dir;
  return s.IsNotFound() && platform::Current().GetFileInfo(path::DirectoryPart(path), &dir).ok() && dir.is_directory;
}

void CCopyThread::Run() {
  QueueNode current;
  for (;;) {
    try {
      if (!Pass(current)) return;
    } catch (...) {
      // Out of memory in the middle of a pass: the request is still queued; look again later.
      if (!PauseUnlessStopped(RetryPause())) return;
    }
  }
}

bool CCopyThread::Pass(QueueNode& current) {
  if (!ParkWhileSuspended()) return false;
  // Read before the empty test: a request queued after the test comes with a wake-up that
  // changes the counter, so the park below does not happen.
  const std::uint64_t seen = WakeCount();
  bool empty = true;
  if (!Touch([&] { empty = QueueIsEmpty(); })) return false;
  if (empty) {
    if (long long delay = g_parkDelayUs.load()) std::this_thread::sleep_for(std::chrono::microseconds(delay));
    if (!ParkUntilWoken(seen)) return false;
  }
  if (!ParkWhileSuspended()) return false;

  if (!Touch([&] { PeekHead(current); })) return false;
  // Woken with nothing queued.
  if (current.IsEmpty()) return true;

  Recovery::Result check = Recovery::kUsable;
  if (!Touch([&] { check = CheckModelDirectory(current); })) return false;
  switch (check) {
    case Recovery::kStopped: return false;
    // Moved: the model's requests went along with its working copy.
    case Recovery::kMoved: return true;
    case Recovery::kNotOurs:
    case Recovery::kGiveUp: return Touch([&] { GiveUp(current); });
    default: break;
  }
  if (WriteRun(current) > 0) {
    ReportRecovered(ui::kStrContinueWorking);
    return true;
  }
  switch (CarryOut(current)) {
    case Outcome::kStopped: return false;
    case Outcome::kNotOurs: return Touch([&] { GiveUp(current); });
    case Outcome::kFailed: return OnRequestFailed(current);
    case Outcome::kDoneOnRetry: ReportRecovered(ui::kStrContinueWorkingQuoted); break;
    case Outcome::kDoneAtOnce: break;
  }
  ReportRecovered(ui::kStrContinueWorking);
  return Touch([&] {
    if (m_pHost) m_pHost->Leaving(current, true);
    PopHead(current);
  });
}

void CCopyThread::GiveUp(QueueNode& request) {
  // Nothing may be written: the change stays in the working copy, which now says so.
  if (m_pHost) {
    m_pHost->RecordUnwritten(request);
    m_pHost->Leaving(request, false);
  }
  PopHead(request);
}

bool CCopyThread::ParkWhileSuspended() {
  std::unique_lock<std::mutex> lock(m_parkMutex);
  while (m_bSuspendRequested.load() != 0 && !m_stop.load()) {
    m_bIdle = 1;
    m_parkedOnSuspend = true;
    m_parkCv.wait(lock);
    m_parkedOnSuspend = false;
  }
  if (m_stop.load()) return false;
  m_bIdle = 0;
  return true;
}

std::uint64_t CCopyThread::WakeCount() {
  std::lock_guard<std::mutex> lock(m_parkMutex);
  return m_wakeups;
}

bool CCopyThread::ParkUntilWoken(std::uint64_t seen) {
  std::unique_lock<std::mutex> lock(m_parkMutex);
  if (m_wakeups == seen && !m_stop.load()) {
    m_bIdle = 1;
    m_parkedOnEmpty = true;
    m_parkCv.wait(lock, [&] { return m_wakeups != seen || m_stop.load(); });
    m_parkedOnEmpty = false;
  }
  m_bIdle = 0;
  return !m_stop.load();
}

bool CCopyThread::PauseUnlessStopped(std::chrono::milliseconds pause) {
  std::unique_lock<std::mutex> lock(m_parkMutex);
  return !m_parkCv.wait_for(lock, pause, [&] { return m_stop.load(); });
}

bool CCopyThread::QueueIsEmpty() {
  // A thread without a queue has nothing to do.
  if (!m_pQueue || !m_pcsQueue) return true;
  std::lock_guard<std::recursive_mutex> lock(*m_pcsQueue);
  return m_pQueue->IsEmpty();
}

void CCopyThread::PeekHead(QueueNode& current) {
  if (!m_pQueue || !m_pcsQueue) {
    current.Reset();
    return;
  }
  std::lock_guard<std::recursive_mutex> lock(*m_pcsQueue);
  m_pQueue->PeekFront(current);
}

void CCopyThread::PopHead(QueueNode& current) {
  const std::uint64_t serial = current.Serial();
  current.Reset();
  if (!m_pQueue || !m_pcsQueue) return;
  std::lock_guard<std::recursive_mutex> lock(*m_pcsQueue);
  // Unless a move took it out meanwhile.
  m_pQueue->PopFrontIf(serial);
}

Recovery& CCopyThread::TheRecovery() {
  if (!m_recovery) {
    Recovery::Side side;
    side.copyThread = true;
    side.window = m_hWndHost;
    side.silent = m_bSilent;
    side.csQueue = m_pcsQueue;
    side.queue = m_pQueue;
    side.stopping = [this] { return m_stop.load(); };
    side.pause = [this](std::chrono::milliseconds pause) { return PauseUnlessStopped(pause); };
    m_recovery = std::make_unique<Recovery>(*m_pHost, m_diskObject, std::move(side));
  }
  return *m_recovery;
}

Recovery::Result CCopyThread::CheckModelDirectory(const QueueNode& request) {
  if (!m_pHost) return Recovery::kUsable;
  return TheRecovery().CheckModelDirectory(ModelOf(request));
}

void CCopyThread::ReportRecovered(unsigned id) {
  if (!m_retryChosen) return;
  m_retryChosen = false;
  if (!m_bSilent) ui::PlainMessageBox(m_hWndHost, ui::FormatString(id, m_modelName));
}

bool CCopyThread::OnRequestFailed(QueueNode& request) {
  bool going = Touch([&] {
    Recovery::Result again = CheckModelDirectory(request);
    if (again == Recovery::kNotOurs || again == Recovery::kGiveUp) return GiveUp(request);
    // The directory had to be restored, or the model moved: the request (if still queued) is
    // tried afresh.
    if (again != Recovery::kUsable) return;
    if (m_retryChosen && !m_bSilent)
      ui::PlainMessageBox(m_hWndHost, ui::LoadString(ui::kStrModelDirectoryStillUnavailable));
    const ModelRef model = ModelOf(request);
    m_modelName = ModelNameOfWorkingFile(request.WorkingFile());
    if (m_bSilent) return GiveUp(request);
    // After Save the model's requests, this one too, went along with its working copy.
    if (TheRecovery().AskRetryOrSave(model)) m_retryChosen = true;
  });
  return going && !m_stop.load();
}

CCopyThread::Outcome CCopyThread::CarryOut(const QueueNode& request) {
  if (m_stop.load()) return Outcome::kStopped;
  if (m_pQueue && m_pcsQueue) {
    // From the first read of its file on, a change of that file is queued anew.
    std::lock_guard<std::recursive_mutex> lock(*m_pcsQueue);
    m_pQueue->BeginFront(request.Serial(), request.Serial());
  }
  const std::string lockPath = ModelOf(request).LockPath();
  Outcome once = TryOnce(request, lockPath);
  if (once != Outcome::kFailed) return once;
  if (!PauseUnlessStopped(RetryPause())) return Outcome::kStopped;
  for (int i = 0; i < kRetries; ++i) {
    if (m_stop.load()) return Outcome::kStopped;
    once = TryOnce(request, lockPath);
    if (once == Outcome::kDoneAtOnce) return Outcome::kDoneOnRetry;
    if (once != Outcome::kFailed) return once;
  }
  return Outcome::kFailed;
}

CCopyThread::Outcome CCopyThread::TryOnce(const QueueNode& request, const std::string& lockPath) {
  // The model's lock stays ours while the file is written: its releases wait for this guard.
  std::unique_lock<std::mutex> writing;
  if (m_pHost) {
    LockManager& locks = m_pHost->Locks();
    writing = std::unique_lock<std::mutex>(locks.m_csWrite);
    LockManager::Which which;
    if (locks.OwnershipOf(lockPath, &which) == LockManager::Ownership::kReleased)
      return Outcome::kNotOurs;
  }
  bool done;
  switch (request.Kind()) {
    case RequestCopy:
      // A working file that has gone leaves nothing to copy: done, not failed.
      done = !FileExists(request.WorkingFile()) ||
             CopyIntoDirectory(request.WorkingFile(), request.ModelDirectory());
      break;
    case RequestDelete:
      done = DeleteRequestFile(request.ModelFile());
      break;
    default:
      done = true;
  }
  return done ? Outcome::kDoneAtOnce : Outcome::kFailed;
}

std::size_t CCopyThread::WriteRun(const QueueNode& head) {
  if (head.Kind() != RequestCopy || !m_pQueue || !m_pcsQueue || m_stop.load()) return 0;
  const std::string lockPath = ModelOf(head).LockPath();
  std::vector<QueueNode> run;
  {
    std::lock_guard<std::recursive_mutex> lock(*m_pcsQueue);
    for (const QueueNode* n = m_pQueue->Head(); n && run.size() < kRunLength; n = n->Next()) {
      if (n->Kind() != RequestCopy || !GuardedBy(*n, lockPath)) break;
      if (std::any_of(run.begin(), run.end(),
                      [&](const QueueNode& r) { return text::EqualsNoCase(r.WorkingFile(), n->WorkingFile()); }))
        break;
      run.push_back(n->Detached());
    }
    if (run.size() < 2 || run.front().Serial() != head.Serial()) return 0;
    // From the first read of their files on, a change of one of them is queued anew.
    m_pQueue->BeginFront(run.front().Serial(), run.back().Serial());
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const QueueNode& r : run) {
    const std::string name = path::BaseName(r.WorkingFile());
    // A working file that has gone is done the one-by-one way.
    if (name.empty() || r.ModelDirectory().empty() || !FileExists(r.WorkingFile())) break;
    pairs.emplace_back(r.WorkingFile(), path::WithSeparator(r.ModelDirectory()) + name);
  }
  if (pairs.size() < 2) return 0;
  std::size_t done = 0;
  {
    // The model's lock stays ours while the files are written: its releases wait for this guard.
    std::unique_lock<std::mutex> writing;
    if (m_pHost) {
      LockManager& locks = m_pHost->Locks();
      writing = std::unique_lock<std::mutex>(locks.m_csWrite);
      LockManager::Which which;
      if (locks.OwnershipOf(lockPath, &which) == LockManager::Ownership::kReleased) return 0;
    }
    // A suspension or a stop ends the run at the file under way.
    const auto go_on = [this] { return !m_stop.load() && m_bSuspendRequested.load() == 0; };
    // A failure is met again, and answered, when its request is carried out alone.
    platform::Current().ReplaceWithCopies(pairs, go_on, &done).IgnoreError();
  }
  for (std::size_t i = 0; i < done; ++i) {
    if (!Touch([&] {
          if (m_pHost) m_pHost->Leaving(run[i], true);
          PopHead(run[i]);
        }))
      break;
  }
  return done;
}

}  // namespace miradel
