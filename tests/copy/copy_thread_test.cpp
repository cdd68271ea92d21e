// The copy thread serving the request queue: results, retries, parking, waking and stopping.
// Waits are "eventually, within a minute"; the product's intervals are shortened.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <random>
#include <thread>

#include "copy/copy_service.h"
#include "copy/copy_thread_timings.h"
#include "support/child.h"
#include "support/host_test.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace miradel::test {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;

bool Eventually(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// Logs each copy and each lock refresh in order; copies of the file named by Hold wait until
// Release.
class ThreadEnv : public FaultEnv, public CopyHost {
 public:
  using FaultEnv::FaultEnv;
  platform::Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    Record("copy " + path::BaseName(from));
    std::unique_lock<std::mutex> lock(mu_);
    if (!hold_.empty() && from.find(hold_) != std::string::npos) {
      holding_ = true;
      cv_.wait(lock, [&] { return hold_.empty(); });
    }
    lock.unlock();
    return FaultEnv::CopyFile(from, to, overwrite);
  }
  int RefreshLock() override {
    Record("refresh");
    return 1;
  }
  int RetakeLock(LockOwnerInfo*) override { return 1; }
  std::string ModelDirectory() override { return std::string(); }

  void Hold(const std::string& name) {
    std::lock_guard<std::mutex> lock(mu_);
    hold_ = name;
    holding_ = false;
  }
  bool Holding() {
    std::lock_guard<std::mutex> lock(mu_);
    return holding_;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      hold_.clear();
    }
    cv_.notify_all();
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mu_);
    return log_;
  }

 private:
  void Record(const std::string& event) {
    std::lock_guard<std::mutex> lock(mu_);
    log_.push_back(event);
  }
  std::mutex mu_;
  std::condition_variable cv_;
  std::string hold_;
  bool holding_ = false;
  std::vector<std::string> log_;
};

class CopyThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyThreadTimings::SetRetryPause(5ms);
    CopyThreadTimings::SetPollInterval(1ms);
  }
  void TearDown() override {
    env_.Release();
    service_.reset();
    CopyThreadTimings::Restore();
  }
  CCopyThread& Thread() { return *service_->m_pCopyThread; }
  void Start(std::intptr_t window = 0, int silent = 0) {
    ASSERT_EQ(service_->StartCopyThread(&env_, window, silent), 1);
  }
  int Queue(std::int32_t kind, const std::string& source, const std::string& target) {
    auto* node = new QueueNode;
    node->m_nKind = kind;
    node->m_strSource = source;
    node->m_strTarget = target;
    int taken = service_->Enqueue(node);
    if (!taken) delete node;
    return taken;
  }
  int Copy(const std::string& name) { return Queue(RequestCopy, work_ / name, model_.path()); }
  int Count() { return service_->PendingCount(); }

  ThreadEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  TempDir work_, model_;
  std::unique_ptr<CopyService> service_ = std::make_unique<CopyService>();
};

TEST_F(CopyThreadTest, StartsOnceWithCopiesOfTheHostsSettingsAndThePrimitivesWork) {
  Start(0x55, 1);
  CCopyThread* t = service_->m_pCopyThread;
  EXPECT_EQ(service_->StartCopyThread(&env_, 0x66, 0), 1);
  EXPECT_EQ(service_->m_pCopyThread, t) << "one thread per service";
  EXPECT_TRUE(t->m_hWndHost == 0x55 && t->m_bSilent == 1) << "later changes do not reach it";

  work_.Write("a.dat", "A");
  EXPECT_TRUE(t->CopyIntoDirectory(work_ / "a.dat", path::WithoutTrailingSeparators(model_.path())));
  EXPECT_EQ(model_.Read("a.dat"), "A");
  // A model directory that has gone must be noticed, not made anew.
  EXPECT_FALSE(t->CopyIntoDirectory(work_ / "a.dat", model_.path() + "gone" + S));
  EXPECT_FALSE(t->CopyIntoDirectory(work_.path(), model_.path()) || t->DeleteRequestFile(""));
}

TEST_F(CopyThreadTest, ServesInOrderRefreshingTheLockBeforeEachRequest) {
  work_.Write("a.dat", "A");
  work_.Write("b.dat", "B");
  model_.Write("old.dat", "old");
  Start();
  service_->SuspendCopyThreadAndWait();
  Copy("a.dat");
  Copy("b.dat");
  EXPECT_EQ(Copy("A.DAT"), 0) << "an equal request waits already";
  Queue(RequestDelete, model_ / "old.dat", work_.path());
  service_->ResumeCopyThread();
  service_->WaitForQueueEmpty();
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(model_.Read("a.dat") + model_.Read("b.dat"), "AB");
  EXPECT_FALSE(model_.Exists("old.dat"));
  EXPECT_EQ(env_.Log(), (std::vector<std::string>{"refresh", "copy a.dat", "refresh", "copy b.dat", "refresh"}));
}

