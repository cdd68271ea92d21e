#include "disk/disk_object.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

#include "base/path.h"
#include "base/text.h"

namespace miradel {

using platform::DirEntry;
using platform::Env;
using platform::kSep;
using platform::Status;

namespace {

// std::string compares through char_traits<char>, which orders as unsigned char: byte order. A
// function object, which the sorts inline, where a function pointer costs a call a comparison.
constexpr std::less<std::string> ByteLess;

// Sorts list[first...] in byte order. Most comparisons are decided by the first 16 bytes of each
// name, packed big-endian into two integers (names hold no null, so a shorter one packs smaller),
// without a look at the strings: a folder of 100,000 files sorts in half the time.
void SortInByteOrder(std::vector<std::string>& list, std::size_t first) {
  struct Key {
    std::uint64_t high, low;
    std::size_t index;
  };
  auto pack = [](const std::string& s, std::size_t from) {
    std::uint64_t v = 0;
    for (std::size_t i = from; i < from + 8; ++i)
      v = v << 8 | (i < s.size() ? static_cast<unsigned char>(s[i]) : 0u);
    return v;
  };
  std::vector<Key> keys;
  keys.reserve(list.size() - first);
  for (std::size_t i = first; i < list.size(); ++i) keys.push_back({pack(list[i], 0), pack(list[i], 8), i});
  std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    const std::string &x = list[a.index], &y = list[b.index];
    return x.compare(std::min<std::size_t>(16, x.size()), std::string::npos, y, std::min<std::size_t>(16, y.size()),
                     std::string::npos) < 0;
  });
  std::vector<std::string> sorted;
  sorted.reserve(keys.size());
  for (const Key& k : keys) sorted.push_back(std::move(list[k.index]));
  std::move(sorted.begin(), sorted.end(), list.begin() + static_cast<std::ptrdiff_t>(first));
}

bool IsShare(const std::string& path) { return path.size() >= 2 && path[0] == kSep && path[1] == kSep; }

// The drive ("X:") that leads a path; only Windows paths have one.
std::string DrivePart(const std::string& path) {
#ifdef _WIN32
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
#else
  (void)path;
#endif
  return std::string();
}

// Characters no name may hold. NUL is among them because the system would silently cut the path
// there and act on another file than the one the caller named.
bool HasForbiddenChar(const std::string& s) {
  for (char c : s)
    if (c == ':' || c == '*' || c == '?' || c == '\0') return true;
  return false;
}

// Length of the part of an absolute directory that ".." can never climb out of: the drive, or
// "<sep><sep>server<sep>share", or nothing (POSIX root).
std::size_t RootLength(const std::string& dir) {
  std::string drive = DrivePart(dir);
  if (!drive.empty()) return drive.size();
  if (IsShare(dir)) {
    std::size_t server_end = dir.find(kSep, 2);
    if (server_end == std::string::npos) return dir.size();
    std::size_t share_end = dir.find(kSep, server_end + 1);
    return share_end == std::string::npos ? dir.size() : share_end;
  }
  return 0;
}

// Cuts `prefix` off entries [from, end) and drops their trailing separator.
void MakeRelative(std::vector<std::string>& list, std::size_t from, const std::string& prefix) {
  for (std::size_t i = from; i < list.size(); ++i) {
    std::string& e = list[i];
    if (e.compare(0, prefix.size(), prefix) == 0) e.erase(0, prefix.size());
    if (!e.empty() && e.back() == kSep) e.pop_back();
  }
}

}  // namespace

void InsertInListingOrder(std::vector<std::string>& list, std::vector<std::string> names) {
  if (names.empty()) return;
  if (!std::is_sorted(names.begin(), names.end(), ByteLess))  // a folder's own listing comes sorted
    std::stable_sort(names.begin(), names.end(), ByteLess);
  if (list.empty()) {
    list = std::move(names);
    return;
  }
  // One at a time, x goes in front of the first entry greater than it. A name inserted earlier in
  // front of an original entry that is not greater than x is itself smaller than x, and names that
  // share a gap of the original list form a sorted run there. So every name ends up in front of the
  // first original entry greater than it, behind equal names that came earlier: a stable sort and
  // one merge pass give the same list.
  std::vector<std::size_t> before(list.size(), 0);
  std::size_t j = 0;
  for (std::size_t i = 0; i < list.size() && j < names.size(); ++i) {
    std::size_t start = j;
    while (j < names.size() && ByteLess(names[j], list[i])) ++j;
    before[i] = j - start;
  }
  std::vector<std::string> merged;
  merged.reserve(list.size() + names.size());
  j = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    for (std::size_t k = 0; k < before[i]; ++k) merged.push_back(std::move(names[j++]));
    merged.push_back(std::move(list[i]));
  }
  while (j < names.size()) merged.push_back(std::move(names[j++]));
  list.swap(merged);
}

