// Each port against what only it meets. On Windows, the Win32 adapter against the system itself:
// the native codes its statuses carry and the Windows behaviour that the portable contract suite
// leaves open. On POSIX, the branches that only a share's answers reach, given those answers through
// the port's table of system calls: scripts/test-smb shows the same on a real share.
#ifdef _WIN32
#include <windows.h>  // before env.h, which undoes its A/W names
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/names.h"
#include "platform/posix/sharing.h"
#include "platform/posix/system.h"
#endif

#include "support/temp_dir.h"

namespace miradel::platform {
namespace {

#ifdef _WIN32
TEST(Win32EnvTest, NativeCodesAndTheirTrimmedTextsExactTimesAndHiddenDestinations) {
  Env& env = System();
  test::TempDir dir;
  FileHandle h = 123;
  Status s = env.OpenFile(dir / "absent.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, s.code());
  EXPECT_EQ(kNoFile, h);
  EXPECT_EQ(env.ErrorText(s.code()), s.message());
  const std::string blanks = " \r\n\t";  // the system's texts end in a line break
  ASSERT_FALSE(s.message().empty());
  EXPECT_EQ(blanks.find(s.message().back()), std::string::npos) << "'" << s.message() << "'";
  EXPECT_EQ(blanks.find(s.message().front()), std::string::npos) << "'" << s.message() << "'";
  s = env.OpenFile(dir / "no\\such\\dir.dat", kRead, kShareRead, Disposition::kOpenExisting, &h, nullptr);
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, s.code());
  EXPECT_EQ("", env.ErrorText(0x7ffffff0));  // no text rather than an invented one

  // 2300-01-01 00:00:00 UTC (past what 64-bit nanoseconds hold) and 123456700 ns, in 100 ns steps
  // since 1601-01-01.
  const std::uint64_t ticks = 220582656000000000ULL + 1234567;
  const FILETIME when{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const std::string from = dir.Write("a.dat", "new"), to = dir.Write("b.dat", "old");
  HANDLE raw = CreateFileA(from.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, raw);
  ASSERT_TRUE(SetFileTime(raw, nullptr, nullptr, &when));
  ASSERT_TRUE(CloseHandle(raw));
  FileInfo info;
  ASSERT_TRUE(env.GetFileInfo(from, &info).ok());
  EXPECT_EQ((FileTime{10413792000, 123456700, true}), info.mtime);

  // A copy over a hidden file is refused, as Windows does.
  ASSERT_TRUE(SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(ERROR_ACCESS_DENIED, env.CopyFile(from, to, true).code());
  ASSERT_TRUE(env.GetFileInfo(to, &info).ok());
  EXPECT_TRUE(info.hidden);
  EXPECT_EQ("old", dir.Read("b.dat"));
}
#else
namespace fs = std::filesystem;

bool OpenHere(const struct stat& file) {
  for (const fs::directory_entry& fd : fs::directory_iterator("/proc/self/fd")) {
    struct stat st;
    if (::stat(fd.path().c_str(), &st) == 0 && st.st_dev == file.st_dev && st.st_ino == file.st_ino) return true;
  }
  return false;
}

// The system's answers as a share's, for one test; the real ones again afterwards.
class PosixSyscalls : public ::testing::Test {
 protected:
  PosixSyscalls() { calls_ = 0; }
  ~PosixSyscalls() override {
    posix::Sys() = saved_;
    posix::ForgetShares();
  }
  // statfs names every folder a share's, as a kernel SMB client's mount would be.
  static void LookLikeAShare() {
    posix::Sys().statfs = [](const char* path, struct statfs* f) {
      const int rc = ::statfs(path, f);
      f->f_type = 0xFF534D42;  // CIFS
      return rc;
    };
    posix::ForgetShares();
  }
  // pump.lck, made and held open.
  FileHandle HeldLock() {
    FileHandle h = kNoFile;
    EXPECT_TRUE(env_.OpenFile(dir_ / "pump.lck", kRead | kWrite, 0, Disposition::kCreateAlways, &h, nullptr).ok());
    return h;
  }
  // A share's answer to deleting or renaming `path`: refused while anyone has it open (counted).
  static bool RefusedWhileOpen(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 && OpenHere(st) && (++calls_, errno = EBUSY, true);
  }
  static int UnlinkUnlessOpen(const char* path) { return RefusedWhileOpen(path) ? -1 : ::unlink(path); }
  static inline int calls_ = 0;  // what a fake system call counts
  Env& env_ = System();
  test::TempDir dir_;
  posix::Syscalls saved_ = posix::Sys();
};

// The holder lets the lock file go and a colleague makes a new one between our open and our lock:
// the lock we got guards a dead file, so the port takes the new one instead (or is refused).
TEST_F(PosixSyscalls, ALockTakenOnAFileReplacedMeanwhileIsTakenAgainOnTheNewOne) {
  static std::string lock;
  lock = dir_.Write("pump.lck", "the holder's");
  posix::Sys().fstat = [](int fd, struct stat* st) {
    if (calls_++ == 0 && ::unlink(lock.c_str()) == 0) test::WriteFile(lock, "a colleague's");
    return ::fstat(fd, st);
  };
  FileHandle h = kNoFile;
  ASSERT_TRUE(env_.OpenFile(lock, kRead | kWrite, kShareRead, Disposition::kOpenExisting, &h, nullptr).ok());
  EXPECT_TRUE(env_.NamesHeldFile(lock, h));
  EXPECT_TRUE(env_.Close(h).ok());
}

// The target is replaced while its copy is written, by one who does not lock or by one who then
// holds the new file: what the name holds at the rename is locked and checked first.
TEST_F(PosixSyscalls, ATargetReplacedDuringItsCopyIsLockedAgainBeforeTheRename) {
  static std::string target;
  static bool hold;
  static FileHandle holder;
  for (bool held : {false, true}) {
    target = dir_.Write("pump.dat", "old"), hold = held, holder = kNoFile, calls_ = 0;
    posix::Sys().fsync = [](int fd) {
      if (calls_++ == 0 && ::unlink(target.c_str()) == 0) test::WriteFile(target, "a colleague's");
      if (hold && holder == kNoFile)
        (void)System().OpenFile(target, kReadWrite, kShareRead, Disposition::kOpenExisting, &holder, nullptr);
      return ::fsync(fd);
    };
    EXPECT_EQ(env_.ReplaceWithCopy(dir_.Write("new.dat", "new"), target).IsSharingViolation(), held);
    EXPECT_EQ(dir_.Read("pump.dat"), held ? "a colleague's" : "new");
    EXPECT_FALSE(dir_.Exists("~pump.dat.mrdtmp"));
    if (held) EXPECT_TRUE(env_.Close(holder).ok());
  }
}

// A run's copies are flushed with one syncfs; where that reports a failed write, one by one, which
// tells whose: the run ends before that copy, and its target and the later ones stay as they were.
// One that is asked to end early ends after the file under way.
TEST_F(PosixSyscalls, ARunFlushesItsCopiesOnceAndOneByOneWhenThatReportsAFailedWrite) {
  static bool syncfs_fails;
  const struct {
    bool syncfs_fails, go_on;
    std::size_t done;
    int fsyncs;
    const char* contents;
  } cases[] = {{false, true, 3, 0, "newnewnew"}, {true, true, 1, 2, "newoldold"}, {false, false, 1, 0, "newoldold"}};
  for (const auto& c : cases) {
    syncfs_fails = c.syncfs_fails, calls_ = 0;
    posix::Sys().syncfs = [](int) { return syncfs_fails ? (errno = EIO, -1) : 0; };
    posix::Sys().fsync = [](int fd) { return ++calls_ == 2 ? (errno = EIO, -1) : ::fsync(fd); };
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string name : {"a.dat", "b.dat", "c.dat"})
      pairs.emplace_back(dir_.Write("new-" + name, "new"), dir_.Write(name, "old"));
    std::size_t done = 0;
    const bool go_on = c.go_on;
    EXPECT_EQ(env_.ReplaceWithCopies(pairs, [go_on] { return go_on; }, &done).ok(), !c.syncfs_fails);
    EXPECT_EQ(done, c.done);
    EXPECT_EQ(calls_, c.fsyncs);
    EXPECT_EQ(dir_.Read("a.dat") + dir_.Read("b.dat") + dir_.Read("c.dat"), c.contents);
    EXPECT_EQ(test::DirectoryNames(dir_.path()), "a.dat b.dat c.dat new-a.dat new-b.dat new-c.dat ");
  }
}

// A replacement keeps the target's permissions, also those the umask takes from a new file.
TEST_F(PosixSyscalls, AReplacementKeepsTheTargetsPermissionsWhateverTheUmask) {
  const mode_t was = ::umask(022);
  const std::string target = dir_.Write("pump.dat", "old");
  for (const mode_t mode : {0644, 0664, 0600}) {
    ASSERT_EQ(::chmod(target.c_str(), mode), 0);
    ASSERT_TRUE(env_.ReplaceWithCopy(dir_.Write("new.dat", "new"), target).ok());
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(mode)) << std::oct << mode;
  }
  ::umask(was);
}

// A share's server refuses to unlink a file that anyone has open: the port closes its own handle
// and tries again, and reports a sharing violation only while another holder keeps it.
TEST_F(PosixSyscalls, AnUnlinkRefusedWhileTheFileIsOpenIsTriedAgainAfterTheClose) {
  posix::Sys().unlink = UnlinkUnlessOpen;
  const std::string file = dir_.Write("pump.lck", "lock");
  FileHandle reader = kNoFile;  // shares everything, so takes no lock: only the server sees it
  ASSERT_TRUE(env_.OpenFile(file, kRead, kShareRead | kShareWrite | kShareDelete, Disposition::kOpenExisting,
                            &reader, nullptr).ok());
  EXPECT_TRUE(env_.DeleteFile(file).IsSharingViolation());
  ASSERT_TRUE(env_.Close(reader).ok());
  EXPECT_TRUE(env_.DeleteFile(file).ok());
  EXPECT_FALSE(dir_.Exists("pump.lck"));
}

// Over NT1 the server refuses an unlink or a rename of an open file only after a second: on a share
// the port closes first, so that no delete, release or write-back waits for that answer.
TEST_F(PosixSyscalls, OnAShareNothingOpenIsUnlinkedOrRenamedOver) {
  LookLikeAShare();
  posix::Sys().unlink = UnlinkUnlessOpen;
  posix::Sys().rename = [](const char* from, const char* to) {
    return RefusedWhileOpen(from) || RefusedWhileOpen(to) ? -1 : ::rename(from, to);
  };
  EXPECT_TRUE(env_.CloseAndDelete(HeldLock(), dir_ / "pump.lck").ok());
  EXPECT_TRUE(env_.ReplaceWithCopy(dir_.Write("new.dat", "new"), dir_.Write("pump.dat", "old")).ok());
  EXPECT_TRUE(env_.DeleteFile(dir_ / "new.dat").ok());
  EXPECT_EQ(calls_, 0);
  EXPECT_EQ(dir_.Read("pump.dat"), "new");
  EXPECT_FALSE(dir_.Exists("pump.lck"));
}

// A delete the server refused after a wait is asked once more (our own close may have been queued
// behind it), then taken as final: each ask holds up every caller of the share's client.
TEST_F(PosixSyscalls, OnAShareASlowlyRefusedDeleteIsAskedOnceMoreNotTenTimes) {
  LookLikeAShare();
  posix::Sys().unlink = [](const char*) { return ++calls_, ::usleep(posix::kSlowRefusalMs * 1000), errno = EBUSY, -1; };
  EXPECT_TRUE(env_.CloseAndDelete(HeldLock(), dir_ / "pump.lck").IsSharingViolation());
  EXPECT_EQ(calls_, 2);
}

// A share's server stamps a written file with the time of its close: a replacement is stamped with
// its source's time by name, after the close.
TEST_F(PosixSyscalls, OnAShareAReplacementKeepsItsSourcesTimeThoughTheServerStampsAtTheClose) {
  LookLikeAShare();
  posix::Sys().close = [](int fd) {
    if ((::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY) ::futimens(fd, nullptr);
    return ::close(fd);
  };
  const std::string from = dir_.Write("new.dat", "new"), to = dir_.Write("pump.dat", "old");
  fs::last_write_time(from, fs::file_time_type::clock::now() - std::chrono::hours(50));
  FileInfo source, replaced;
  ASSERT_TRUE(env_.ReplaceWithCopy(from, to).ok());
  ASSERT_TRUE(env_.GetFileInfo(from, &source).ok());
  ASSERT_TRUE(env_.GetFileInfo(to, &replaced).ok());
  EXPECT_EQ(replaced.mtime.seconds, source.mtime.seconds);
  EXPECT_EQ(dir_.Read("pump.dat"), "new");
}
#endif

}  // namespace
}  // namespace miradel::platform
