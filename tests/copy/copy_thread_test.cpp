// The request queue (what it accepts, the order it serves, and its index of waiting requests) and
// the copy thread serving it: results, retries, parking, waking and stopping. Waits are
// "eventually, within a minute"; the product's intervals are shortened.
#include <condition_variable>
#include <future>

#include "base/text.h"
#include "copy/copy_service.h"
#include "copy/file_path_queue.h"
#include "support/host_test.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace miradel::test {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;

const std::string Sep(1, kSep);

// A copy of the working file file into the model directory dir, or a delete of the model's file
// file, whose working copy is dir.
QueueNode Request(std::int32_t kind, const std::string& file, const std::string& dir = "t") {
  const bool del = kind == RequestDelete;
  std::unique_ptr<QueueNode> node = del ? QueueNode::Delete(path::BaseName(file), dir) : QueueNode::Copy(file);
  node->Place(del ? path::DirectoryPart(file) : dir, "");
  return *node;
}

// As the producers do: a refused node is destroyed by its maker.
int Enqueue(CopyService& service, const std::string& file, const std::string& dir, std::int32_t kind = RequestCopy) {
  auto node = std::make_unique<QueueNode>(Request(kind, file, dir));
  const int taken = service.Enqueue(node.get());
  if (taken) node.release();
  return taken;
}

// Logs each copy and each request given up, in order; copies of the file named by Hold wait until
// Hold(""). As the thread's host it holds no lock.
class ThreadEnv : public FaultEnv, public CopyHost {
 public:
  using FaultEnv::FaultEnv;
  platform::Status ReplaceWithCopy(const std::string& from, const std::string& to) override {
    std::unique_lock<std::mutex> lock(mu_);
    log_.push_back("copy " + path::BaseName(from));
    if (!hold_.empty() && from.find(hold_) != std::string::npos) {
      holding_ = true;
      cv_.wait(lock, [&] { return hold_.empty(); });
    }
    lock.unlock();
    return FaultEnv::ReplaceWithCopy(from, to);
  }
  LockManager& Locks() override { return locks_; }
  void ModelMoved(const std::string&, const std::string&, const std::string&, bool) override {}
  void RecordUnwritten(const QueueNode& request) override {
    std::lock_guard<std::mutex> lock(mu_);
    log_.push_back("unwritten " + path::BaseName(request.ModelFile()));
  }
  void Leaving(const QueueNode&, bool) override {}
  void Carried() override {}

  void Hold(const std::string& name) {
    std::lock_guard<std::mutex> lock(mu_);
    hold_ = name;
    holding_ = false;
    cv_.notify_all();
  }
  // A held copy has begun, within a minute.
  bool Holding() { return Eventually([&] { return holding_.load(); }); }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(mu_);
    return log_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::string hold_;
  std::atomic<bool> holding_{false};
  std::vector<std::string> log_;
  LockManager locks_;
};

class CopyThreadTest : public ::testing::Test {
 protected:
  void TearDown() override {
    env_.Hold("");
    service_.reset();
  }
  CCopyThread& Thread() { return *service_->m_pCopyThread; }
  void Start(int silent = 0) { ASSERT_EQ(service_->StartCopyThread(&env_, 0, silent), 1); }
  // A new service and thread, given names to copy, whose copy of held has begun and waits.
  void RestartHolding(const char* held, std::initializer_list<const char*> names) {
    service_ = std::make_unique<CopyService>();
    env_.Hold(held);
    Start();
    for (const char* name : names) Copy(name);
    ASSERT_TRUE(env_.Holding()) << "the copy never started";
  }
  int Copy(const std::string& name) { return Enqueue(*service_, work_ / name, model_.path()); }
  int Count() { return service_->PendingCount(); }

  ShortPauses pauses_{5ms};
  ThreadEnv env_{&platform::System()};
  platform::ScopedEnv scoped_{&env_};
  TempDir work_, model_;
  std::unique_ptr<CopyService> service_ = std::make_unique<CopyService>();
};

