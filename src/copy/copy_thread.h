// The copy thread writes the host's changed files back from the QV temporary directory into the
// model directory, and deletes files there, one queued request at a time, so that the host never
// waits for a slow or lost share.
//
// Threads: the configuration operations and Start run on the host's thread before the thread
// runs. Wake, RequestSuspend, Resume and IsIdle may be called from any thread at any time.
//
// Parking and waking: the thread parks on a condition variable, never by suspending itself. Each
// pass reads a wake-up counter before it tests the queue and parks only while that counter is
// unchanged, so a wake-up that lands between the empty test and the park is never lost; one that
// finds the thread busy changes nothing it would not have found at its next pass anyway.
//
// Stopping: once the stop flag is set the thread starts no further request and no further try, and
// touches the queue and the host no more; a file operation already under way finishes first. Every
// step that reads or writes them runs under m_gate, and the stop flag is set under it, so no step
// can begin on an object being destroyed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "copy/copy_host.h"
#include "copy/file_path_queue.h"
#include "copy/recovery.h"
#include "disk/disk_object.h"

namespace miradel {

class CCopyThread {
 public:
  CCopyThread() = default;
  // Stops the thread where it stands and waits for its end (RequestStop, Join).
  virtual ~CCopyThread();
  CCopyThread(const CCopyThread&) = delete;
  CCopyThread& operator=(const CCopyThread&) = delete;

  // Configuration, before Start. Later changes of the host's window or silent mode do not reach
  // the thread.
  void SetSilentMode(int silent) { m_bSilent = silent; }
  void SetQueue(FilePathQueue* queue, std::recursive_mutex* csQueue);
  void SetHost(CopyHost* host) { m_pHost = host; }
  void SetHostWindow(const std::intptr_t* window) { m_hWndHost = window ? *window : 0; }

  // Lets the thread run; later calls do nothing. Throws std::system_error when the system gives
  // no thread.
  void Start();

  // Call after a request was queued: a thread parked on an empty queue looks at it again.
  void Wake();
  // Asks the thread to park between requests; true when it is idle already.
  bool RequestSuspend();
  // Ends a parking request and wakes the thread.
  void Resume();
  // Parked: on an empty queue (until woken) or on request (until resumed).
  bool IsIdle() const { return m_bIdle.load() != 0; }

  // Sets the stop flag (waiting only for a step on the control object to end) and wakes the
  // thread so that it ends; does not wait for the end.
  void RequestStop();
  // Waits for the end of a thread that was asked to stop.
  void Join();
  // For the unload of the library on Windows, under the loader lock, where no thread may be
  // waited for and the thread may already have been ended by the system, holding what it held:
  // sets the stop flag, waiting at most kUnloadWait for m_gate; the thread is not woken (a parked
  // thread stays parked) and not joined. The object must then never be destroyed: the thread may
  // still use it.
  void Abandon();
  static constexpr std::chrono::milliseconds kUnloadWait{1000};

  // The product's fixed intervals (500 ms before the retries, 200 ms polls), which only tests
  // change (copy_thread_timings.h).
  static std::chrono::milliseconds RetryPause();
  static std::chrono::milliseconds PollInterval();
  static constexpr int kRetries = 3;

  // Request execution primitives.
  // A file or a directory of that name exists (its status can be read).
  bool FileExists(std::string path);
  // Copies source to target joined with the source's file name, replacing it in one step; target
  // is the directory and should end in a separator (one is added when it does not).
  bool CopyIntoDirectory(std::string source, std::string target);
  bool DeleteRequestFile(std::string path);

  std::intptr_t m_hWndHost = 0;
  int m_bSilent = 0;
  CDiskObject m_diskObject;
  CopyHost* m_pHost = nullptr;
  FilePathQueue* m_pQueue = nullptr;
  std::recursive_mutex* m_pcsQueue = nullptr;
  std::atomic<int> m_bSuspendRequested{0};
  std::atomic<int> m_bIdle{0};

 private:
  enum class Outcome { kDoneAtOnce, kDoneOnRetry, kFailed, kStopped, kNotOurs };

  void Run();
  // One pass of the request loop; false when the thread is to end.
  bool Pass(QueueNode& current);
  // Runs step (which may touch the control object) unless the thread is stopping.
  template <typename F>
  bool Touch(F&& step);

  bool ParkWhileSuspended();
  std::uint64_t WakeCount();
  bool ParkUntilWoken(std::uint64_t seen);
  // Waits for the time given; false when a stop came first.
  bool PauseUnlessStopped(std::chrono::milliseconds pause);

  bool QueueIsEmpty();
  void PeekHead(QueueNode& current);
  // Takes the request out of the queue, unless a move took it out already.
  void PopHead(QueueNode& current);
  // The request leaves the queue unwritten, recorded as such.
  void GiveUp(QueueNode& request);

  Recovery& TheRecovery();
  // Before and after the tries of a request: the directory and the lock of the request's own model,
  // made usable again or the model moved (see Recovery).
  Recovery::Result CheckModelDirectory(const QueueNode& request);
  // The request failed every try although the directory is usable: Retry or Save, asked of the
  // user; in silent mode it is given up and recorded as unwritten. false when stopping.
  bool OnRequestFailed(QueueNode& request);
  // The message after a success once the user had chosen Retry.
  void ReportRecovered(unsigned id);
  // One try, then after one pause kRetries more; kNotOurs once the model's lock was let go.
  Outcome CarryOut(const QueueNode& request);
  // kDoneAtOnce, kFailed or kNotOurs (lockPath: the request's model's lock).
  Outcome TryOnce(const QueueNode& request, const std::string& lockPath);
  // The head and the copies queued right behind it for the same model, of other files, written
  // back in one go, their flushes grouped (Env::ReplaceWithCopies), and taken out of the queue: how
  // many, from the head on. 0 when there is no such run or its first request failed: the head then
  // goes the one-by-one way, with its tries and questions.
  std::size_t WriteRun(const QueueNode& head);
  static constexpr std::size_t kRunLength = 32;

  std::unique_ptr<Recovery> m_recovery;
  // Live as long as the loop: the model name of the last failure question and the user's Retry.
  std::string m_modelName;
  bool m_retryChosen = false;

  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::timed_mutex m_gate;
  std::mutex m_parkMutex;
  std::condition_variable m_parkCv;
  // Guarded by m_parkMutex.
  std::uint64_t m_wakeups = 0;
  bool m_parkedOnEmpty = false;
  bool m_parkedOnSuspend = false;
};

}  // namespace miradel