CDiskObject::CDiskObject(Env* env) : m_env(env) {}

int CDiskObject::InternalError() {
  m_strError = kInternalError;
  return 0;
}

int CDiskObject::SystemError(const Status& status, const std::string& path) {
  m_strError = status.message();
  if (!path.empty()) {
    if (!m_strError.empty()) m_strError += ' ';
    m_strError += path;
  }
  return 0;
}

int CDiskObject::QualifyFilePath(std::string& path) {
  path = path::ToNative(std::move(path));
  const std::string drive = DrivePart(path);
  const bool forbidden = HasForbiddenChar(path.substr(drive.size()));

#ifdef _WIN32
  const bool complete = !drive.empty() || IsShare(path);
#else
  // Without drives, a path from the root is complete as it stands.
  const bool complete = !path.empty() && path[0] == kSep;
#endif
  if (!complete) {
    // Read, never set: a process-wide current directory would race with the other thread.
    std::string cwd;
    Status s = env().GetCurrentDirectory(&cwd);
    if (!s.ok()) return SystemError(s, std::string());
    cwd = path::ToNative(std::move(cwd));
    const std::size_t root = RootLength(cwd);
    while (cwd.size() > root && cwd.back() == kSep) cwd.pop_back();

    const std::string up = std::string("..") + kSep;
    if (path.compare(0, up.size(), up) == 0) {
      std::size_t pos = 0;
      while (path.compare(pos, up.size(), up) == 0) {
        pos += up.size();
        std::size_t cut = cwd.rfind(kSep);
        cwd.resize(cut == std::string::npos || cut < root ? root : cut);
      }
      path = cwd + kSep + path.substr(pos);
    } else if (!path.empty() && path[0] == kSep) {
      path = DrivePart(cwd) + path;
    } else {
      path = cwd + kSep + path;
    }
  }
  if (forbidden) return InternalError();
  return 1;
}

int CDiskObject::QualifyDirectoryPath(std::string& path) {
  path = path::ToNative(std::move(path));
  if (!path.empty() && path.back() != kSep) path += kSep;
  if (IsShare(path)) return 1;
  return QualifyFilePath(path);
}

int CDiskObject::GetFileNamePart(std::string& result, const std::string& path) {
  std::string p = path;
  result.clear();
  if (!QualifyFilePath(p)) return 0;
  std::size_t pos = p.rfind(kSep);
  if (pos != std::string::npos) result = p.substr(pos + 1);
  return 1;
}

int CDiskObject::GetDirectoryPart(std::string& result, const std::string& path) {
  std::string p = path;
  result.clear();
  if (!QualifyFilePath(p)) return 0;
  std::size_t pos = p.rfind(kSep);
  if (pos != std::string::npos) result = p.substr(0, pos);
  return 1;
}

int CDiskObject::Begin(std::string& path, Qualify as) {
  m_strError.clear();
  // Qualified, an empty path would name the current directory.
  if (path.empty() && as != Qualify::kDirectoryOrCurrent) return InternalError();
  return as == Qualify::kFile ? QualifyFilePath(path) : QualifyDirectoryPath(path);
}

int CDiskObject::DeleteOneFile(const std::string& path) {
  std::string p = path;
  if (!Begin(p, Qualify::kFile)) return 0;
  Status s = env().DeleteFile(p);
  if (!s.ok()) return SystemError(s, p);
  return 1;
}

int CDiskObject::FileIsPresent(const std::string& path) {
  std::string p = path;
  if (!Begin(p, Qualify::kFile)) return 0;
  platform::FileHandle h = platform::kNoFile;
  Status s = env().OpenFile(p, platform::kRead, platform::kShareRead | platform::kShareWrite,
                            platform::Disposition::kOpenExisting, &h, nullptr);
  if (!s.ok()) return 0;
  if (h != platform::kNoFile) env().Close(h).IgnoreError();
  // POSIX opens a directory for reading without complaint; Windows would have refused above.
  platform::FileInfo info;
  if (env().GetFileInfo(p, &info).ok() && info.is_directory) return 0;
  return 1;
}

int CDiskObject::DirectoryIsPresent(const std::string& directory) {
  std::string d = directory;
  if (!Begin(d, Qualify::kDirectory)) return 0;
  return env().CanEnterDirectory(d) ? 1 : 0;
}

