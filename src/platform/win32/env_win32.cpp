// The Win32 adapter: the platform port on the system's own ANSI ("A") functions, so that paths and
// names reach the system in the host's code page exactly as the host passed them.
#ifdef _WIN32

#include <windows.h>

#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/env.h"
#include "platform/handle_table.h"

namespace miradel::platform {

namespace {

// Very large single transfers to network shares can fail with ERROR_NO_SYSTEM_RESOURCES; pieces of
// this size avoid that and cost nothing measurable on local disks.
constexpr DWORD kMaxChunk = 16u * 1024u * 1024u;

// FILETIME counts 100 ns steps from 1601-01-01; this many of them lie before 1970-01-01.
constexpr std::int64_t kEpochDiff100ns = 116444736000000000LL;

ErrorKind KindOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ErrorKind::kNotFound;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return ErrorKind::kSharingViolation;
    case ERROR_ACCESS_DENIED:
      return ErrorKind::kAccessDenied;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return ErrorKind::kAlreadyExists;
    default:
      return ErrorKind::kOther;
  }
}

std::string MessageFor(DWORD code) {
  char* text = nullptr;
  DWORD len = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                             reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out;
  if (len != 0 && text != nullptr) out.assign(text, len);
  if (text != nullptr) LocalFree(text);
  const char* blanks = " \t\r\n";
  std::size_t first = out.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  std::size_t last = out.find_last_not_of(blanks);
  return out.substr(first, last - first + 1);
}

Status FromCode(DWORD code) {
  // A failure that left no code behind is still a failure, and must not read as success.
  if (code == ERROR_SUCCESS) code = ERROR_GEN_FAILURE;
  return Status::Error(KindOf(code), static_cast<long>(code), MessageFor(code));
}

// Must be called straight after the failing call, before anything can change the thread's last error.
Status LastError() { return FromCode(GetLastError()); }

// The system reads a path up to its first null: a name with one inside would reach another file.
bool BadPath(const std::string& path) { return path.find('\0') != std::string::npos; }

// True when path names an existing file (not a directory) with any of the given attributes.
bool HasFileAttribute(const std::string& path, DWORD wanted) {
  DWORD attrs = GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY) && (attrs & wanted) != 0;
}

bool IsReadOnlyFile(const std::string& path) { return HasFileAttribute(path, FILE_ATTRIBUTE_READONLY); }

// Deletes a temporary file of ours, read-only or not; one that is gone already is fine.
void RemoveTemp(const std::string& path) {
  if (IsReadOnlyFile(path)) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

// True when opening path finds nothing there: a name a share's client still lists after deleting
// the file it named counts as gone.
bool TargetIsGone(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_FILE_NOT_FOUND;
}

// Copies a replacement's temporary file to a target that is gone, as a new file, flushed, and then
// deletes the temporary file; on any failure the temporary file stays and a partial target goes.
Status CopyIntoVanished(const std::string& temp, const std::string& target, bool read_only) {
  if (read_only) SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
  Status s = CopyFileA(temp.c_str(), target.c_str(), TRUE) ? Status::Ok() : LastError();
  if (s.ok()) {
    HANDLE h = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool flushed = h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
    if (!flushed) s = LastError();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!s.ok()) DeleteFileA(target.c_str());
  }
  if (s.ok() && read_only) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  if (s.ok()) RemoveTemp(temp);
  else if (read_only) SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_READONLY);
  return s;
}

std::string JoinPattern(const std::string& dir, const std::string& pattern) {
  if (dir.empty()) return pattern;
  char last = dir.back();
  if (last == '\\' || last == '/' || last == ':') return dir + pattern;
  return dir + '\\' + pattern;
}

// What a freshly opened handle is: a file on disk, a symbolic link or junction opened as itself, a
// reparse point of another kind (deduplicated or cloud files, which must be opened through), or no
// file on disk at all (a pipe, a console, a device such as CON).
enum class HandleKind { kFile, kLink, kOtherReparse, kNotDisk };

HandleKind KindOfHandle(HANDLE h) {
  if (GetFileType(h) != FILE_TYPE_DISK) return HandleKind::kNotDisk;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) {
    // Systems that cannot tell the tag still tell whether there is one.
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return HandleKind::kFile;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? HandleKind::kLink : HandleKind::kFile;
  }
  if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return HandleKind::kFile;
  return IsReparseTagNameSurrogate(tag.ReparseTag) ? HandleKind::kLink : HandleKind::kOtherReparse;
}

