// The platform port: the few operating-system services the library needs, behind one interface.
//
// Everything above src/platform/ reaches files, directories, names and error texts through an Env,
// never through a system header. Two adapters implement it (posix/, win32/); tests wrap either
// (EnvWrapper) to make operations fail on purpose.
//
// Paths use the platform's separator (kSep, base/path.h). Paths that arrive with the other
// separator are converted (path::ToNative) before they reach an Env.
//
// Threads: every operation may be called from the host's thread and the copy thread at once, on
// different handles; one handle is used by one thread at a time. Two exceptions: the current
// directory is the process's (only the host's thread changes it), and SetCurrent is for set-up,
// while no other thread of the library runs.
//
// Sharing, as the locks rely on it (Windows semantics; the POSIX adapter emulates them):
//  - A handle opened with write access and kShareRead only ("exclusive writer") keeps every other
//    writer out and stops the file being deleted, from other processes and from other handles of this
//    process alike, until it is closed. Those attempts fail with ErrorKind::SharingViolation.
//  - A reader that shares reading and writing always gets in.
//  - On POSIX: a writer that shares writing and a reader that denies writing may coexist, which
//    Windows would refuse; the library never opens files that way while another holds them.
//  - On POSIX names are matched without regard to letter case: when the exact path does not exist,
//    each component is looked up case-insensitively, as the host's file systems do.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/path.h"

// windows.h maps these names to its A/W functions; the port's own members must keep their names in
// every translation unit, whatever was included before.
#ifdef _WIN32
#undef CopyFile
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#endif

namespace miradel::platform {

using ::miradel::kOtherSep;
using ::miradel::kSep;

enum class ErrorKind { kNone, kNotFound, kSharingViolation, kAccessDenied, kAlreadyExists, kOther };

// The outcome of one operation: success, or the kind of failure with the system's own error code and
// message text (from the system's message table, surrounding blanks removed), what was being done
// and on which path. A Status must be looked at: one that is dropped on purpose says so with
// IgnoreError().
class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(ErrorKind kind, long code, std::string message) {
    Status s;
    s.m_kind = kind;
    s.m_code = code;
    s.m_message = std::move(message);
    return s;
  }
  // Names the operation ("open", "copy", ...) and the path it was done on.
  Status With(std::string operation, std::string path) const {
    Status s = *this;
    s.m_operation = std::move(operation);
    s.m_path = std::move(path);
    return s;
  }
  bool ok() const { return m_kind == ErrorKind::kNone; }
  ErrorKind kind() const { return m_kind; }
  bool IsNotFound() const { return m_kind == ErrorKind::kNotFound; }
  bool IsSharingViolation() const { return m_kind == ErrorKind::kSharingViolation; }
  bool IsAccessDenied() const { return m_kind == ErrorKind::kAccessDenied; }
  long code() const { return m_code; }
  const std::string& message() const { return m_message; }
  const std::string& operation() const { return m_operation; }
  const std::string& path() const { return m_path; }
  // "open /x/pump.lck: Permission denied", or "OK".
  std::string ToString() const {
    if (ok()) return "OK";
    std::string s = m_operation;
    if (!m_path.empty()) s += (s.empty() ? "" : " ") + m_path;
    return s.empty() ? m_message : s + ": " + m_message;
  }
  // The caller has decided that the outcome does not matter here.
  void IgnoreError() const {}

 private:
  ErrorKind m_kind = ErrorKind::kNone;
  long m_code = 0;
  std::string m_message;
  std::string m_operation;
  std::string m_path;
};

// An open file. A plain value so that records holding it can be copied whole; 0 means "no file".
using FileHandle = std::uintptr_t;
inline constexpr FileHandle kNoFile = 0;

enum Access : unsigned { kRead = 1, kWrite = 2, kReadWrite = 3 };
enum Share : unsigned { kShareNone = 0, kShareRead = 1, kShareWrite = 2, kShareDelete = 4 };
enum class Disposition { kOpenExisting, kOpenAlways, kCreateAlways };