int CDiskObject::MakeDirectoryPath(const std::string& directory) {
  std::string full = directory;
  if (!Begin(full, Qualify::kDirectory)) return 0;

  std::string level = DrivePart(full);
  std::string rest = full.substr(level.size());
  if (level.empty() && IsShare(rest)) {
    std::size_t end = rest.find(kSep, 2);
    if (end == std::string::npos) end = rest.size();
    level = rest.substr(0, end);
    rest.erase(0, end);
  }

  // Levels that exist, or that we may not create but can pass through (a share root), are normal
  // here; only the final check decides.
  Status reason;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && rest[i] == kSep) ++i;
    if (i == rest.size()) break;
    std::size_t end = rest.find(kSep, i);
    if (end == std::string::npos) end = rest.size();
    level += kSep;
    level.append(rest, i, end - i);
    i = end;
    Status s = env().CreateDirectory(level);
    // "Not found" below a level that failed only echoes that failure; keep the deeper cause.
    if (!s.ok() && (reason.ok() || !s.IsNotFound())) reason = s;
  }

  if (env().CanEnterDirectory(full)) return 1;
  if (reason.ok()) {
    platform::FileInfo info;
    reason = env().GetFileInfo(full, &info);
  }
  return SystemError(reason, full);
}

Status CDiskObject::CollectFiles(const std::string& pattern, const std::string& qualified_dir, int mode,
                                 std::vector<std::string>* out) {
  std::vector<DirEntry> entries;
  Status s = env().FindFiles(qualified_dir, pattern, &entries);
  if (!s.ok()) return s;
  const std::size_t first = out->size();
  for (DirEntry& e : entries) {
    if (e.is_directory || e.name == "." || e.name == ".." || e.name.empty()) continue;
    out->push_back(std::move(e.name));
  }
  // Sorted by name before the folder goes in front: the same order, from short comparisons.
  SortInByteOrder(*out, first);
  if (mode == 1)
    for (std::size_t i = first; i < out->size(); ++i) (*out)[i].insert(0, qualified_dir);
  return s;
}

int CDiskObject::ListFilesMatching(const std::string& pattern, const std::string& directory,
                                   std::vector<std::string>& list, int mode) {
  std::string dir = directory;
  if (!Begin(dir, Qualify::kDirectoryOrCurrent)) return 0;
  if (!env().CanEnterDirectory(dir)) return 1;
  std::vector<std::string> names;
  Status s = CollectFiles(pattern, dir, mode, &names);
  if (!s.ok()) return SystemError(s, dir + pattern);
  InsertInListingOrder(list, std::move(names));
  return 1;
}

int CDiskObject::ListFiles(const std::string& directory, std::vector<std::string>& list, int mode) {
  return ListFilesMatching("*.*", directory, list, mode);
}

// Depth-first walk over a qualified directory, in the platform's entry order. Directories go to
// subdirs (if given) as "<dir><name><sep>" when first met; each directory's files, sorted, go to
// files (if given) when it is visited, so files come out in the same pre-order as the directories.
// An explicit stack: deep trees must not exhaust the thread's stack.
int CDiskObject::Walk(const std::string& root, std::vector<std::string>* subdirs, std::vector<std::string>* files) {
  struct Frame {
    std::string dir;
    std::vector<std::string> children;
    std::vector<bool> linked;
    std::size_t next = 0;
  };
  std::vector<Frame> stack;
  std::vector<std::string> dir_files;
  auto visit = [&](const std::string& dir) -> bool {
    std::vector<DirEntry> entries;
    Status s = env().FindFiles(dir, "*.*", &entries);
    if (!s.ok()) {
      SystemError(s, dir + "*.*");
      return false;
    }
    Frame f;
    f.dir = dir;
    dir_files.clear();
    for (DirEntry& e : entries) {
      if (e.name.empty() || e.name == "." || e.name == "..") continue;
      if (e.is_directory) {
        f.children.push_back(std::move(e.name));
        f.linked.push_back(e.is_link);
      } else if (files) {
        dir_files.push_back(dir + e.name);
      }
    }
    if (files) {
      std::stable_sort(dir_files.begin(), dir_files.end(), ByteLess);
      for (std::string& name : dir_files) files->push_back(std::move(name));
    }
    stack.push_back(std::move(f));
    return true;
  };

  if (!visit(root)) return 0;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.children.size()) {
      stack.pop_back();
      continue;
    }
    const bool linked = top.linked[top.next];
    std::string sub = top.dir + top.children[top.next++] + kSep;
    if (subdirs) subdirs->push_back(sub);
    // A linked directory is listed but never entered: it may lead outside the tree (a delete would
    // follow it there) or back into it (the walk would never end).
    if (!linked && !visit(sub)) return 0;
  }
  return 1;
}

