// The copy thread serving the request queue: results, retries, parking, waking and stopping.
// Waits are "eventually, within a generous time"; the product's intervals are shortened.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "control/globals.h"
#include "copy/copy_thread.h"
#include "copy/copy_thread_timings.h"
#include "miradel.h"
#include "platform/fault_env.h"
#include "support/temp_dir.h"

namespace miradel {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;
using platform::Op;

bool Eventually(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// Logs each lock file refresh (with whether another thread held m_csLock meanwhile) and each copy,
// in order; copies of the file named by Hold wait until Release.
class ThreadEnv : public platform::FaultEnv {
  template <typename F>
  auto Locked(F f) {
    std::lock_guard<std::mutex> lock(mu_);
    return f();
  }

 public:
  using FaultEnv::FaultEnv;
  platform::Status OpenFile(const std::string& path, unsigned access, unsigned share, platform::Disposition disp,
                            platform::FileHandle* handle, bool* existed) override {
    if (cs_lock && path.find(".lck") != std::string::npos) {
      bool held = false;
      std::thread([&] {
        held = !cs_lock->try_lock();
        if (!held) cs_lock->unlock();
      }).join();
      Record(held ? "refresh, m_csLock held" : "refresh, m_csLock free");
    }
    return FaultEnv::OpenFile(path, access, share, disp, handle, existed);
  }
  platform::Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    Record("copy " + from.substr(from.find_last_of(platform::kSep) + 1));
    std::unique_lock<std::mutex> lock(mu_);
    if (!hold_.empty() && from.find(hold_) != std::string::npos) {
      holding_ = true;
      cv_.wait(lock, [&] { return hold_.empty(); });
    }
    lock.unlock();
    return FaultEnv::CopyFile(from, to, overwrite);
  }
  void Hold(const std::string& name) { Locked([&] { hold_ = name, holding_ = false; }); }
  bool Holding() { return Locked([&] { return holding_; }); }
  void Release() {
    Locked([&] { hold_.clear(); });
    cv_.notify_all();
  }
  std::vector<std::string> Log() { return Locked([&] { return log_; }); }
  std::recursive_mutex* cs_lock = nullptr;

 private:
  void Record(const std::string& event) { Locked([&] { log_.push_back(event); }); }
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
    control_.reset();
    CopyThreadTimings::Restore();
  }
  CCopyThread& Thread() { return *control_->m_pCopyThread; }
  void Start(CNetworkFileControl& c) {
    c.m_bCopyThreadStarted = 1;
    ASSERT_EQ(c.StartCopyThread(), 1);
  }
  // As the producers do: pushed under m_csQueue, then a wake-up.
  int Queue(std::int32_t kind, const std::string& source, const std::string& target, CNetworkFileControl* c = nullptr) {
    if (!c) c = control_.get();
    auto* node = new QueueNode;
    node->m_nKind = kind;
    node->m_strSource = source;
    node->m_strTarget = target;
    int taken;
    {
      std::lock_guard<std::recursive_mutex> lock(c->m_csQueue);
      taken = c->m_requestQueue.PushBackUnique(node);
    }
    if (!taken) delete node;
    if (taken && c->m_pCopyThread) c->m_pCopyThread->Wake();
    return taken;
  }
  int Copy(const std::string& name) { return Queue(RequestCopy, work_ / name, model_.path()); }
  int Count(CNetworkFileControl* c = nullptr) {
    if (!c) c = control_.get();
    std::lock_guard<std::recursive_mutex> lock(c->m_csQueue);
    return c->m_requestQueue.GetCount();
  }

  ThreadEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  test::TempDir work_, model_;
  std::unique_ptr<CNetworkFileControl> control_ = std::make_unique<CNetworkFileControl>();
};