// A time a file system keeps: seconds since 1970-01-01 UTC and the nanoseconds past them. Seconds
// reach as far as any file system does (NTFS to the year 30828), where 64-bit nanoseconds end in
// 2262; unknown when the file system keeps none, which 1970-01-01 00:00:00 is not.
struct FileTime {
  std::int64_t seconds = 0;
  std::int32_t nanos = 0;  // 0 to 999,999,999, also before 1970
  bool known = false;

  bool operator==(const FileTime& o) const { return known == o.known && seconds == o.seconds && nanos == o.nanos; }
  bool operator!=(const FileTime& o) const { return !(*this == o); }
  // Only known times are later than anything.
  bool operator>(const FileTime& o) const {
    if (!known || !o.known) return known && !o.known;
    return seconds != o.seconds ? seconds > o.seconds : nanos > o.nanos;
  }
};

struct FileInfo {
  bool is_directory = false;
  bool read_only = false;
  bool hidden = false;
  std::uint64_t size = 0;
  FileTime mtime;  // last write
  // On POSIX creation is the birth time where the kernel and file system report one, else the last
  // status change.
  FileTime creation;
  FileTime access;
};

struct DirEntry {
  std::string name;
  bool is_directory = false;
  // A symbolic link, junction or other redirection: walks that delete must not follow it.
  bool is_link = false;
};

class Env {
 public:
  virtual ~Env() = default;