// Queued to the thread parked on the empty queue (which must not pass for idle meanwhile), and
// served each in turn: a missing source is done with; a failure is retried three times after one
// pause and then, in silent mode, given up and recorded as unwritten. (Parking on a suspension:
// write_back_test, through NW_SpndWaitThrd.)
TEST_F(CopyThreadTest, ServesInOrderAndRetriesFailuresThreeTimesBeforeGivingUp) {
  for (const char* name : {"first.dat", "stuck.dat", "next.dat"}) work_.Write(name, name);
  model_.Write("keep.dat", "keep.dat");
  Start(1);
  env_.Fail(Op::kReplace, "first.dat", ErrorKind::kSharingViolation, 1);
  env_.Fail(Op::kReplace, "stuck.dat", ErrorKind::kAccessDenied);
  env_.Fail(Op::kDelete, "keep.dat", ErrorKind::kAccessDenied);
  const int deletes = env_.Count(Op::kDelete);
  ASSERT_TRUE(Eventually([&] { return Thread().IsIdle(); })) << "the thread never parked";
  {
    // Queued under the queue's lock, so that the woken thread cannot have served them yet.
    std::lock_guard<std::recursive_mutex> queue(service_->m_csQueue);
    for (const char* name : {"missing.dat", "first.dat", "stuck.dat"}) Copy(name);
    Enqueue(*service_, model_ / "keep.dat", work_.path(), RequestDelete);
    Copy("next.dat");
    EXPECT_FALSE(Thread().IsIdle()) << "a wait for the empty queue would return at once";
  }
  ASSERT_TRUE(Eventually([&] { return Count() == 0; })) << "the woken thread serves nothing";
  EXPECT_EQ(DirectoryNames(model_.path()), "first.dat keep.dat next.dat ");
  EXPECT_EQ(env_.Log(), (std::vector<std::string>{"copy first.dat", "copy first.dat", "copy stuck.dat",
                                                  "copy stuck.dat", "copy stuck.dat", "copy stuck.dat",
                                                  "unwritten stuck.dat", "unwritten keep.dat", "copy next.dat"}));
  EXPECT_EQ(env_.Count(Op::kDelete) - deletes, 4);
  // A request's directory always ends in a separator; the copy adds one for a caller that left it off.
  const std::string bare = path::WithoutTrailingSeparators(model_.path());
  EXPECT_TRUE(Thread().CopyIntoDirectory(work_.Write("own.dat", "own"), bare));
  EXPECT_EQ(model_.Read("own.dat"), "own");
}

// A producer queues and wakes just as the thread empties the queue and parks: every request must
// be served without waiting for a further one, whatever the interleaving.
TEST_F(CopyThreadTest, RacingWakeUpsAreNeverLost) {
  CopyThreadTimings::SetParkDelay(20us);  // widens the window between the empty test and the park
  Start();
  std::minstd_rand rng(7);
  for (int i = 0; i < 3000; ++i) {
    const bool park_first = i % 16 == 0;  // parked on a suspension, not on the empty queue
    if (park_first) service_->SuspendCopyThreadAndWait();
    for (volatile unsigned spin = rng() % 4000; spin > 0; spin = spin - 1) continue;
    ASSERT_EQ(Copy("r" + std::to_string(i)), 1);  // a missing source: served at once
    if (park_first) service_->ResumeCopyThread();
    ASSERT_TRUE(Eventually([&] { return Count() == 0; })) << "request " << i << " waits for a further one";
  }
  for (int i = 0; i < 2000; ++i) Copy("s" + std::to_string(i));  // a burst while it works
  ASSERT_TRUE(Eventually([&] { return Count() == 0; })) << "the burst was not served";
}

