// Write-back through the exports: the requests the host queues, the share lost and found again,
// the model saved elsewhere, the lock lost, silent mode giving up without losing anything, the
// synchronous write-back and Save As. Checked on the files.
#include <algorithm>
#include <future>

#include "support/host_test.h"
#include "ui/win32_ui.h"

#ifdef _WIN32
#include <windows.h>
#undef MessageBox
#endif

namespace miradel::test {
namespace {

using namespace std::chrono_literals;
using platform::ErrorKind;

constexpr const char* kQuestion = "Unable to update model \" pump \" data files on the disk.";

class WriteBack : public HostTest {
 protected:
  // The model "pump" opened from dir_; its working copy.
  std::string OpenPump() {
    for (const char* name : {"pump.dat", "pump.prv"}) dir_.Write(name, "old");
    return work_ = Open(dir_.path(), "pump");
  }
  bool Drained() {
    return Eventually([] { return In().m_copy.PendingCount() == 0 && In().m_copy.m_pCopyThread->IsIdle(); });
  }
  // Alice's lock on pump in dir, held open; her lock file's text.
  LockSlot AliceHolds(const std::string& dir) {
    BecomeUser("alice", "PC-ALICE");
    LockSlot slot{};
    EXPECT_EQ(slot.Acquire(dir + "pump.lck", false, nullptr, In().m_locks.Texts()), 1);
    BecomeUser("bob", "PC-BOB");
    return slot;
  }
  static std::string AliceLockText(bool permanent) { return LockText("alice", "PC-ALICE", permanent); }
  static void Park(int mode) { NW_SpndWaitThrd(&mode); }
  // The host changed a file of a working copy (work_ unless another is named) and asks for its write-back.
  void Change(const std::string& name, const std::string& bytes, const std::string& work = "") {
    WriteFile((work.empty() ? work_ : work) + name, bytes);
    ASynchCopy(name, "");
  }
  // A working copy kept for what it holds, with its record and journal.
  static void Discard(const std::string& work) {
    std::filesystem::remove_all(path::WithoutTrailingSeparators(work));
    for (const std::string& file : {UnwrittenRecordPath(Path::FromText(work)), PendingJournalPath(Path::FromText(work))})
      std::filesystem::remove(file);
  }
  // The model directory, as a share that vanishes or comes back.
  void TakeAway(bool away = true) {
    const std::string dir = path::WithoutTrailingSeparators(dir_.path());
    std::filesystem::rename(away ? dir : dir + "-away", away ? dir + "-away" : dir);
  }
  // "copy a delete b", the working copy's changes not known to be on the share.
  static std::string Unwritten(const std::string& work) {
    UnwrittenRecord r;
    return ReadUnwrittenChanges(Path::FromText(work), &r) ? Listed(r) : "";
  }
  std::vector<std::string> Queued() {
    std::vector<std::string> out;
    for (const QueueNode& r : In().m_copy.Pending())
      out.push_back((r.Kind() == RequestDelete ? "delete " : "copy ") + path::BaseName(r.ModelFile()));
    return out;
  }

