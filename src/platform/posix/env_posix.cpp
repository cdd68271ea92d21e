// The POSIX adapter: Windows file semantics, as the locks rely on them, emulated on Linux. The
// sharing emulation and its reasons are in sharing.cpp, names without regard to case in names.cpp,
// copying in copying.cpp.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "platform/env.h"
#include "platform/handle_table.h"
#include "platform/posix/copying.h"
#include "platform/posix/names.h"
#include "platform/posix/sharing.h"
#include "platform/posix/system.h"

namespace miradel::platform {

namespace {

using namespace posix;

class PosixEnv final : public Env {
 public:
  Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                  FileHandle* handle, bool* existed) override {
    if (existed) *existed = false;
    if (handle == nullptr) return Fail(EINVAL);
    *handle = kNoFile;
    if (BadPath(path)) return Fail(EINVAL);
    Lock lock = LockFor(access, share);
    // Writers read as well (see "Shares"), and a shared lock needs a descriptor open for reading.
    int flags = (access & kWrite) ? O_RDWR : O_RDONLY;
    Create create = disp == Disposition::kOpenExisting ? Create::kNo : Create::kIfMissing;
    Device device;
    const std::string p = Resolve(path, &device);
    // Looked for a moment ago in every spelling: an open would only say the same.
    if (device.absent && create == Create::kNo) return Fail(ENOENT);
    Opened o;
    Status s = OpenLocked(p, flags, create, lock, kNoFinalLink | kAsListed, &o, &device);
    if (s.code() == EACCES && !(access & kRead) && lock != Lock::kShared)  // may write, not read
      s = OpenLocked(p, O_WRONLY, create, lock, kNoFinalLink | kAsListed, &o, &device);
    if (!s.ok()) return s;
    if (o.existed && (access & kWrite)) {
      // The read-only attribute stops writers on Windows even for administrators; so here too.
      if (!HasWriteBits(o.st.st_mode)) {
        CloseFd(o.fd);
        return Fail(EACCES);
      }
    }
    if (disp == Disposition::kCreateAlways && o.existed && ::ftruncate(o.fd, 0) != 0) {
      int err = errno;
      CloseFd(o.fd);
      return Fail(err);
    }
    *handle = m_handles.Add(Held{o.fd, o.st.st_dev, o.st.st_ino});
    if (existed) *existed = o.existed;
    return Status::Ok();
  }

  Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) override {
    std::size_t dummy = 0;
    if (got == nullptr) got = &dummy;
    *got = 0;
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    if (n == 0) return Status::Ok();
    if (buf == nullptr) return Fail(EINVAL);
    char* p = static_cast<char*>(buf);
    while (*got < n) {
      std::size_t want = n - *got;
      if (want > (std::size_t{1} << 30)) want = std::size_t{1} << 30;
      ssize_t r = ::read(fd, p + *got, want);
      if (r < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (r == 0) break;
      *got += static_cast<std::size_t>(r);
    }
    return Status::Ok();
  }

  Status Write(FileHandle h, const void* buf, std::size_t n) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    if (n == 0) return Status::Ok();
    if (buf == nullptr) return Fail(EINVAL);
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
      std::size_t want = n > (std::size_t{1} << 30) ? std::size_t{1} << 30 : n;
      ssize_t w = ::write(fd, p, want);
      if (w < 0) {
        if (errno == EINTR) continue;
        return Fail(errno);
      }
      if (w == 0) return Fail(EIO);
      p += w;
      n -= static_cast<std::size_t>(w);
    }
    return Status::Ok();
  }

  Status Seek(FileHandle h, std::uint64_t offset) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return Fail(EINVAL);
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return Fail(errno);
    return Status::Ok();
  }

  Status Truncate(FileHandle h) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    off_t pos = ::lseek(fd, 0, SEEK_CUR);
    if (pos < 0) return Fail(errno);
    while (::ftruncate(fd, pos) != 0) {
      if (errno != EINTR) return Fail(errno);
    }
    return Status::Ok();
  }

  Status Close(FileHandle h) override {
    Held held;
    if (!m_handles.Remove(h, &held)) return Fail(ErrorKind::kNotFound, EBADF);
    // Never retried: on Linux the descriptor is gone even after EINTR, which is no failure.
    if (Sys().close(held.fd) != 0 && errno != EINTR) return Fail(errno);
    return Status::Ok();
  }

  Status Flush(FileHandle h) override {
    int fd = FdOf(h);
    if (fd < 0) return Fail(EBADF);
    while (Sys().fsync(fd) != 0) {
      if (errno != EINTR) return Fail(errno);
    }
    return Status::Ok();
  }

  Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    if (BadPath(from) || BadPath(to)) return Fail(EINVAL);
    Opened src;
    Status s = OpenSource(from, &src);
    if (!s.ok()) return s;
    const struct stat& sst = src.st;

    // The destination is written as an exclusive writer would, so that nobody holding it is
    // overwritten; the checks come after the lock so that they see the file we will write to.
    std::string dest = Resolve(to);
    Opened dst;
    const Create create = overwrite ? Create::kIfMissing : Create::kOnlyNew;
    s = OpenLocked(dest, O_RDWR, create, Lock::kExclusive, kAsGiven, &dst);  // O_RDWR: see "Shares"
    if (s.code() == EACCES) s = OpenLocked(dest, O_WRONLY, create, Lock::kExclusive, kAsGiven, &dst);
    if (!s.ok()) {
      CloseFd(src.fd);
      return s;
    }
    auto give_up = [&](const Status& st) {
      CloseFd(dst.fd);
      CloseFd(src.fd);
      return st;
    };
    const struct stat& dst_st = dst.st;
    if (dst.existed) {
      if (!HasWriteBits(dst_st.st_mode)) return give_up(Fail(EACCES));  // read-only, even for root
      if (SameFile(sst, dst_st)) return give_up(SharingViolation(EBUSY));  // Windows: in use by the copy itself
      if (::ftruncate(dst.fd, 0) != 0) return give_up(Fail(errno));
    }

    if (int err = FillCopy(src.fd, sst, dst.fd, dst_st.st_mode)) {
      // A half-written new copy is worse than none; we still hold it, so nobody else reads it. A file
      // that was there before stays, torn: it may be the only copy of a model's file.
      if (dst.existed) CloseFd(dst.fd);
      else UnlinkHeld(dst.fd, dest, OnShare(dst.st.st_dev, dest));
      CloseFd(src.fd);
      return Fail(err);
    }
    CloseFd(src.fd);
    if (Sys().close(dst.fd) != 0 && errno != EINTR) return Fail(errno);  // delayed write errors (NFS, SMB)
    return Status::Ok();
  }

  Status ReplaceWithCopy(const std::string& from, const std::string& to) override {
    Replacement replacement;
    const Status s = replacement.Prepare(from, to, true);
    return s.ok() ? replacement.Finish() : s;
  }

  // The copies are written, then flushed with one syncfs per file system: a flush per file costs a
  // commit of the file system's journal each. syncfs reports a write that failed on the file system
  // since our file was opened, whosever: the copies of that file system are then flushed one by one,
  // which tells whose. A share's copies are flushed one by one anyway (see Replacement).
  Status ReplaceWithCopies(const std::vector<std::pair<std::string, std::string>>& pairs,
                           const std::function<bool()>& go_on, std::size_t* done) override {
    *done = 0;
    std::vector<std::unique_ptr<Replacement>> run;
    Status failed;
    for (const auto& [from, to] : pairs) {
      if (!run.empty() && !go_on()) break;
      const Replacement* before = run.empty() ? nullptr : run.back().get();
      run.push_back(std::make_unique<Replacement>());
      if (!(failed = run.back()->Prepare(from, to, false, before)).ok()) {
        run.pop_back();
        break;
      }
    }
    std::map<dev_t, bool> synced;
    for (const auto& r : run)
      if (r->Unflushed() >= 0 && !synced.count(r->FileSystem()))
        synced[r->FileSystem()] = Sys().syncfs(r->Unflushed()) == 0;
    for (std::size_t i = 0; i < run.size(); ++i) {
      const int fd = run[i]->Unflushed();
      if (fd >= 0 && !synced[run[i]->FileSystem()]) {
        if (int err = SyncFd(fd)) {
          failed = Fail(err);
          run.resize(i);
          break;
        }
      }
      run[i]->Flushed();
    }
    // In order, so that a file is never newer than one queued before it; the first failure ends it.
    for (std::size_t i = 0; i < run.size(); ++i) {
      const Status s = run[i]->Finish();
      if (!s.ok()) return s;
      ++*done;
    }
    return failed;
  }

  Status DeleteFile(const std::string& path) override {
    if (BadPath(path)) return Fail(EINVAL);
    bool share = false;
    Device device;
    const std::string resolved = Resolve(path, &device);
    std::string p = ListedDirectories(resolved, &share, &device);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      // An exclusive lock meets every holder's lock; it needs a descriptor open for writing.
      Lock lock = Lock::kExclusive;
      int used = 0;
      int fd = OpenNoHang(p, O_RDWR | O_CLOEXEC | O_NOFOLLOW, &used);
      if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY)) {
        // We may not write it (whether we may delete it is the directory's business). A shared lock
        // still keeps us off a held file, but lets two such deleters pass together; no release of
        // ours deletes this way, as a lock's holder can always write its lock file.
        lock = Lock::kShared;
        fd = OpenNoHang(p, O_RDONLY | O_CLOEXEC | O_NOFOLLOW, &used);
      }
      if (fd < 0) {
        int err = errno;
        struct stat named;
        if (err == ELOOP || err == ENXIO) {
          // A symbolic link or a socket: nobody can hold those, and the name itself goes.
          if (Sys().lstat(p.c_str(), &named) == 0 && !S_ISDIR(named.st_mode) && !S_ISREG(named.st_mode))
            return Sys().unlink(p.c_str()) == 0 ? Status::Ok() : Fail(errno);
        }
        // We may not read it either, so we cannot ask about its lock; nobody we could see holds it.
        if (err == EACCES) return Sys().unlink(p.c_str()) == 0 ? Status::Ok() : Fail(errno);
        return Fail(err);
      }
      struct stat mine;
      // This descriptor only takes the lock: it may stay non-blocking.
      if (int err = CheckRegular(fd, 0, &mine)) {
        CloseFd(fd);
        if (err != ENXIO) return Fail(err);
        return Sys().unlink(p.c_str()) == 0 ? Status::Ok() : Fail(errno);  // a FIFO or device
      }
      // Windows refuses to delete a read-only file, whoever asks.
      if (!HasWriteBits(mine.st_mode)) {
        CloseFd(fd);
        return Fail(EACCES);
      }
      if (int err = TakeLock(fd, lock)) {
        CloseFd(fd);
        return IsConflict(err) ? SharingViolation(err) : Fail(err);
      }
      struct stat named;
      if (Sys().lstat(p.c_str(), &named) != 0 || !SameFile(mine, named)) {
        CloseFd(fd);  // someone deleted or replaced it since we opened it: look again
        continue;
      }
      std::string listed = share ? OtherSpelling(p) : std::string();
      if (!listed.empty()) {
        CloseFd(fd);
        p = listed;
        continue;
      }
      int err = UnlinkHeld(fd, p, share);
      if (err == 0) return Status::Ok();
      return err == EBUSY ? SharingViolation(err) : Fail(err);  // someone else has it open
    }
    return SharingViolation(EAGAIN);
  }

  // The held file is the one its handle was opened on: what it is was read then, once.
  bool NamesHeldFile(const std::string& path, FileHandle h) override {
    Held held;
    return m_handles.Get(h, &held) && !BadPath(path) && held.Named(path);
  }

  // Deleted while still held: our lock keeps every other opener off until the name is gone.
  Status CloseAndDelete(FileHandle h, const std::string& path) override {
    Held held;
    if (!m_handles.Get(h, &held)) return Fail(ErrorKind::kNotFound, EBADF);
    // A name that is not (or not spelled as) this very file goes the long way.
    if (BadPath(path) || !held.Named(path)) return Env::CloseAndDelete(h, path);
    m_handles.Remove(h, &held);
    const int err = UnlinkHeld(held.fd, path, OnShare(held.dev, path));
    if (err == 0) return Status::Ok();
    return err == EBUSY ? SharingViolation(err) : Fail(err);
  }

  Status Rename(const std::string& from, const std::string& to) override {
    if (BadPath(from) || BadPath(to)) return Fail(EINVAL);
    const std::string f = Resolve(from), t = Resolve(to);
    if (Sys().rename(f.c_str(), t.c_str()) != 0) return Fail(errno);
    if (ParentOf(f) == ParentOf(t)) FoldedRenamed(ParentOf(t), BaseName(f), BaseName(t));
    else FoldedCreated(ParentOf(t), BaseName(t));
    return Status::Ok();
  }

  Status CreateDirectory(const std::string& path) override {
    if (BadPath(path)) return Fail(EINVAL);
    const std::string p = Resolve(path);
    if (::mkdir(p.c_str(), 0777) != 0) return Fail(errno);
    FoldedCreated(ParentOf(::miradel::path::WithoutTrailingSeparators(p)), BaseName(p));
    return Status::Ok();
  }

  Status RemoveDirectory(const std::string& path) override {
    if (BadPath(path)) return Fail(EINVAL);
    if (::rmdir(Resolve(path).c_str()) != 0) return Fail(errno);
    return Status::Ok();
  }

  Status GetFileInfo(const std::string& path, FileInfo* info) override {
    if (info == nullptr) return Fail(EINVAL);
    *info = FileInfo();
    if (BadPath(path)) return Fail(EINVAL);
    auto fill = [info](const std::string& found, mode_t mode, off_t size, FileTime mtime, FileTime access,
                       FileTime creation) {
      info->is_directory = S_ISDIR(mode);
      info->read_only = !HasWriteBits(mode);
      const std::string name = BaseName(found);
      info->hidden = name.size() > 1 && name[0] == '.' && name != "..";
      info->size = info->is_directory ? 0 : static_cast<std::uint64_t>(size);
      info->mtime = mtime;
      info->access = access;
      info->creation = creation;
      return Status::Ok();
    };
    // Creation: the birth time where statx reports one (ext4, btrfs, xfs, SMB and others); else, on
    // older kernels or file systems without it, the last status change, the nearest POSIX keeps.
    std::string p = path;
#ifdef STATX_BTIME
    struct statx sx;
    auto when = [](const struct statx_timestamp& t) { return TimeOf(t.tv_sec, static_cast<long>(t.tv_nsec)); };
    // A name found as given takes one call: statx tells the birth time with the rest.
    for (int pass = 0; pass < 2; ++pass) {
      if (::statx(AT_FDCWD, p.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0)
        return fill(p, sx.stx_mode, static_cast<off_t>(sx.stx_size), when(sx.stx_mtime), when(sx.stx_atime),
                    when((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime));
      const int err = errno;
      if (err == ENOSYS) break;
      if (pass == 1 || (err != ENOENT && err != ENOTDIR)) return Fail(err);
      p = Resolve(path);
      if (p == path) return Fail(err);
    }
#endif
    struct stat st;
    if (int err = StatResolved(path, &p, &st)) return Fail(err);
    return fill(p, st.st_mode, st.st_size, TimeOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec),
                TimeOf(st.st_atim.tv_sec, st.st_atim.tv_nsec), TimeOf(st.st_ctim.tv_sec, st.st_ctim.tv_nsec));
  }

  Status SetReadOnly(const std::string& path, bool read_only) override {
    if (BadPath(path)) return Fail(EINVAL);
    std::string p;
    struct stat st;
    if (int err = StatResolved(path, &p, &st)) return Fail(err);
    mode_t mode = st.st_mode & 07777;
    mode = read_only ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (mode != (st.st_mode & 07777) && ::chmod(p.c_str(), mode) != 0) return Fail(errno);
    return Status::Ok();
  }

  bool CanEnterDirectory(const std::string& path) override {
    if (BadPath(path)) return false;
    std::string p = Resolve(path);
    struct stat st;
    if (Sys().stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    DIR* d = ::opendir(p.c_str());
    if (!d) return false;
    ::closedir(d);
    return true;
  }

  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    if (out == nullptr) return Fail(EINVAL);
    out->clear();
    if (BadPath(dir) || BadPath(pattern)) return Fail(EINVAL);
    std::string d = Resolve(dir.empty() ? std::string(".") : dir);
    DIR* h = ::opendir(d.c_str());
    if (!h) return Fail(errno);
    if (!d.empty() && d.back() != '/') d += '/';
    while (struct dirent* e = ::readdir(h)) {
      if (!WildcardMatch(pattern, e->d_name)) continue;
      DirEntry entry;
      entry.name = e->d_name;
      if (e->d_type == DT_DIR) {
        entry.is_directory = true;
      } else if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
        struct stat st;
        entry.is_directory = Sys().stat((d + entry.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entry.is_link = e->d_type == DT_LNK ||
                        (Sys().lstat((d + entry.name).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
      }
      out->push_back(std::move(entry));
    }
    ::closedir(h);
    if (out->empty()) return Fail(ENOENT);
    return Status::Ok();
  }

  Status GetCurrentDirectory(std::string* dir) override {
    if (dir == nullptr) return Fail(EINVAL);
    dir->clear();
    std::vector<char> buf(PATH_MAX);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
      if (errno != ERANGE || buf.size() > (std::size_t{1} << 20)) return Fail(errno);
      buf.resize(buf.size() * 2);
    }
    *dir = buf.data();
    return Status::Ok();
  }

  Status SetCurrentDirectory(const std::string& dir) override {
    if (BadPath(dir)) return Fail(EINVAL);
    if (::chdir(Resolve(dir).c_str()) != 0) return Fail(errno);
    return Status::Ok();
  }

  std::string TempPath() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string p = (tmp && *tmp) ? tmp : "/tmp";
    if (p.back() != '/') p += '/';
    return p;
  }

  // /tmp is shared by every user: working copies of models go into a folder of the user's own,
  // made 0700. One that someone else made, or that is a link, is never used; a fresh private one
  // takes its place.
  std::string UserTempPath() override {
    const std::string base = TempPath();
    const std::string path = base + "miradel-" + std::to_string(::geteuid());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return base;
    struct stat st;
    if (Sys().lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
      if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return base;
      return path + "/";
    }
    std::string pattern = path + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    if (::mkdtemp(buf.data()) == nullptr) return base;
    return std::string(buf.data()) + "/";
  }

  std::string ExecutablePath() override {
    std::vector<char> buf(PATH_MAX);
    for (;;) {
      ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
      if (n < 0) return std::string();
      if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
      if (buf.size() > (std::size_t{1} << 20)) return std::string();
      buf.resize(buf.size() * 2);
    }
  }

  Status UserName(std::string* name) override {
    if (name == nullptr) return Fail(EINVAL);
    name->clear();
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(hint > 0 ? static_cast<std::size_t>(hint) : 1024);
    struct passwd pw;
    struct passwd* found = nullptr;
    int rc;
    while ((rc = ::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found)) == ERANGE &&
           buf.size() < (std::size_t{1} << 20))
      buf.resize(buf.size() * 2);
    if (rc == 0 && found && found->pw_name && *found->pw_name) {
      *name = found->pw_name;
      return Status::Ok();
    }
    // Containers often run as a user the password database does not know.
    for (const char* var : {"USER", "LOGNAME"}) {
      const char* v = std::getenv(var);
      if (v && *v) {
        *name = v;
        return Status::Ok();
      }
    }
    return Fail(rc != 0 ? rc : ENOENT);
  }

  Status ComputerName(std::string* name) override {
    if (name == nullptr) return Fail(EINVAL);
    name->clear();
    char buf[256];
    if (::gethostname(buf, sizeof buf) != 0) return Fail(errno);
    buf[sizeof buf - 1] = 0;
    std::string host = buf;
    std::size_t dot = host.find('.');
    if (dot != std::string::npos) host.resize(dot);
    if (host.empty()) return Fail(ENOENT);
    *name = host;
    return Status::Ok();
  }

  std::string ErrorText(long code) override { return SystemText(code); }

  Status FreeSpace(const std::string& dir, std::uint64_t* bytes) override {
    struct statvfs vfs;
    if (::statvfs(dir.c_str(), &vfs) != 0) return Fail(errno);
    *bytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    return Status::Ok();
  }

 private:
  // An open file: its descriptor, and which file it is (which never changes while it is open).
  struct Held {
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    bool Named(const std::string& path) const {
      struct stat named;
      return Sys().lstat(path.c_str(), &named) == 0 && named.st_dev == dev && named.st_ino == ino;
    }
  };

  int FdOf(FileHandle h) const {
    Held held;
    return m_handles.Get(h, &held) ? held.fd : -1;
  }

  // Handle values are never reused, so a stale copy of a closed handle cannot reach (or close, and
  // so unlock) a file opened later under the same descriptor number.
  HandleTableOf<Held> m_handles;
};

}  // namespace

void PinLibrary() {
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&PinLibrary), &info) == 0 || !info.dli_fname) return;
  // Inside a program rather than a shared library this finds the program, which stays anyway.
  ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

void PauseServingWindows(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }

void Diagnostic(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

// File names are bytes here, and UTF-8 in every locale we run in.
bool FromUtf8(const std::string& utf8, std::string* name) {
  *name = utf8;
  return true;
}

bool LocalTime(std::int64_t unix_seconds, std::tm* out) {
  const time_t t = static_cast<time_t>(unix_seconds);
  if (static_cast<std::int64_t>(t) != unix_seconds) return false;
  return ::localtime_r(&t, out) != nullptr;
}

Env& System() {
  // Never destroyed: objects torn down at unload or exit may still close files through it.
  static Env* env = WithContext(new PosixEnv);
  return *env;
}

}  // namespace miradel::platform