// Suspending, and waiting for the queue, wait for the request in progress; stopping carries out no
// queued request, whether the thread is suspended, in the middle of a copy or in the pause before
// the retries.
TEST_F(CopyThreadTest, SuspendWaitsForTheRequestInProgressAndStoppingCarriesOutNoQueuedRequest) {
  for (const char* name : {"a.dat", "b.dat", "big.dat"}) work_.Write(name, name);
  Copy("a.dat");
  service_->WaitForQueueEmpty();  // no thread: returns although a request waits
  EXPECT_EQ(Count(), 1);
  service_->m_requestQueue.Clear();

  ASSERT_NO_FATAL_FAILURE(RestartHolding("big.dat", {"big.dat", "a.dat", "b.dat"}));
  auto suspended = std::async(std::launch::async, [&] { service_->SuspendCopyThreadAndWait(); });
  ASSERT_TRUE(Eventually([&] { return Thread().m_bSuspendRequested.load() == 1; }));
  EXPECT_EQ(suspended.wait_for(0s), std::future_status::timeout) << "the copy in progress is not finished";
  env_.Hold("");
  suspended.get();
  EXPECT_EQ(Count(), 2);
  EXPECT_TRUE(Thread().IsIdle());
  service_.reset();
  EXPECT_EQ(DirectoryNames(model_.path()), "big.dat ") << "the copy in progress, and none after the stop";

  ASSERT_NO_FATAL_FAILURE(RestartHolding("a.dat", {"a.dat", "b.dat"}));
  Thread().RequestStop();
  env_.Hold("");
  service_.reset();
  EXPECT_EQ(DirectoryNames(model_.path()), "a.dat big.dat ") << "the copy under way ends, and no other";

  CopyThreadTimings::SetRetryPause(std::chrono::hours(1));  // stopped in the pause before the retries
  env_.Fail(Op::kReplace, "b.dat", ErrorKind::kAccessDenied);
  const int copies = env_.Count(Op::kReplace);
  service_ = std::make_unique<CopyService>();
  Start();
  Copy("b.dat");
  ASSERT_TRUE(Eventually([&] { return env_.Count(Op::kReplace) == copies + 1; })) << "the first try never came";
  service_.reset();
  EXPECT_EQ(env_.Count(Op::kReplace), copies + 1);

  ASSERT_NO_FATAL_FAILURE(RestartHolding("a.dat", {"a.dat"}));
  auto emptied = std::async(std::launch::async, [&] { service_->WaitForQueueEmpty(); });
  EXPECT_EQ(emptied.wait_for(50ms), std::future_status::timeout) << "the wait ended with a request on the queue";
  env_.Hold("");
  emptied.get();
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
  std::printf("%d %d\n", result, ControlInside().m_bCopyThreadStarted);
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
  std::string line = child->ReadLine(test::PatienceMs(), &ok);
  EXPECT_EQ(child->Wait(), 0);
  EXPECT_EQ(line, "0 0") << "NW_SetModelDir claimed a working copy nobody serves";
#endif
}

// The same for the bare queue.
int Push(FilePathQueue& q, const QueueNode& request) {
  auto* node = new QueueNode(request);
  const int taken = q.PushBackUnique(node);
  if (!taken) delete node;
  return taken;
}

std::string Listed(const QueueNode& r) {
  return std::to_string(r.Kind()) + " " + r.WorkingFile() + " " + r.ModelFile() + ";";
}

// Each request as Listed, served until the queue is empty.
std::string Drain(FilePathQueue& q) {
  std::string served;
  for (QueueNode out; !q.IsEmpty(); q.PopFront()) {
    q.PeekFront(out);
    EXPECT_EQ(out.Next(), nullptr) << "the link is not copied out";
    served += Listed(out);
  }
  EXPECT_EQ(q.Head(), nullptr);
  EXPECT_EQ(q.Tail(), nullptr);
  EXPECT_EQ(q.PopFront(), 0);
  return served;
}