int CDiskObject::ListDeep(const std::string& directory, std::vector<std::string>& list, int full_path,
                          bool subdirectories) {
  std::string dir = directory;
  if (!Begin(dir, Qualify::kDirectoryOrCurrent)) return 0;
  const std::size_t first_new = list.size();
  if (!Walk(dir, subdirectories ? &list : nullptr, subdirectories ? nullptr : &list)) {
    list.resize(first_new);
    return 0;
  }
  if (!full_path) MakeRelative(list, first_new, dir);
  return 1;
}

int CDiskObject::ListSubdirectoriesDeep(const std::string& directory, std::vector<std::string>& list,
                                        int full_path) {
  return ListDeep(directory, list, full_path, true);
}

int CDiskObject::ListFilesDeep(const std::string& directory, std::vector<std::string>& list, int full_path) {
  return ListDeep(directory, list, full_path, false);
}

Status CDiskObject::Put(const std::string& source, const std::string& target, bool replace) {
  return replace ? env().ReplaceWithCopy(source, target) : env().CopyFile(source, target, true);
}

int CDiskObject::CopyInto(const std::string& source, const std::string& destination, const std::string* new_name,
                          bool replace) {
  if (new_name && new_name->empty()) return InternalError();
  std::string src = source;
  if (!Begin(src, Qualify::kFile)) return 0;
  std::string dst = destination;
  if (!QualifyDirectoryPath(dst)) return 0;
  if (!FileIsPresent(src)) return 0;
  if (!MakeDirectoryPath(dst)) return 0;
  const std::string target = dst + (new_name ? *new_name : path::BaseName(src));
  Status s = Put(src, target, replace);
  if (!s.ok()) return SystemError(s, src);
  return 1;
}

int CDiskObject::CopyFileInto(const std::string& source, const std::string& destination) {
  return CopyInto(source, destination, nullptr, false);
}

int CDiskObject::WriteFileInto(const std::string& source, const std::string& destination) {
  return CopyInto(source, destination, nullptr, true);
}

int CDiskObject::WriteFileIntoAs(const std::string& source, const std::string& destination,
                                 const std::string& new_name) {
  return CopyInto(source, destination, &new_name, true);
}

int CDiskObject::CopyFileIntoAs(const std::string& source, const std::string& destination,
                                const std::string& new_name) {
  return CopyInto(source, destination, &new_name, false);
}

int CDiskObject::CopyFileListInto(const std::vector<std::string>& sources, const std::string& destination) {
  return CopyList(sources, destination, false);
}

int CDiskObject::WriteFileListInto(const std::vector<std::string>& sources, const std::string& destination) {
  return CopyList(sources, destination, true);
}

int CDiskObject::CopyList(const std::vector<std::string>& sources, const std::string& destination, bool replace) {
  m_strError.clear();
  if (sources.empty()) return InternalError();
  std::string dst = destination;
  if (!QualifyDirectoryPath(dst)) return 0;
  if (!MakeDirectoryPath(dst)) return 0;
  for (const std::string& source : sources) {
    if (source.empty()) continue;
    std::string src = source;
    if (!QualifyFilePath(src)) return 0;
    const std::string target = dst + path::BaseName(src);
    Status s = Put(src, target, replace);
    if (!s.ok()) return SystemError(s, src + " -> " + target);
  }
  return 1;
}

int CDiskObject::RenameFileByCopy(const std::string& path, const std::string& new_name) {
  m_strError.clear();
  if (path.empty() || new_name.empty()) return 0;
  std::string src = path;
  if (!QualifyFilePath(src)) return 0;
  std::size_t pos = src.rfind(kSep);
  const std::string dir = pos == std::string::npos ? std::string() : src.substr(0, pos + 1);
  // Names match without regard to case on the host's file systems: copying a file onto itself and
  // then deleting "the source" would destroy it.
  if (text::EqualsNoCase(src.substr(dir.size()), new_name)) return InternalError();
  if (!CopyFileIntoAs(src, dir, new_name)) return 0;
  return DeleteOneFile(src);
}

int CDiskObject::DeleteFilesInDirectory(const std::string& directory) {
  // An empty path would qualify to the current directory and empty it: Begin refuses it.
  std::string dir = directory;
  if (!Begin(dir, Qualify::kDirectory)) return 0;
  std::vector<std::string> names;
  if (!ListFiles(dir, names, 0)) return 0;
  for (const std::string& name : names) {
    const std::string p = dir + name;
    Status s = env().DeleteFile(p);
    if (!s.ok()) return SystemError(s, p);
  }
  return 1;
}

int CDiskObject::DeleteDirectory(const std::string& directory) {
  std::string dir = directory;
  if (!Begin(dir, Qualify::kDirectory)) return 0;
  if (!DeleteFilesInDirectory(dir)) return 0;
  Status s = env().RemoveDirectory(dir);
  if (!s.ok()) return SystemError(s, dir);
  return 1;
}

}  // namespace miradel