  // Opens or creates a file. On success *handle holds it; with kOpenAlways, *existed (if given)
  // tells whether the file was there before. On failure *handle is kNoFile.
  virtual Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                          FileHandle* handle, bool* existed) = 0;
  // Reads up to n bytes; *got receives the count (0 at end of file).
  virtual Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) = 0;
  // Writes all n bytes or fails.
  virtual Status Write(FileHandle h, const void* buf, std::size_t n) = 0;
  virtual Status Seek(FileHandle h, std::uint64_t offset) = 0;
  // Cuts the file at the current position.
  virtual Status Truncate(FileHandle h) = 0;
  // Closes the handle; a write the system had delayed may fail here (network shares report such
  // errors only at the close). The handle is gone either way. A handle that is not (or no longer)
  // open is kNotFound.
  virtual Status Close(FileHandle h) = 0;
  // Makes the written data durable on the file's device (or server) and reports what failed.
  virtual Status Flush(FileHandle h) = 0;

  // Copies a file with the platform's own copy, keeping its last-write time and read-only
  // attribute. Fails when the destination exists and overwrite is false, or is read-only.
  virtual Status CopyFile(const std::string& from, const std::string& to, bool overwrite) = 0;
  // Copies `from` to `to` so that `to` is afterwards either whole and old or whole and new, also
  // when the process is killed half-way or the share fails: the data goes into a temporary file in
  // to's directory (ReplacementTempName), is flushed to the disk or server, and then replaces `to`
  // in one step. Keeps the source's last-write time and read-only attribute as CopyFile does.
  // Refused with a sharing violation while an exclusive writer holds `to`, and with access denied
  // when `to` is read-only. Where the platform cannot replace the target (a reader holds it without
  // delete sharing), `to` is written in place instead, which may tear it but never deletes it. On
  // any failure the temporary file goes and `to` stays as it was; only a share that fails during the
  // replacing step itself can leave the call failed with `to` new, or (where the client replaces by
  // deleting first) with the temporary file as the only whole copy. A temporary file that a killed
  // process left is taken over by the next ReplaceWithCopy of the same target.
  virtual Status ReplaceWithCopy(const std::string& from, const std::string& to) = 0;
  // ReplaceWithCopy for each pair (from, to), the targets replaced in the order given; where the port
  // can, with the flushes grouped: every copy is written and on the disk before the first target is
  // replaced. Ends at the first failure, which it returns, or without one where
  // go_on, asked before each pair after the first, says no. *done tells how many were replaced, the
  // first ones; the targets after them are left as they were. A wrapper that changes
  // ReplaceWithCopy meets every pair of a run through it.
  virtual Status ReplaceWithCopies(const std::vector<std::pair<std::string, std::string>>& pairs,
                                   const std::function<bool()>& go_on, std::size_t* done) {
    for (*done = 0; *done < pairs.size() && (*done == 0 || go_on()); ++*done)
      if (Status s = ReplaceWithCopy(pairs[*done].first, pairs[*done].second); !s.ok()) return s;
    return Status::Ok();
  }
  // Deletes a file; a file that an exclusive writer holds is refused with a sharing violation.
  virtual Status DeleteFile(const std::string& path) = 0;
  // Deletes the file at path, which h holds, and closes h: where the system lets the holder delete
  // an open file, before the close, so that nobody can take the file in between. kNotFound, and
  // nothing deleted, when h is not open; otherwise a failed close does not stop the delete.
  virtual Status CloseAndDelete(FileHandle h, const std::string& path) {
    const Status closed = Close(h);
    return closed.IsNotFound() ? closed : DeleteFile(path);
  }
  // True only when path names, as it stands now, the very file h holds (not a file that replaced it,
  // nor another spelling of it); false as well where that cannot be told without opening the path.
  virtual bool NamesHeldFile(const std::string& path, FileHandle h) {
    (void)path;
    (void)h;
    return false;
  }
  // Gives a file a new name, replacing a file `to` names, in one step: `to` is afterwards the old
  // file or the new one, never missing. Both names on one volume (the same directory, typically).
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  virtual Status CreateDirectory(const std::string& path) = 0;
  virtual Status RemoveDirectory(const std::string& path) = 0;
  virtual Status GetFileInfo(const std::string& path, FileInfo* info) = 0;
  virtual Status SetReadOnly(const std::string& path, bool read_only) = 0;
  // True when the path is a directory whose entries can be listed.
  virtual bool CanEnterDirectory(const std::string& path) = 0;
  // Lists the entries of directory dir whose names match pattern ("*", "?", letters without regard
  // to case, "*.*" matches every name). "." and ".." are reported like other entries where they
  // match. Nothing matching is a failure (kNotFound), as a wildcard search that cannot start.
  virtual Status FindFiles(const std::string& dir, const std::string& pattern,
                           std::vector<DirEntry>* out) = 0;

  virtual Status GetCurrentDirectory(std::string* dir) = 0;
  virtual Status SetCurrentDirectory(const std::string& dir) = 0;
  // The system temporary directory, ending in kSep.
  virtual std::string TempPath() = 0;
  // A directory under TempPath() that only this user can enter, ending in kSep; where the system
  // already gives each user a temporary directory of their own (Windows), TempPath() itself.
  virtual std::string UserTempPath() = 0;
  // Full path of the running program (for a library: of the program that loaded it).
  virtual std::string ExecutablePath() = 0;
  virtual Status UserName(std::string* name) = 0;
  virtual Status ComputerName(std::string* name) = 0;
  // The system's message text for a native error code, surrounding blanks removed.
  virtual std::string ErrorText(long code) = 0;
  // The bytes this user may still write on the volume that holds directory dir.
  virtual Status FreeSpace(const std::string& dir, std::uint64_t* bytes) = 0;
};

// The Env the library uses: the system's adapter unless a test installed another.
Env& Current();
// The system's own adapter.
Env& System();
// For the adapters: wraps one so that every failure names its operation and path (handles are
// named by the path they were opened with). Takes ownership.
Env* WithContext(Env* adapter);
// Installs env as Current() (nullptr restores the system's); returns the previous one. Only for
// set-up, while no other thread of the library runs.
Env* SetCurrent(Env* env);

// Installs an Env as Current() for the lifetime of the object.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : m_previous(SetCurrent(env)) {}
  ~ScopedEnv() { SetCurrent(m_previous); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* m_previous;
};

// Keeps the library loaded until the process ends. A thread of ours that outlives an unload would
// otherwise run on in code that is gone.
void PinLibrary();

// The library's own module (the DLL's HMODULE on Windows), recorded when it is loaded; null where
// the library is linked into a program.
void SetLibraryModule(void* module);
void* LibraryModule();