  ShortPauses pauses_{2ms};
  std::string work_;
  // Folders the model may go to: removed only after the teardown let go of every lock (Windows
  // cannot remove a folder with open files).
  TempDir first_, second_, third_;
};

// Each export queues what the host changed or removed, and nothing for what it must not touch; the
// last request for a file wins (copy, delete, copy writes; copy, delete deletes), and a delete of a
// file already gone is done, not a question. The release then waits for them all, one failing
// twice first, and the last one also while it waits between its tries. Parking and resuming
// before the thread is started do nothing, and no mode changes nothing. Meanwhile the host's lock
// calls run beside the thread's work (a race here is what ThreadSanitizer looks for).
TEST_F(WriteBack, RequestsQueueTheHostsChangesAndTheReleaseWaitsForThem) {
  Park(0);
  Park(1);
  OpenPump();
  std::thread producer([&] {
    for (int i = 0; i < 300; ++i) EnqueueAndCopyFile(work_ + "gone" + std::to_string(i));
  });
  for (int i = 0; i < 300; ++i) {
    NW_SetModelVars();
    EXPECT_EQ(NW_CheckLock(), 1);
  }
  producer.join();
  ASSERT_TRUE(Drained());
  for (const char* name : {"pump.out", "b.res", "a.res", "pump.prv"}) WriteFile(work_ + name, name);
  for (const char* name : {"gone.txt", "a.txt", "b.txt", "went.txt"}) dir_.Write(name, "old");
  Park(0);
  NW_SpndWaitThrd(nullptr);        // still parked
  ASynchCopy("pump.out", "", 1);   // mode 1 acts not
  ASynchCopy("pump    ", "out");   // the host's padding goes
  ASynchCopy("gone.txt", "");      // no longer in the working copy: deleted in the model
  ASynchCopy("never.txt", "");     // in neither
  ASynchCopy(".." + std::string(1, S) + "pump.dat", "");
  ASynchCopyExt("res");
  ASynchCopyExt("res");            // all still waiting
  EXPECT_EQ(EnqueueAndCopyFile(work_ + "PUMP.PRV"), 1);
  EXPECT_EQ(EnqueueAndCopyFile(work_ + "pump.prv"), 0);
  ASynchDelete("missing.txt");
  AsynchCpyMdlFl("");
  AsynchCpyMdlFl("prv  ");
  ASynchDelete("went.txt");
  std::filesystem::remove(dir_ / "went.txt");
  for (const char* step : {"a v1", "a", "a v2", "b v1", "b"}) {
    const std::string file = std::string(1, step[0]) + ".txt";
    step[1] ? (void)WriteFile(work_ + file, step + 2) : (void)std::filesystem::remove(work_ + file);
    ASynchCopy(file, "");
  }
  EXPECT_EQ(Queued(), (std::vector<std::string>{"copy pump.out", "delete gone.txt", "copy a.res", "copy b.res",
                                                "copy PUMP.PRV", "delete went.txt", "copy a.txt", "delete a.txt",
                                                "copy a.txt", "copy b.txt", "delete b.txt"}));
  env_.Fail(Op::kReplace, "a.res", ErrorKind::kSharingViolation, 2);
  env_.Fail(Op::kDelete, "b.txt", ErrorKind::kSharingViolation, 1);
  Park(1);
  NW_ReleaseLock();
  EXPECT_EQ(DirectoryNames(dir_.path()), "a.res a.txt b.res pump.dat pump.out pump.prv ");
  EXPECT_EQ(dir_.Read("a.res"), "a.res");
  EXPECT_EQ(dir_.Read("a.txt"), "v2");
  EXPECT_EQ(ui_.count(), 0u);
}

// The share vanishes under 1,000 queued write-backs: Retry while it is gone asks again; Retry once
// it is back says so once, and every file arrives whole.
TEST_F(WriteBack, RetryAfterTheShareCameBackWritesEveryFileAndALostLockIsTakenBackOrTheModelMoves) {
#ifdef _WIN32
  GTEST_SKIP() << "a directory with open files cannot be renamed away, nor a held lock file deleted, on Windows";
#endif
  OpenPump();
  int questions = 0;
  Park(0);
  for (int i = 0; i < 1000; ++i) WriteFile(work_ + "f" + std::to_string(i) + ".bin", std::string(100, 'a' + i % 26));
  ASynchCopyExt("bin");
  TakeAway();
  ui_.hook = [&](const ui::MessageBoxRequest& box) {
    if (box.text.find(kQuestion) == 0 && ++questions == 2) TakeAway(false);
  };
  Park(1);
  ASSERT_TRUE(Drained());
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(ui_.Count("You can continue working with the pump model"), 1);
  for (int i = 0; i < 1000; i += 37) EXPECT_EQ(dir_.Read("f" + std::to_string(i) + ".bin"), std::string(100, 'a' + i % 26));
  const std::string names = DirectoryNames(dir_.path());
  EXPECT_EQ(std::count(names.begin(), names.end(), ' '), 1000 + 3) << "1,000 files, the model's two and its lock";

  // A lock file someone else wrote over ours: a stale one is taken back quietly; her permanent lock,
  // or one she holds, is named, left as it is, and the model saved elsewhere (silent mode changes none
  // of it).
  ui_.hook = nullptr;
  SetSilent(1);
  std::string at = dir_.path();
  enum Kind { kStale, kPermanent, kHeld };
  for (Kind kind : {kStale, kPermanent, kHeld}) {
    std::filesystem::remove(at + "pump.lck");
    WriteFile(at + "pump.lck", AliceLockText(kind == kPermanent));
    FileHandle holder = kNoFile;
    if (kind == kHeld)
      ASSERT_TRUE(System().OpenFile(at + "pump.lck", kWrite, kShareRead, Disposition::kOpenExisting, &holder, nullptr).ok());
    const std::string was = at;
    if (kind != kStale) at = kind == kPermanent ? first_.path() : second_.path();
    ui_.QueueFolders({at});
    Change("pump.out", std::to_string(kind));
    ASSERT_TRUE(Drained());
    EXPECT_EQ(ReadFile(at + "pump.out"), std::to_string(kind));
    EXPECT_EQ(OwnerInLockFile(at + "pump.lck").szUserName, std::string("bob"));
    if (kind != kStale) EXPECT_EQ(OwnerInLockFile(was + "pump.lck").szUserName, std::string("alice")) << "hers went";
    EXPECT_EQ(ui_.Count("Model has now been"), kind) << "one box per colleague's lock, naming her";
    if (holder != kNoFile) System().Close(holder).IgnoreError();
  }
}

// Save: a cancelled browser asks again; folders locked by another user (held, or permanently) are
// refused naming her; an empty folder takes the whole working copy and the lock, and is the model
// directory from then on.
TEST_F(WriteBack, SaveMovesTheModelToAFolderNobodyHolds) {
  OpenPump();
  const TempDir &held = first_, &permanent = second_, &fresh = third_;
  LockSlot alice = AliceHolds(held.path());
  WriteFile(permanent / "pump.lck", AliceLockText(true));
  WriteFile(work_ + "pump.out", "new");
  env_.Fail(Op::kReplace, "pump.out", ErrorKind::kAccessDenied, 4);
  ui_.QueueAnswers({ui::kIdNo, ui::kIdNo});
  ui_.QueueFolders({"", held.path(), permanent.path(), path::WithoutTrailingSeparators(fresh.path())});
  ASynchCopy("pump.out", "");
  ASSERT_TRUE(Drained());
  EXPECT_EQ(ui_.Count(kQuestion), 2);
  EXPECT_EQ(ui_.Count("Current model in this directory has been temporarily locked for editing by:\nMachineName:\t\tPC-ALICE\nUsername:\t\talice"), 1);
  EXPECT_EQ(ui_.Count("Current model in this directory has been permanently locked for editing by:"), 1);
  EXPECT_EQ(ui_.Count("Model was successfully saved at new location"), 1);
  EXPECT_EQ(DirectoryNames(fresh.path()), "pump.dat pump.lck pump.out ");
  EXPECT_EQ(fresh.Read("pump.out"), "new");
  EXPECT_FALSE(dir_.Exists("pump.lck"));
  EXPECT_EQ(OwnerInLockFile(fresh / "pump.lck").szUserName, std::string("bob"));
  EXPECT_EQ(ModelDir(), path::WithoutTrailingSeparators(fresh.path()));
  // A later change goes there too. One made while its own write-back is under way (here between
  // its failing tries) is queued again and written: the one under way may have read the file before.
  env_.Fail(Op::kReplace, "c.txt", ErrorKind::kSharingViolation);
  const int tries = env_.Count(Op::kReplace);
  Change("c.txt", "v1");
  ASSERT_TRUE(Eventually([&] { return env_.Count(Op::kReplace) > tries; }));
  WriteFile(work_ + "c.txt", "v2");
  EXPECT_EQ(EnqueueAndCopyFile(work_ + "c.txt"), 1) << "refused as a duplicate of the one under way";
  env_.ClearFaults();
  ASSERT_TRUE(Drained());
  EXPECT_EQ(fresh.Read("c.txt"), "v2");
  alice.Release();
}

// After a switch the queue holds two models' requests. Saving the previous model elsewhere moves it
// alone (its lock keeps the model's case there); the open model's request still reaches its own
// directory. The open model's own lock is the one checked: taken over by alice, she is named while
// the host's lock calls go on answering, and its move lands in the slot NW_ReleaseLock lets go.
TEST_F(WriteBack, EachRequestGoesToItsOwnModelUnderItsOwnLock) {
  for (const char* name : {"Pump.dat", "Valve.dat"}) dir_.Write(name, "old");
  const std::string pump = Open(dir_.path(), "Pump");
  Park(0);
  Change("Pump.out", "pump", pump);
  const std::string valve = Open(dir_.path(), "Valve");
  Change("Valve.out", "valve", valve);
  env_.Fail(Op::kReplace, dir_ / "Pump.out", ErrorKind::kAccessDenied);
  ui_.QueueAnswers({ui::kIdNo});
  ui_.QueueFolders({first_.path(), second_.path()});
  Park(1);
  ASSERT_TRUE(Drained());
  EXPECT_EQ(DirectoryNames(first_.path()), "Pump.dat Pump.lck Pump.out ");
  EXPECT_EQ(dir_.Read("Valve.out"), "valve");
  EXPECT_EQ(ModelDir(), dir_.path());
  NW_RelesOldLock();
  EXPECT_FALSE(first_.Exists("Pump.lck")) << "the previous model's new lock outlived its release";

  env_.Forge(dir_ / "Valve.lck", AliceLockText(true));
  std::future<int> check;
  bool answered = false;
  ui_.hook = [&](const ui::MessageBoxRequest& box) {
    if (box.text.find("Model has now been permanently locked for editing by:") != 0) return;
    check = std::async(std::launch::async, [] { return NW_CheckLock(); });
    answered = check.wait_for(10s) == std::future_status::ready;
  };
  Change("Valve.out", "valve 2", valve);
  ASSERT_TRUE(Drained());
  EXPECT_TRUE(answered) << "NW_CheckLock waited on the copy thread's question";
  EXPECT_EQ(second_.Read("Valve.out"), "valve 2");
  EXPECT_EQ(dir_.Read("Valve.out"), "valve");
  EXPECT_EQ(ModelDir(), second_.path());
  env_.ClearFaults();
  NW_ReleaseLock();
  EXPECT_FALSE(second_.Exists("Valve.lck")) << "the open model's new lock outlived its release";
}

// A host that serves its window's messages and checks its lock from a timer every 100 ms goes on
// doing so while the copy thread's real boxes tell it that alice took the model and that it moved:
// a helper presses each box once the host has checked three more times meanwhile.
#ifdef _WIN32  // the real boxes are Windows only
TEST_F(WriteBack, AHostCheckingItsLockFromATimerKeepsGoingWhileTheCopyThreadAsks) {
  const HWND window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300,
                                      nullptr, nullptr, nullptr, nullptr);
  if (!window) GTEST_SKIP() << "no display to show windows on";
  struct RealBoxes : ScriptedUi {
    int MessageBox(const ui::MessageBoxRequest& box) override { return ui::WindowsUi().MessageBox(box); }
    void EnableWindow(std::intptr_t w, bool enable) override { ui::WindowsUi().EnableWindow(w, enable); }
  } real;
  ScopedUi scoped{&real};
  const int handle = static_cast<int>(reinterpret_cast<std::intptr_t>(window));
  NW_SetHwnd(&handle);
  OpenPump();
  env_.Forge(dir_ / "pump.lck", AliceLockText(true));
  real.QueueFolders({first_.path()});
  std::atomic<int> checks{0};
  std::atomic<bool> pressed{false};
  std::thread helper([&] {
    for (const char* text : {"Model has now been permanently locked", "Model was successfully saved"}) {
      // A box is found once its text is there (a box being made has none yet).
      HWND box = nullptr;
      for (int i = 0; i < 3000 && !box; ++i, Sleep(20))
        for (HWND w = nullptr; !box && (w = FindWindowExA(nullptr, w, MAKEINTATOM(32770), nullptr));) {
          char shown[256] = {};
          DWORD_PTR got = 0;  // a window of a thread that hangs is passed over
          SendMessageTimeoutA(GetDlgItem(w, 0xFFFF), WM_GETTEXT, sizeof shown, reinterpret_cast<LPARAM>(shown),
                              SMTO_ABORTIFHUNG, 1000, &got);
          if (std::string(shown).rfind(text, 0) == 0) box = w;
        }
      const int seen = checks;
      for (int i = 0; i < 3000 && checks < seen + 3; ++i) Sleep(20);
      if (!box || checks < seen + 3) {
        std::fprintf(stderr, "FAILED: %s at \"%s\"\n", box ? "the host stopped" : "no box came", text);
        std::_Exit(1);  // both threads wait for each other for good: nothing else would end the test
      }
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      for (int i = 0; i < 3000 && IsWindow(box); ++i) Sleep(20);
    }
    pressed = true;
  });
  SetTimer(window, 1, 100, nullptr);
  Change("pump.out", "moved");
  for (MSG msg; !(pressed && In().m_copy.PendingCount() == 0 && In().m_copy.m_pCopyThread->IsIdle()) &&
                GetMessageA(&msg, nullptr, 0, 0) > 0;) {
    if (msg.message == WM_TIMER) checks += NW_CheckLock() >= 0;
    DispatchMessageA(&msg);
  }
  helper.join();
  DestroyWindow(window);
  EXPECT_EQ(first_.Read("pump.out"), "moved");
}
#endif

// No model directory, no request. Requests still queued when the host lets their lock go (the
// thread parked) are never written, not even once the thread runs again, and alice may take the
// model: they are kept as unwritten changes with their working copy. Meanwhile the journal names
// them, so that a kill could not lose them.
TEST_F(WriteBack, RequestsOfALockLetGoAreKeptAndNeverWritten) {
  EXPECT_EQ(EnqueueAndCopyFile(dir_ / "pump.out"), 0);
  ASynchCopy("pump.out", "");
  EXPECT_EQ(In().m_bCopyThreadStarted, 0) << "a request without a model directory was taken";
  OpenPump();
  Park(0);
  Change("pump.out", "new");
  EXPECT_EQ(Unwritten(work_), "copy pump.out");
  NW_ReleaseLock();
  LockSlot alice = AliceHolds(dir_.path());
  Park(1);
  ASSERT_TRUE(Drained());
  EXPECT_FALSE(dir_.Exists("pump.out"));
  EXPECT_EQ(Unwritten(work_), "copy pump.out");
  EXPECT_EQ(ReadFile(work_ + "pump.out"), "new");
  alice.Release();
  Discard(work_);
}

// A model alice holds is never written into: NW_CopyModelFrmTmp names her, and a cancelled browser
// is no move (0, her model as it was, the change kept); Save As into a folder where she has the
// model open, without its lock taken, writes nothing.
TEST_F(WriteBack, AColleaguesModelIsNeverWrittenInto) {
  OpenPump();
  env_.Forge(dir_ / "pump.lck", AliceLockText(true));
  WriteFile(work_ + "pump.dat", "mine");
  EXPECT_EQ(NW_CopyModelFrmTmp(), 0);
  EXPECT_EQ(ui_.Count("Model has now been permanently locked for editing by:\nMachineName:\t\tPC-ALICE"), 1);
  EXPECT_EQ(dir_.Read("pump.dat"), "old");
  EXPECT_EQ(Unwritten(work_), "copy pump.dat");
  env_.ClearFaults();

  LockSlot alice = AliceHolds(first_.path());
  NW_SetModelVars();
  ASSERT_EQ(SetModelDir(first_.path(), "pump"), 1);
  std::string none;
  MiradelLockOwner owner{};
  EXPECT_EQ(SaveAs(0, &none, "", &owner), 0);
  EXPECT_EQ(DirectoryNames(first_.path()), "pump.lck ");
  alice.Release();
}

// Silent mode gives a write-back up only as unwritten, and after its tries: a failing copy, a lock
// file that cannot be rewritten (the share went read-only), a model directory gone under
// NW_CopyModelFrmTmp (0, and nothing made anew there); a failed NW_CopyAllFromTemp is kept too.
// The working copy stays, and says so.
TEST_F(WriteBack, SilentModeKeepsWhatItCouldNotWrite) {
  SetSilent(1);
  OpenPump();
  WriteFile(work_ + "pump.dat", "new data");
  WriteFile(work_ + "pump.out", "results");
  EXPECT_EQ(NW_CopyModelFrmTmp(), 1);
  EXPECT_EQ(dir_.Read("pump.dat"), "new data");
  env_.Fail(Op::kReplace, "pump.", ErrorKind::kAccessDenied);
  ASynchCopy("pump.out", "");
  ASSERT_TRUE(Drained());
  EXPECT_EQ(NW_CopyModelFrmTmp(), 0);
  WriteFile(work_ + "pump.txt", "notes");
  EXPECT_EQ(NW_CopyAllFromTemp(), 0);
  env_.ClearFaults();
  env_.Fail(Op::kWrite, "pump.lck", ErrorKind::kAccessDenied);
  Change("pump.prv", "prv");
  ASSERT_TRUE(Drained()) << "a lock file that cannot be written held the thread";
  env_.ClearFaults();
#ifndef _WIN32
  TakeAway();
  EXPECT_EQ(NW_CopyModelFrmTmp(), 0);
  EXPECT_FALSE(Exists(dir_.path())) << "the lost model directory was made anew";
  TakeAway(false);
#endif
  EXPECT_EQ(ui_.count(), 0u);
  EXPECT_EQ(Unwritten(work_), "copy pump.out copy pump.dat copy pump.txt copy pump.prv");
  NW_ReleaseLock();
  EXPECT_EQ(ReadFile(work_ + "pump.out"), "results") << "the only copy of a change was removed";
  EXPECT_FALSE(dir_.Exists("pump.out"));
  Discard(work_);
}

// Ordinary Save As renames the working files to the new name and writes all but texts and undo
// files; read-only Save As locks and fills a folder the user picks.
TEST_F(WriteBack, SaveAsCarriesTheModelOver) {
  OpenPump();
  for (const char* name : {"PumpPump.txt", "pump.und", "pump.u01", "pump.U99", "pump.u1a", "pump.unt"})
    WriteFile(work_ + name, name);
  const TempDir& to = first_;
  NW_SetModelVars();
  MiradelLockOwner owner{};
  ASSERT_EQ(GetLock(to.path(), "PUMP", &owner), 1);
  ASSERT_EQ(SetModelDir(to.path(), "PUMP"), 1);
  std::string none;
  EXPECT_EQ(SaveAs(0, &none, "", &owner), 1);
  EXPECT_EQ(DirectoryNames(to.path()), "PUMP.dat PUMP.lck PUMP.u1a PUMP.unt ");
  EXPECT_TRUE(Exists(QVTempDir() + "PUMPPUMP.txt"));
  NW_RelesOldLock();  // as the host lets go of pump

  const TempDir &locked = second_, &empty = third_;
  WriteFile(locked / "pump.lck", AliceLockText(true));
  ui_.QueueFolders({"", locked.path(), empty.path()});
  std::string dir = to.path();
  for (int expected : {0, 3, 1}) {
    owner = MiradelLockOwner{};
    EXPECT_EQ(SaveAs(1, &dir, "PUMP", &owner), expected);
    EXPECT_EQ(std::string(owner.user_name), expected == 3 ? "alice" : "");
  }
  EXPECT_EQ(dir, path::WithoutTrailingSeparators(empty.path()));
  EXPECT_EQ(DirectoryNames(empty.path()), "PUMP.dat PUMP.lck ");
  EXPECT_FALSE(CanWrite(empty / "PUMP.lck")) << "the new folder's lock is held";
}

// Each file operation of one open / write-back / close cycle failed in turn, once and from then on
// (until a question comes: the share is back then), and the lock file's writes failed once and for
// good after the model was opened: every run ends within a bound; the model directory holds each
// file old or new, never torn; and a change it lacks is still in the working copy, which was kept
// (and names it, where the failures left the record writable).
TEST_F(WriteBack, NoFailedOperationLosesAChange) {
  SetSilent(1);
  const std::string oldBytes(20000, 'O'), newBytes(30000, 'N');
  const std::vector<Op> ops = {Op::kOpen,  Op::kRead,     Op::kWrite, Op::kCopy,     Op::kDelete, Op::kCreateDir,
                               Op::kRemoveDir, Op::kFind, Op::kEnterDir, Op::kFlush, Op::kReplace};
  ui_.hook = [&](const ui::MessageBoxRequest&) { env_.ClearFaults(); };
  auto cycle = [&](const std::function<void()>& opened) {
    for (const char* name : {"pump.dat", "pump.out"}) dir_.Write(name, oldBytes);
    MiradelLockOwner owner{};
    std::string work;
    if (GetLock(dir_.path(), "pump", &owner) == 1 && SetModelDir(dir_.path(), "pump") == 1 && CopyAllToTemp() == 1) {
      work = QVTempDir();
      opened();
      for (const char* name : {"pump.dat", "pump.out"}) WriteFile(work + name, newBytes);
      ASynchCopy("pump.out", "");
      NW_CopyModelFrmTmp();
    }
    NW_ReleaseLock();
    return work;
  };
  std::vector<int> before, used;
  for (Op op : ops) before.push_back(env_.Count(op));
  const std::string clean = cycle([] {});
  ASSERT_EQ(dir_.Read("pump.out"), newBytes) << "the cycle writes back without faults";
  for (std::size_t i = 0; i < ops.size(); ++i) used.push_back(env_.Count(ops[i]) - before[i]);
  int runs = 0;
  auto run = [&](const std::function<void()>& fault, const std::function<void()>& opened, const std::string& what,
                 bool recordable) {
    ResetTheControl();
    BecomeUser("bob", "PC-BOB");
    SetSilent(1);
    fault();
    const auto start = std::chrono::steady_clock::now();
    const std::string work = cycle(opened);
    env_.ClearFaults();
    ++runs;
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << what;
    for (const char* name : {"pump.dat", "pump.out"}) {
      const std::string now = dir_.Read(name);
      ASSERT_TRUE(now == oldBytes || now == newBytes) << name << " torn, " << what;
      if (now == newBytes || work.empty()) continue;
      ASSERT_EQ(ReadFile(work + name), newBytes) << name << " lost, " << what;
      if (recordable) ASSERT_NE(Unwritten(work).find(name), std::string::npos) << name << " not recorded, " << what;
    }
    if (!work.empty()) Discard(work);
  };
  for (std::size_t i = 0; i < ops.size(); ++i)
    for (int k = 0; k < used[i]; ++k)
      for (int times : {1, -1})
        run([&] { env_.FailAfter(ops[i], k, ErrorKind::kOther, times); }, [] {},
            "op " + std::to_string(i) + " #" + std::to_string(k) + " x" + std::to_string(times), false);
  for (int times : {1, -1})
    run([] {}, [&] { env_.Fail(Op::kWrite, ".lck", ErrorKind::kOther, times); }, "lock writes x" + std::to_string(times),
        true);
  EXPECT_GT(runs, 50);
}

}  // namespace
}  // namespace miradel::test