TEST(FilePathQueueTest, RefusesEqualRequestsNullNodesAndEmptyOnesAndServesInArrivalOrder) {
  FilePathQueue q;
  QueueNode out = Request(RequestDelete, "m" + Sep + "junk", "junk");
  q.PeekFront(out);  // an empty queue leaves it empty
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(out.Kind(), RequestCopy);

  const std::string pump = "M" + Sep + "Pump.DAT";
  EXPECT_EQ(Push(q, Request(RequestCopy, pump, "X")), 1);
  EXPECT_EQ(Push(q, Request(RequestCopy, "m" + Sep + "pump.dat", "Y")), 0) << "model directories are not compared";
  EXPECT_EQ(Push(q, Request(RequestDelete, "X" + Sep + "Pump.DAT", "W")), 1) << "a delete is not a copy";
  EXPECT_TRUE(q.Contains(&*QueueNode::Copy("m" + Sep + "PUMP.dat")));
  EXPECT_FALSE(q.Contains(&*QueueNode::Copy("X" + Sep + "Pump.DAT"))) << "the kind is compared";
  EXPECT_FALSE(q.Contains(nullptr));
  // Refused nodes stay the caller's: these live on the stack. An empty request would read as
  // "nothing queued" at the head and hold up every request behind it.
  QueueNode empty, duplicate = Request(RequestCopy, "M" + Sep + "PUMP.dat");
  EXPECT_EQ(q.PushBackUnique(nullptr), 0);
  EXPECT_EQ(q.PushBackUnique(&empty), 0);
  EXPECT_EQ(q.PushBackUnique(&duplicate), 0);
  EXPECT_EQ(q.PushBackUnique(const_cast<QueueNode*>(q.Head())), 0) << "the linked node itself";
  EXPECT_EQ(Push(q, Request(RequestCopy, "d")), 1);
  EXPECT_EQ(q.GetCount(), 3);
  EXPECT_EQ(Drain(q), "1 " + pump + " X" + Sep + "Pump.DAT;2 W" + Sep + "Pump.DAT X" + Sep + "Pump.DAT;1 d t" + Sep + "d;");
}

// Whatever the mix of operations, the queue agrees with a naive model that scans: a request is
// refused only when the youngest waiting for its working file equals it and has not begun; copies
// and deletes of one file alternate; removal leaves the rest in order. Now and then it is drained.
TEST(FilePathQueueTest, AgreesWithANaiveModelUnderRandomUse) {
  std::mt19937 rng(20240611);
  FilePathQueue q;
  std::deque<QueueNode> model;
  std::size_t begun = 0;  // how many of the model's first requests are being carried out
  auto refused = [&](const QueueNode& r) {
    for (std::size_t i = model.size(); i-- > 0;)
      if (text::EqualsNoCase(model[i].WorkingFile(), r.WorkingFile())) return model[i].Equals(r) && i >= begun;
    return false;
  };
  for (int step = 0; step < 20000; ++step) {
    const std::string name = (rng() % 2 ? "F" : "f") + std::to_string(rng() % 12);
    const QueueNode r = rng() % 3 ? Request(RequestCopy, "w" + Sep + name, "m") : Request(RequestDelete, "m" + Sep + name, "w");
    const unsigned op = rng() % 100;
    if (op < 50) {
      const bool no = refused(r);
      ASSERT_EQ(Push(q, r), no ? 0 : 1) << "step " << step;
      if (!no) model.push_back(r);
    } else if (op < 80) {
      ASSERT_EQ(q.PopFront(), model.empty() ? 0 : 1);
      if (!model.empty()) model.pop_front();
      begun -= begun > 0;
    } else if (op < 92) {
      QueueNode head;
      q.PeekFront(head);
      const bool right = rng() % 4 != 0;  // else a serial that is not the head's: nothing begins
      const std::size_t run = std::min<std::size_t>(model.size(), 1 + rng() % 3);
      const QueueNode* last = q.Head();
      for (std::size_t i = 1; i < run; ++i) last = last->Next();
      q.BeginFront(right ? head.Serial() : head.Serial() + 1000000, last ? last->Serial() : 0);
      if (right && run > 0) begun = run;
    } else if (op < 98) {  // one file's requests go, but one begun
      const auto same = [&](const QueueNode& e) { return text::EqualsNoCase(e.WorkingFile(), r.WorkingFile()); };
      std::string removed, expected;
      for (QueueNode* n : q.RemoveIf(same)) removed += Listed(*n), delete n;
      for (auto e = model.begin() + begun; e != model.end();) e = same(*e) ? (expected += Listed(*e), model.erase(e)) : e + 1;
      ASSERT_EQ(removed, expected) << "step " << step;
    } else {
      std::string expected;
      for (const QueueNode& e : model) expected += Listed(e);
      if (op == 99) ASSERT_EQ(Drain(q), expected) << "step " << step;
      q.Clear();
      model.clear();
      begun = 0;
    }
    ASSERT_EQ(q.GetCount(), static_cast<int>(model.size())) << "step " << step;
  }
}

}  // namespace
}  // namespace miradel::test