TEST_F(CopyThreadTest, MissingSourcesAreDroppedAndFailuresRetriedThreeTimesAfterOnePause) {
  for (const char* name : {"first.dat", "stuck.dat", "next.dat"}) work_.Write(name, name);
  model_.Write("keep.dat", "K");
  env_.Fail(Op::kCopy, "first.dat", ErrorKind::kSharingViolation, 1);
  env_.Fail(Op::kCopy, "stuck.dat", ErrorKind::kAccessDenied);
  env_.Fail(Op::kDelete, "keep.dat", ErrorKind::kAccessDenied);
  Start();
  ASSERT_TRUE(Eventually([&] { return Thread().IsIdle(); })) << "the thread never parked";
  // Queued to a thread parked on the empty queue: the wait must not take it for idle meanwhile.
  Copy("missing.dat");
  Copy("first.dat");
  Copy("stuck.dat");
  Queue(RequestDelete, model_ / "keep.dat", work_.path());
  Copy("next.dat");
  service_->WaitForQueueEmpty();
  EXPECT_FALSE(model_.Exists("missing.dat") || model_.Exists("stuck.dat"));
  EXPECT_EQ(model_.Read("first.dat"), "first.dat");
  EXPECT_EQ(model_.Read("next.dat"), "next.dat") << "served after the dropped ones";
  EXPECT_TRUE(model_.Exists("keep.dat"));
  EXPECT_EQ(env_.Count(Op::kCopy), 2 + 4 + 1);
  EXPECT_EQ(env_.Count(Op::kDelete), 4);
}

TEST_F(CopyThreadTest, SuspendWaitsForTheRequestInProgressAndLaterOnesWaitForResume) {
  work_.Write("big.dat", "big");
  work_.Write("later.dat", "L");
  Copy("later.dat");
  service_->WaitForQueueEmpty();  // no thread: returns although a request waits
  EXPECT_EQ(Count(), 1);
  service_->m_requestQueue.Clear();

  env_.Hold("big.dat");
  Start();
  Copy("big.dat");
  ASSERT_TRUE(Eventually([&] { return env_.Holding(); })) << "the copy never started";
  std::atomic<bool> suspended{false};
  std::thread host([&] {
    service_->SuspendCopyThreadAndWait();
    suspended = true;
  });
  ASSERT_TRUE(Eventually([&] { return Thread().m_bSuspendRequested.load() == 1; }));
  EXPECT_FALSE(suspended.load()) << "the copy in progress is not finished";
  env_.Release();
  host.join();
  EXPECT_EQ(model_.Read("big.dat"), "big");
  EXPECT_TRUE(Count() == 0 && Thread().IsIdle());

  Copy("later.dat");
  std::this_thread::sleep_for(50ms);  // room for a wrongly woken thread to serve it
  service_->WaitForQueueEmpty();      // a parked thread is not waited for
  EXPECT_EQ(Count(), 1);
  service_->ResumeCopyThread();
  service_->WaitForQueueEmpty();
  EXPECT_EQ(model_.Read("later.dat"), "L");
}

// A producer queues and wakes just as the thread empties the queue and parks: every request must
// be served without waiting for a further one, whatever the interleaving.
TEST_F(CopyThreadTest, RacingWakeUpsAreNeverLost) {
  CopyThreadTimings::SetParkDelay(20us);  // widens the window between the empty test and the park
  Start();
  std::minstd_rand rng(7);
  for (int i = 0; i < 3000; ++i) {
    bool park_first = i % 16 == 0;
    if (park_first) service_->SuspendCopyThreadAndWait();
    for (volatile unsigned spin = rng() % 4000; spin > 0; spin = spin - 1) {
    }
    ASSERT_EQ(Copy("r" + std::to_string(i)), 1);  // a missing source: served at once
    if (park_first) service_->ResumeCopyThread();
    ASSERT_TRUE(Eventually([&] { return Count() == 0; })) << "request " << i << " waits for a further one";
  }
  for (int i = 0; i < 2000; ++i) Copy("s" + std::to_string(i));  // a burst while it works
  ASSERT_TRUE(Eventually([&] { return Count() == 0; })) << "the burst was not served";
}