TEST_F(CopyThreadTest, StartsOnceWithCopiesOfTheHostsSettingsAndThePrimitivesWork) {
  control_->m_bSilentMode = 1;
  control_->m_hWndHost = 0x55;
  Start(*control_);
  CCopyThread* t = control_->m_pCopyThread;
  EXPECT_TRUE(t->m_pQueue == &control_->m_requestQueue && t->m_pcsQueue == &control_->m_csQueue);
  EXPECT_TRUE(t->m_pCurrentLock == &control_->m_primaryLock && t->m_pSecondLock == &control_->m_secondLock);
  EXPECT_TRUE(t->m_pcsLock == &control_->m_csLock && t->m_pModelDir == &control_->m_modelDir);
  EXPECT_EQ(t->m_pDirGivenWithoutSlash, &control_->m_bDirGivenWithoutSlash);
  control_->m_hWndHost = 0x66;
  EXPECT_EQ(control_->StartCopyThread(), 1);
  EXPECT_EQ(control_->m_pCopyThread, t) << "one thread per control object";
  EXPECT_TRUE(t->m_hWndHost == 0x55 && t->m_bSilent == 1) << "later changes do not reach it";

  work_.Write("a.dat", "A");
  std::string dir = model_.path();
  EXPECT_TRUE(t->FileExists(work_.path()) && t->FileExists(work_ / "a.dat"));
  EXPECT_FALSE(t->FileExists(work_ / "none") || t->FileExists(""));
  EXPECT_TRUE(t->CopyIntoDirectory(work_ / "a.dat", dir.substr(0, dir.size() - 1)));
  EXPECT_EQ(model_.Read("a.dat"), "A");
  EXPECT_FALSE(t->CopyIntoDirectory(work_.path(), dir) || t->CopyIntoDirectory(work_ / "a.dat", ""));
  EXPECT_FALSE(t->CopyIntoDirectory(work_ / "a.dat", dir + "gone" + platform::kSep)) << "no directory is made";
  EXPECT_TRUE(t->DeleteRequestFile(model_ / "a.dat"));
  EXPECT_FALSE(t->DeleteRequestFile(model_ / "a.dat") || t->DeleteRequestFile(""));
}

TEST_F(CopyThreadTest, ServesInOrderRefreshingTheLockUnderCsLockBeforeEachRequest) {
  std::string lock = model_.Write("pump.lck", "<lock/>");
  std::snprintf(control_->m_primaryLock.szLockPath, sizeof control_->m_primaryLock.szLockPath, "%s", lock.c_str());
  env_.cs_lock = &control_->m_csLock;
  work_.Write("a.dat", "A");
  work_.Write("b.dat", "B");
  model_.Write("old.dat", "old");
  Start(*control_);
  control_->SuspendCopyThreadAndWait();
  Copy("a.dat");
  Copy("b.dat");
  Queue(RequestDelete, model_ / "old.dat", work_.path());
  control_->ResumeCopyThread();
  control_->WaitForQueueEmpty();
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(model_.Read("a.dat") + model_.Read("b.dat"), "AB");
  EXPECT_FALSE(model_.Exists("old.dat"));
  std::vector<std::string> expected = {"refresh, m_csLock held", "copy a.dat", "refresh, m_csLock held",
                                       "copy b.dat", "refresh, m_csLock held"};
  EXPECT_EQ(env_.Log(), expected);
}