// Waits for the time given. On Windows the thread meanwhile handles what other threads send to its
// windows: a copy thread that disables or enables the host's window waits for the window's own
// thread, which must not then wait plainly for the copy thread.
void PauseServingWindows(std::chrono::milliseconds pause);

// One line for whoever watches the process: standard error on POSIX, the debugger's output on
// Windows (a host's users see no console there).
void Diagnostic(const std::string& line);

// The local calendar time (the C runtime's time zone) of a time in seconds since 1970-01-01 UTC;
// false when the system cannot convert it.
bool LocalTime(std::int64_t unix_seconds, std::tm* out);

// A name in UTF-8 (as archives flag theirs) in the platform's form: the host's code page on Windows,
// as it stands elsewhere. False when the code page has no character for some part of it.
bool FromUtf8(const std::string& utf8, std::string* name);

// True when a file or directory of that name exists (its status can be read).
bool PathExists(const std::string& path);
// Wildcard match as FindFiles applies it.
bool WildcardMatch(const std::string& pattern, const std::string& name);
// The name of ReplaceWithCopy's temporary file for a target's file name (no directory): the same
// each time, so that a leftover is found again; it starts with "~" and differs from file_name
// within its first two characters, so it never counts as one of a model's files (which start with
// the model's name), whatever the model's name but a lone "~".
std::string ReplacementTempName(const std::string& file_name);

// Forwards every call to another Env; tests derive from it to change single operations.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : m_target(target) {}
  Env* target() const { return m_target; }
  Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                  FileHandle* handle, bool* existed) override {
    return m_target->OpenFile(path, access, share, disp, handle, existed);
  }
  Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) override {
    return m_target->Read(h, buf, n, got);
  }
  Status Write(FileHandle h, const void* buf, std::size_t n) override { return m_target->Write(h, buf, n); }
  Status Seek(FileHandle h, std::uint64_t offset) override { return m_target->Seek(h, offset); }
  Status Truncate(FileHandle h) override { return m_target->Truncate(h); }
  Status Close(FileHandle h) override { return m_target->Close(h); }
  Status Flush(FileHandle h) override { return m_target->Flush(h); }
  Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    return m_target->CopyFile(from, to, overwrite);
  }
  Status ReplaceWithCopy(const std::string& from, const std::string& to) override {
    return m_target->ReplaceWithCopy(from, to);
  }
  Status DeleteFile(const std::string& path) override { return m_target->DeleteFile(path); }
  bool NamesHeldFile(const std::string& path, FileHandle h) override { return m_target->NamesHeldFile(path, h); }
  Status Rename(const std::string& from, const std::string& to) override { return m_target->Rename(from, to); }
  Status CreateDirectory(const std::string& path) override { return m_target->CreateDirectory(path); }
  Status RemoveDirectory(const std::string& path) override { return m_target->RemoveDirectory(path); }
  Status GetFileInfo(const std::string& path, FileInfo* info) override { return m_target->GetFileInfo(path, info); }
  Status SetReadOnly(const std::string& path, bool ro) override { return m_target->SetReadOnly(path, ro); }
  bool CanEnterDirectory(const std::string& path) override { return m_target->CanEnterDirectory(path); }
  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    return m_target->FindFiles(dir, pattern, out);
  }
  Status GetCurrentDirectory(std::string* dir) override { return m_target->GetCurrentDirectory(dir); }
  Status SetCurrentDirectory(const std::string& dir) override { return m_target->SetCurrentDirectory(dir); }
  std::string TempPath() override { return m_target->TempPath(); }
  std::string UserTempPath() override { return m_target->UserTempPath(); }
  std::string ExecutablePath() override { return m_target->ExecutablePath(); }
  Status UserName(std::string* name) override { return m_target->UserName(name); }
  Status ComputerName(std::string* name) override { return m_target->ComputerName(name); }
  std::string ErrorText(long code) override { return m_target->ErrorText(code); }
  Status FreeSpace(const std::string& dir, std::uint64_t* bytes) override { return m_target->FreeSpace(dir, bytes); }

 private:
  Env* m_target;
};

}  // namespace miradel::platform