TEST_F(CopyThreadTest, StoppingCarriesOutNoQueuedRequest) {
  for (const char* name : {"a.dat", "b.dat", "big.dat"}) work_.Write(name, name);
  Start();  // parked, with requests waiting
  service_->SuspendCopyThreadAndWait();
  Copy("a.dat");
  service_.reset();
  EXPECT_EQ(env_.Count(Op::kCopy), 0);

  service_ = std::make_unique<CopyService>();  // stopped in the middle of a copy
  env_.Hold("big.dat");
  Start();
  Copy("big.dat");
  Copy("a.dat");
  Copy("b.dat");
  ASSERT_TRUE(Eventually([&] { return env_.Holding(); })) << "the copy never started";
  Thread().RequestStop();
  env_.Release();
  service_.reset();
  EXPECT_TRUE(model_.Exists("big.dat")) << "the copy under way ends";
  EXPECT_FALSE(model_.Exists("a.dat") || model_.Exists("b.dat"));

  CopyThreadTimings::SetRetryPause(std::chrono::hours(1));  // stopped in the pause before the retries
  service_ = std::make_unique<CopyService>();
  env_.Fail(Op::kCopy, "a.dat", ErrorKind::kAccessDenied);
  int copies = env_.Count(Op::kCopy);
  Start();
  Copy("a.dat");
  ASSERT_TRUE(Eventually([&] { return env_.Count(Op::kCopy) == copies + 1; })) << "the first try never came";
  service_.reset();
  EXPECT_EQ(env_.Count(Op::kCopy), copies + 1);
}

class CopyThreadHost : public HostTest {};

// NW_SpndWaitThrd on the process-wide object, and the host's lock calls beside the thread's
// refreshes (a race here is what ThreadSanitizer looks for).
TEST_F(CopyThreadHost, SpndWaitThrdAndLockCallsBesideTheThread) {
  int park = 0, release = 7;
  NW_SpndWaitThrd(&park);  // before a start: nothing to do
  NW_SpndWaitThrd(&release);
  dir_.Write("pump.dat", "data");
  Open(dir_.path(), "pump");
  CCopyThread* t = C().m_copy.m_pCopyThread;
  ASSERT_NE(t, nullptr);
  NW_SpndWaitThrd(&park);
  EXPECT_TRUE(t->IsIdle() && t->m_bSuspendRequested.load() == 1);
  NW_SpndWaitThrd(nullptr);
  EXPECT_EQ(t->m_bSuspendRequested.load(), 1) << "no mode, no change";
  NW_SpndWaitThrd(&release);
  std::thread producer([&] {
    for (int i = 0; i < 300; ++i) {
      auto* node = new QueueNode;
      node->m_strSource = QVTempDir() + "gone" + std::to_string(i);
      node->m_strTarget = dir_.path();
      if (!C().m_copy.Enqueue(node)) delete node;
    }
  });
  for (int i = 0; i < 300; ++i) {
    NW_SetModelVars();
    EXPECT_EQ(NW_CheckLock(), 1);
  }
  producer.join();
  NW_ReleaseLock();
  EXPECT_FALSE(dir_.Exists("pump.lck"));
}

// Closing a model waits until its queued write-backs have reached the model directory.
TEST_F(CopyThreadHost, ReleasingTheLockWaitsForTheWriteBacks) {
  ThreadEnv slow(&env_);
  platform::ScopedEnv scoped(&slow);
  dir_.Write("pump.dat", "data");
  Open(dir_.path(), "pump");
  WriteFile(QVTempDir() + "pump.out", "results");
  slow.Hold("pump.out");
  auto* node = new QueueNode;
  node->m_strSource = QVTempDir() + "pump.out";
  node->m_strTarget = dir_.path();
  ASSERT_EQ(C().m_copy.Enqueue(node), 1);
  ASSERT_TRUE(Eventually([&] { return slow.Holding(); })) << "the write-back never started";
  std::atomic<bool> released{false};
  std::thread host([&] {
    NW_ReleaseLock();
    released = true;
  });
  std::this_thread::sleep_for(50ms);  // room for a release that does not wait
  EXPECT_FALSE(released.load()) << "released while a write-back was under way";
  slow.Release();
  host.join();
  EXPECT_EQ(dir_.Read("pump.out"), "results");
  EXPECT_FALSE(dir_.Exists("pump.lck"));
}

// Without a copy thread no working copy may be offered: its write-backs would never be served.
MIRADEL_CHILD(set_model_dir_without_threads) {
#ifndef _WIN32
  // Room for what the process has, none for a new thread's stack.
  struct rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  unsigned long pages = 0;
  if (!f || std::fscanf(f, "%lu", &pages) != 1) return 3;
  std::fclose(f);
  limit.rlim_cur = pages * 4096 + (2u << 20);
  if (setrlimit(RLIMIT_AS, &limit) != 0) return 4;
#endif
  SetVersion(kHostVersion);
  int result = hostkit::SetModelDir(args.at(0), "pump");
  std::printf("%d %d\n", result, TheControl().m_bCopyThreadStarted);
  return 0;
}

TEST(CopyThreadStart, ASetUpWithoutAThreadIsRefused) {
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "needs an address space limit, which Windows lacks and the sanitizers cannot live with";
#else
  TempDir dir;
  auto child = StartChild("set_model_dir_without_threads", {dir.path()});
  ASSERT_TRUE(child);
  bool ok = false;
  std::string line = child->ReadLine(60000, &ok);
  EXPECT_EQ(child->Wait(), 0);
  EXPECT_EQ(line, "0 0") << "NW_SetModelDir claimed a working copy nobody serves";
#endif
}

}  // namespace
}  // namespace miradel::test