TEST_F(CopyThreadTest, MissingSourcesAreDroppedAndFailuresRetriedThreeTimesAfterOnePause) {
  for (const char* name : {"first.dat", "stuck.dat", "next.dat"}) work_.Write(name, name);
  model_.Write("keep.dat", "K");
  env_.Fail(Op::kCopy, "first.dat", ErrorKind::kSharingViolation, 1);
  env_.Fail(Op::kCopy, "stuck.dat", ErrorKind::kAccessDenied);
  env_.Fail(Op::kDelete, "keep.dat", ErrorKind::kAccessDenied);
  Start(*control_);
  ASSERT_TRUE(Eventually([&] { return Thread().IsIdle(); }));
  // Queued to a thread parked on the empty queue: the wait must not take it for idle meanwhile.
  Copy("missing.dat");
  Copy("first.dat");
  Copy("stuck.dat");
  Queue(RequestDelete, model_ / "keep.dat", work_.path());
  Copy("next.dat");
  control_->WaitForQueueEmpty();
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
  control_->WaitForQueueEmpty();  // not started: returns although a request waits
  control_->m_bCopyThreadStarted = 1;
  control_->WaitForQueueEmpty();  // nor does the flag alone, without a thread
  EXPECT_EQ(Count(), 1);
  control_->m_requestQueue.Clear();

  env_.Hold("big.dat");
  Start(*control_);
  Copy("big.dat");
  ASSERT_TRUE(Eventually([&] { return env_.Holding(); }));
  std::atomic<bool> suspended{false};
  std::thread host([&] {
    control_->SuspendCopyThreadAndWait();
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
  control_->WaitForQueueEmpty();      // a parked thread is not waited for
  EXPECT_EQ(Count(), 1);
  EXPECT_FALSE(model_.Exists("later.dat"));
  control_->ResumeCopyThread();
  control_->WaitForQueueEmpty();
  EXPECT_EQ(model_.Read("later.dat"), "L");
}

// A producer queues and wakes just as the thread empties the queue and parks: every request must
// be served without waiting for a further one, whatever the interleaving.
TEST_F(CopyThreadTest, RacingWakeUpsAreNeverLost) {
  CopyThreadTimings::SetParkDelay(20us);  // widens the window between the empty test and the park
  Start(*control_);
  std::minstd_rand rng(7);
  for (int i = 0; i < 3000; ++i) {
    bool park_first = i % 16 == 0;
    if (park_first) control_->SuspendCopyThreadAndWait();
    for (volatile unsigned spin = rng() % 4000; spin > 0; spin = spin - 1) {
    }
    ASSERT_EQ(Copy("r" + std::to_string(i)), 1);  // a missing source: served at once
    if (park_first) control_->ResumeCopyThread();
    ASSERT_TRUE(Eventually([&] { return Count() == 0; })) << "request " << i << " waits for a further one";
  }
  for (int i = 0; i < 2000; ++i) Copy("s" + std::to_string(i));  // a burst while it works
  ASSERT_TRUE(Eventually([&] { return Count() == 0; }));
}

TEST_F(CopyThreadTest, DestructionCarriesOutNoQueuedRequest) {
  for (const char* name : {"a.dat", "b.dat", "big.dat"}) work_.Write(name, name);
  Start(*control_);  // parked, with requests waiting
  control_->SuspendCopyThreadAndWait();
  Copy("a.dat");
  control_.reset();
  EXPECT_EQ(env_.Count(Op::kCopy), 0);

  control_ = std::make_unique<CNetworkFileControl>();  // stopped in the middle of a copy
  env_.Hold("big.dat");
  Start(*control_);
  Copy("big.dat");
  Copy("a.dat");
  Copy("b.dat");
  ASSERT_TRUE(Eventually([&] { return env_.Holding(); }));
  Thread().RequestStop();
  env_.Release();
  control_.reset();
  EXPECT_TRUE(model_.Exists("big.dat")) << "the copy under way ends";
  EXPECT_FALSE(model_.Exists("a.dat") || model_.Exists("b.dat"));

  CopyThreadTimings::SetRetryPause(std::chrono::hours(1));  // stopped in the pause before the retries
  control_ = std::make_unique<CNetworkFileControl>();
  env_.Fail(Op::kCopy, "a.dat", ErrorKind::kAccessDenied);
  int copies = env_.Count(Op::kCopy);
  Start(*control_);
  Copy("a.dat");
  ASSERT_TRUE(Eventually([&] { return env_.Count(Op::kCopy) == copies + 1; }));
  control_.reset();
  EXPECT_EQ(env_.Count(Op::kCopy), copies + 1);
}

// NW_SpndWaitThrd works on the process-wide control object.
TEST_F(CopyThreadTest, SpndWaitThrdParksAndReleasesAndDoesNothingBeforeAStart) {
  CNetworkFileControl& c = TheControl();
  int park = 0, release = 7;
  NW_SpndWaitThrd(&park);
  NW_SpndWaitThrd(&release);
  NW_SpndWaitThrd(nullptr);
  EXPECT_EQ(c.m_pCopyThread, nullptr);
  Start(c);
  NW_SpndWaitThrd(&park);
  EXPECT_TRUE(c.m_pCopyThread->IsIdle() && c.m_pCopyThread->m_bSuspendRequested.load() == 1);
  Queue(RequestCopy, work_ / "gone.dat", model_.path(), &c);
  NW_SpndWaitThrd(nullptr);
  EXPECT_EQ(c.m_pCopyThread->m_bSuspendRequested.load(), 1) << "no mode, no change";
  NW_SpndWaitThrd(&release);
  EXPECT_TRUE(Eventually([&] { return Count(&c) == 0; }));
  StopCopyThread(c);
  c.m_bCopyThreadStarted = 0;
}

}  // namespace
}  // namespace miradel