FileTime UnixTime(const FILETIME& ft) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  const std::int64_t seconds = static_cast<std::int64_t>(ticks / 10000000) - kEpochDiff100ns / 10000000;
  return FileTime{seconds, static_cast<std::int32_t>(ticks % 10000000) * 100, true};
}

class Win32Env final : public Env {
 public:
  Status OpenFile(const std::string& path, unsigned access, unsigned share, Disposition disp,
                  FileHandle* handle, bool* existed) override {
    if (existed) *existed = false;
    if (handle == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    *handle = kNoFile;
    if (BadPath(path)) return FromCode(ERROR_INVALID_NAME);
    DWORD creation;
    switch (disp) {
      case Disposition::kOpenExisting: creation = OPEN_EXISTING; break;
      case Disposition::kOpenAlways: creation = OPEN_ALWAYS; break;
      case Disposition::kCreateAlways: creation = CREATE_ALWAYS; break;
      default: return FromCode(ERROR_INVALID_PARAMETER);
    }
    DWORD desired = 0;
    if (access & kRead) desired |= GENERIC_READ;
    if (access & kWrite) desired |= GENERIC_WRITE;
    DWORD sharing = 0;
    if (share & kShareRead) sharing |= FILE_SHARE_READ;
    if (share & kShareWrite) sharing |= FILE_SHARE_WRITE;
    if (share & kShareDelete) sharing |= FILE_SHARE_DELETE;
    // Windows refuses every writer of a read-only file, administrators included; a process that
    // may write anything (Wine as root) would open it anyway, and with kCreateAlways empty it.
    if ((access & kWrite) && IsReadOnlyFile(path)) return FromCode(ERROR_ACCESS_DENIED);
    // No security attributes: the handle is not inherited, so no child process keeps a model open.
    // A final link is opened as itself, to be refused rather than followed: lock text written through
    // it would land in whatever it names.
    HANDLE h = CreateFileA(path.c_str(), desired, sharing, nullptr, creation,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LastError();
    DWORD after = GetLastError();
    HandleKind kind = KindOfHandle(h);
    if (kind == HandleKind::kOtherReparse) {
      CloseHandle(h);
      h = CreateFileA(path.c_str(), desired, sharing, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h == INVALID_HANDLE_VALUE) return LastError();
      kind = KindOfHandle(h) == HandleKind::kNotDisk ? HandleKind::kNotDisk : HandleKind::kFile;
    }
    if (kind != HandleKind::kFile) {
      // A pipe or device would hang or swallow the lock text; only files on disk are files here.
      CloseHandle(h);
      return FromCode(kind == HandleKind::kLink ? ERROR_CANT_RESOLVE_FILENAME : ERROR_CANT_ACCESS_FILE);
    }
    *handle = m_handles.Add(reinterpret_cast<std::intptr_t>(h));
    if (!(share & kShareDelete)) {
      std::lock_guard<std::mutex> g(m_heldMu);
      m_held[*handle] = path;
    }
    if (existed) *existed = disp == Disposition::kOpenExisting || after == ERROR_ALREADY_EXISTS;
    return Status::Ok();
  }

  // Held without delete sharing, a file can be neither deleted nor renamed by anyone: its name stays
  // ours while the handle still reaches it (a share that went takes the handle with it).
  bool NamesHeldFile(const std::string& path, FileHandle h) override {
    {
      std::lock_guard<std::mutex> g(m_heldMu);
      auto it = m_held.find(h);
      if (it == m_held.end() || lstrcmpiA(it->second.c_str(), path.c_str()) != 0) return false;
    }
    HANDLE file;
    BY_HANDLE_FILE_INFORMATION info;
    return Native(h, &file) && GetFileInformationByHandle(file, &info);
  }

  Status Read(FileHandle h, void* buf, std::size_t n, std::size_t* got) override {
    std::size_t dummy = 0;
    if (got == nullptr) got = &dummy;
    *got = 0;
    HANDLE file;
    if (!Native(h, &file)) return FromCode(ERROR_INVALID_HANDLE);
    if (n == 0) return Status::Ok();
    if (buf == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    DWORD want = n > kMaxChunk ? kMaxChunk : static_cast<DWORD>(n);
    DWORD done = 0;
    if (!ReadFile(file, buf, want, &done, nullptr)) return LastError();
    *got = done;
    return Status::Ok();
  }

  Status Write(FileHandle h, const void* buf, std::size_t n) override {
    HANDLE file;
    if (!Native(h, &file)) return FromCode(ERROR_INVALID_HANDLE);
    if (n == 0) return Status::Ok();
    if (buf == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    const char* p = static_cast<const char*>(buf);
    while (n > 0) {
      DWORD want = n > kMaxChunk ? kMaxChunk : static_cast<DWORD>(n);
      DWORD done = 0;
      if (!WriteFile(file, p, want, &done, nullptr)) return LastError();
      // A write that takes nothing would loop for ever; the medium is full or gone.
      if (done == 0) return FromCode(ERROR_WRITE_FAULT);
      p += done;
      n -= done;
    }
    return Status::Ok();
  }

  Status Seek(FileHandle h, std::uint64_t offset) override {
    HANDLE file;
    if (!Native(h, &file)) return FromCode(ERROR_INVALID_HANDLE);
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max()))
      return FromCode(ERROR_NEGATIVE_SEEK);
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) return LastError();
    return Status::Ok();
  }

  Status Truncate(FileHandle h) override {
    HANDLE file;
    if (!Native(h, &file)) return FromCode(ERROR_INVALID_HANDLE);
    if (!SetEndOfFile(file)) return LastError();
    return Status::Ok();
  }

  Status Close(FileHandle h) override {
    {
      std::lock_guard<std::mutex> g(m_heldMu);
      m_held.erase(h);
    }
    std::intptr_t native;
    if (!m_handles.Remove(h, &native))
      return Status::Error(ErrorKind::kNotFound, ERROR_INVALID_HANDLE, MessageFor(ERROR_INVALID_HANDLE));
    if (!CloseHandle(reinterpret_cast<HANDLE>(native))) return LastError();
    return Status::Ok();
  }

  Status Flush(FileHandle h) override {
    HANDLE file;
    if (!Native(h, &file)) return FromCode(ERROR_INVALID_HANDLE);
    if (!FlushFileBuffers(file)) return LastError();
    return Status::Ok();
  }

  Status CopyFile(const std::string& from, const std::string& to, bool overwrite) override {
    if (BadPath(from) || BadPath(to)) return FromCode(ERROR_INVALID_NAME);
    // Windows refuses to overwrite a read-only or hidden destination with ERROR_ACCESS_DENIED, but
    // a server or emulator whose process may write anything (Wine as root) copies over it anyway.
    if (overwrite && HasFileAttribute(to, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
      return FromCode(ERROR_ACCESS_DENIED);
    if (!CopyFileA(from.c_str(), to.c_str(), overwrite ? FALSE : TRUE)) return LastError();
    return Status::Ok();
  }

  // MoveFileEx rather than ReplaceFile: it takes a missing target too, leaves the new file the
  // source's attributes (ReplaceFile merges in the old file's, read-only among them), and it either
  // moves or fails, where ReplaceFile has failures that leave the target renamed away.
  Status ReplaceWithCopy(const std::string& from, const std::string& to) override {
    if (BadPath(from) || BadPath(to)) return FromCode(ERROR_INVALID_NAME);
    const std::size_t cut = to.find_last_of("\\/:");
    const std::string dir = cut == std::string::npos ? std::string() : to.substr(0, cut + 1);
    std::string name = to.substr(dir.size());
    if (name.empty() || name.find_first_of("*?<>\"") != std::string::npos) return FromCode(ERROR_INVALID_NAME);
    // The target keeps the spelling the directory lists, as a copy over it would.
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(to.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      FindClose(find);
      name = found.cFileName;
    }
    const std::string target = dir + name, temp = dir + ReplacementTempName(name);
    if (IsReadOnlyFile(target)) return FromCode(ERROR_ACCESS_DENIED);
    // An exclusive writer is refused before the data moves (later ones meet the move or the copy).
    HANDLE probe = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) return LastError();
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);

    // A killed replacement's leftover may carry the source's read-only attribute, which the copy
    // over it would be refused for.
    if (HasFileAttribute(temp, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
      SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool read_only = IsReadOnlyFile(from);
    if (!CopyFileA(from.c_str(), temp.c_str(), FALSE)) {
      Status s = LastError();
      if (!s.IsSharingViolation()) RemoveTemp(temp);  // else another replacement holds it: theirs
      return s;
    }
    // Flushed through a handle that shares no writing, kept until the move: a second replacement
    // cannot write the file meanwhile. Writing needs the read-only attribute off for a moment; it
    // is set from the source's afterwards (Wine's copy over an existing file keeps the old one's).
    Status s = SetReadOnly(temp, false);
    HANDLE guard = CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (s.ok()) s = guard != INVALID_HANDLE_VALUE && FlushFileBuffers(guard) ? Status::Ok() : LastError();
    if (s.ok() && read_only) s = SetReadOnly(temp, true);
    bool moved = false, held = false, tried = false;
    if (s.ok()) {
      tried = true;
      moved = MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
      if (!moved) s = LastError();
      held = !moved && (s.code() == ERROR_ACCESS_DENIED || s.IsSharingViolation());
    }
    if (guard != INVALID_HANDLE_VALUE) CloseHandle(guard);
    // A share's client may delete the target before it refuses the move: the temporary file is then
    // the only whole copy. Put it in place now that nothing holds it; where this client refuses every
    // move (one that renames a file it holds open), copy it under the target's name and drop it only
    // once that copy is whole. Failing both, it stays.
    bool keep = false;
    if (tried && !moved && TargetIsGone(target) && GetFileAttributesA(temp.c_str()) != INVALID_FILE_ATTRIBUTES) {
      keep = true;
      held = false;
      // Such a client may go on listing the name it deleted for a moment: a new file cannot be
      // made under it until then.
      for (int wait = 0; keep && wait < 30; ++wait) {
        if (wait > 0) Sleep(100);
        moved = MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        s = moved ? Status::Ok() : CopyIntoVanished(temp, target, read_only);
        keep = !s.ok();
        if (keep && s.code() != ERROR_FILE_EXISTS && s.code() != ERROR_ALREADY_EXISTS &&
            s.code() != ERROR_FILE_NOT_FOUND)
          break;
      }
    }
    if (held) {
      // Someone holds the target without delete sharing, and Windows replaces no open file: a copy
      // in place then. Whatever it meets, it cannot delete the target while that holder stays.
      s = CopyFileA(from.c_str(), target.c_str(), FALSE) ? Status::Ok() : LastError();
      if (s.ok() && read_only) s = SetReadOnly(target, true);
    }
    if (!moved && !keep) RemoveTemp(temp);
    return s;
  }

  // A delete can be reported done and not be: Wine deletes when the handle it opened closes, and
  // drops a failure then, which a share's client that lets go of our last handle late answers.
  // Still there, the name is deleted again a few times (a delete already pending is refused: done).
  Status DeleteFile(const std::string& path) override {
    if (BadPath(path)) return FromCode(ERROR_INVALID_NAME);
    if (!DeleteFileA(path.c_str())) return LastError();
    for (int again = 0; GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++again) {
      if (again == 10) return FromCode(ERROR_SHARING_VIOLATION);
      Sleep(50);
      if (!DeleteFileA(path.c_str())) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_ACCESS_DENIED ? Status::Ok() : FromCode(code);
      }
    }
    return Status::Ok();
  }

  Status Rename(const std::string& from, const std::string& to) override {
    if (BadPath(from) || BadPath(to)) return FromCode(ERROR_INVALID_NAME);
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return Status::Ok();
    Status s = LastError();
    // The share's client that refuses to move a file held open (see ReplaceWithCopy): with the
    // target gone (never there, or deleted by that client first), the file is copied under its
    // name, and it goes only once the copy is whole.
    if (!TargetIsGone(to) || GetFileAttributesA(from.c_str()) == INVALID_FILE_ATTRIBUTES) return s;
    const bool read_only = IsReadOnlyFile(from);
    for (int wait = 0; wait < 30; ++wait) {
      if (wait > 0) Sleep(100);
      if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return Status::Ok();
      s = CopyIntoVanished(from, to, read_only);
      // Its delete of the source is checked: Wine may report one done that the client refused.
      if (s.ok()) DeleteFile(from).IgnoreError();
      if (s.ok() || (s.code() != ERROR_FILE_EXISTS && s.code() != ERROR_ALREADY_EXISTS && s.code() != ERROR_FILE_NOT_FOUND))
        return s;
    }
    return s;
  }

  Status CreateDirectory(const std::string& path) override {
    if (BadPath(path)) return FromCode(ERROR_INVALID_NAME);
    if (!CreateDirectoryA(path.c_str(), nullptr)) return LastError();
    return Status::Ok();
  }

  Status RemoveDirectory(const std::string& path) override {
    if (BadPath(path)) return FromCode(ERROR_INVALID_NAME);
    if (!RemoveDirectoryA(path.c_str())) return LastError();
    return Status::Ok();
  }

  Status GetFileInfo(const std::string& path, FileInfo* info) override {
    if (info == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    if (BadPath(path)) {
      *info = FileInfo();
      return FromCode(ERROR_INVALID_NAME);
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
      Status s = LastError();
      *info = FileInfo();
      return s;
    }
    FileInfo fi;
    fi.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    fi.read_only = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    fi.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    fi.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // A file system that keeps no such time reports zero: none, not the year 1601.
    auto kept = [](const FILETIME& ft) { return ft.dwLowDateTime || ft.dwHighDateTime ? UnixTime(ft) : FileTime{}; };
    fi.mtime = kept(data.ftLastWriteTime);
    fi.creation = kept(data.ftCreationTime);
    fi.access = kept(data.ftLastAccessTime);
    *info = fi;
    return Status::Ok();
  }

  Status SetReadOnly(const std::string& path, bool read_only) override {
    if (BadPath(path)) return FromCode(ERROR_INVALID_NAME);
    DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return LastError();
    DWORD wanted = read_only ? (attrs | FILE_ATTRIBUTE_READONLY) : (attrs & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (wanted == attrs) return Status::Ok();
    // A file with no attribute left must say so with NORMAL; 0 would be refused.
    if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileAttributesA(path.c_str(), wanted)) return LastError();
    return Status::Ok();
  }

  bool CanEnterDirectory(const std::string& path) override {
    if (BadPath(path)) return false;
    DWORD attrs = GetFileAttributesA(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return false;
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(JoinPattern(path, "*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
  }

  Status FindFiles(const std::string& dir, const std::string& pattern, std::vector<DirEntry>* out) override {
    if (out == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    out->clear();
    if (BadPath(dir) || BadPath(pattern)) return FromCode(ERROR_INVALID_NAME);
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(JoinPattern(dir, pattern).c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return LastError();
    Status result;
    for (;;) {
      DirEntry e;
      e.name = fd.cFileName;
      e.is_directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      e.is_link = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      out->push_back(std::move(e));
      if (!FindNextFileA(find, &fd)) {
        DWORD code = GetLastError();
        if (code != ERROR_NO_MORE_FILES) result = FromCode(code);
        break;
      }
    }
    FindClose(find);
    return result;
  }

  Status GetCurrentDirectory(std::string* dir) override {
    if (dir == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    std::vector<char> buf(MAX_PATH + 1);
    // The directory may change between asking for the size and reading it: try again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD len = GetCurrentDirectoryA(static_cast<DWORD>(buf.size()), buf.data());
      if (len == 0) return LastError();
      if (len < buf.size()) {
        dir->assign(buf.data(), len);
        return Status::Ok();
      }
      buf.resize(len + 1);
    }
    return FromCode(ERROR_INSUFFICIENT_BUFFER);
  }

  Status SetCurrentDirectory(const std::string& dir) override {
    if (BadPath(dir)) return FromCode(ERROR_INVALID_NAME);
    if (!SetCurrentDirectoryA(dir.c_str())) return LastError();
    return Status::Ok();
  }

  // The temporary path of a Windows user lies in the user's own profile already.
  std::string UserTempPath() override { return TempPath(); }

  std::string TempPath() override {
    std::vector<char> buf(MAX_PATH + 1);
    DWORD len = GetTempPathA(static_cast<DWORD>(buf.size()), buf.data());
    if (len >= buf.size()) {
      buf.resize(len + 1);
      len = GetTempPathA(static_cast<DWORD>(buf.size()), buf.data());
    }
    // The system falls back to the Windows directory itself, so failing here means no path at all.
    if (len == 0 || len >= buf.size()) return std::string();
    std::string path(buf.data(), len);
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    return path;
  }

  std::string ExecutablePath() override {
    // NULL names the program's module, not this DLL: the path of the host.
    for (DWORD size = MAX_PATH + 1; size <= 32768 * 2; size *= 2) {
      std::vector<char> buf(size);
      DWORD len = GetModuleFileNameA(nullptr, buf.data(), size);
      if (len == 0) return std::string();
      // A full buffer means the name was cut short (older systems do not say so otherwise).
      if (len < size) return std::string(buf.data(), len);
    }
    return std::string();
  }

  Status UserName(std::string* name) override {
    if (name == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    std::vector<char> buf(257);  // UNLEN + 1
    for (int attempt = 0; attempt < 3; ++attempt) {
      DWORD size = static_cast<DWORD>(buf.size());
      if (GetUserNameA(buf.data(), &size)) {
        // size counts the terminating null.
        name->assign(buf.data(), size > 0 ? size - 1 : 0);
        return Status::Ok();
      }
      DWORD code = GetLastError();
      if (code != ERROR_INSUFFICIENT_BUFFER || size <= buf.size()) return FromCode(code);
      buf.resize(size);
    }
    return FromCode(ERROR_INSUFFICIENT_BUFFER);
  }

  Status ComputerName(std::string* name) override {
    if (name == nullptr) return FromCode(ERROR_INVALID_PARAMETER);
    std::vector<char> buf(MAX_COMPUTERNAME_LENGTH + 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
      DWORD size = static_cast<DWORD>(buf.size());
      if (GetComputerNameA(buf.data(), &size)) {
        // Here size counts the characters without the terminating null.
        name->assign(buf.data(), size < buf.size() ? size : buf.size() - 1);
        return Status::Ok();
      }
      DWORD code = GetLastError();
      if (code != ERROR_BUFFER_OVERFLOW || size <= buf.size()) return FromCode(code);
      buf.resize(size + 1);
    }
    return FromCode(ERROR_BUFFER_OVERFLOW);
  }

  std::string ErrorText(long code) override { return MessageFor(static_cast<DWORD>(code)); }

  Status FreeSpace(const std::string& dir, std::uint64_t* bytes) override {
    if (BadPath(dir)) return FromCode(ERROR_INVALID_NAME);
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(dir.c_str(), &available, nullptr, nullptr)) return LastError();
    *bytes = available.QuadPart;
    return Status::Ok();
  }

 private:
  bool Native(FileHandle h, HANDLE* file) const {
    std::intptr_t native;
    if (!m_handles.Get(h, &native)) return false;
    *file = reinterpret_cast<HANDLE>(native);
    return true;
  }

  // The system hands a closed HANDLE's value out again at once; our values are never reused, so a
  // stale copy of a closed handle (lock slots are copied whole) cannot close a file opened later.
  HandleTable m_handles;
  // The paths of the handles opened without delete sharing (see NamesHeldFile).
  std::mutex m_heldMu;
  std::unordered_map<FileHandle, std::string> m_held;
};

}  // namespace

void PinLibrary() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCSTR>(&PinLibrary), &module);
}

void PauseServingWindows(std::chrono::milliseconds pause) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(pause.count());
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_SENDMESSAGE, 0);
    // Looking at the queue delivers the messages other threads sent; nothing is taken from it.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void Diagnostic(const std::string& line) { OutputDebugStringA((line + "\n").c_str()); }

bool FromUtf8(const std::string& utf8, std::string* name) {
  name->clear();
  if (utf8.empty()) return true;
  if (utf8.size() > 0x7fffffff) return false;
  const int n = static_cast<int>(utf8.size());
  const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
  if (wide <= 0) return false;
  std::wstring w(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, &w[0], wide);
  // No best fit: a stand-in letter would name another file.
  BOOL lossy = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wide, nullptr, 0, nullptr, &lossy);
  if (bytes <= 0 || lossy) return false;
  name->resize(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), wide, &(*name)[0], bytes, nullptr, &lossy);
  return !lossy;
}

bool LocalTime(std::int64_t unix_seconds, std::tm* out) {
  const __time64_t t = unix_seconds;
  return _localtime64_s(out, &t) == 0;
}

Env& System() {
  // Never destroyed: objects torn down at unload or exit may still close files through it.
  static Env* env = WithContext(new Win32Env);
  return *env;
}

}  // namespace miradel::platform

#endif  // _WIN32
