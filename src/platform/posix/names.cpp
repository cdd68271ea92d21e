#include "platform/posix/names.h"

#include <dirent.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "platform/posix/system.h"

namespace miradel::platform::posix {

namespace {

// The entries of recently searched directories, by folded name, so that creating a model's files one
// after another does not read the whole destination directory again for each of them.
//
// An entry is trusted while the directory's inode and change time are what they were when it was
// read. A file this process creates is added to the entry at once, with the directory's new time
// (a replacement of an existing file changes no name: it leaves the entry to be read again);
// a name another process creates in the same microseconds goes unseen until the next change. On a
// case-sensitive disk that could let a second spelling of one name be made; the host's own file
// systems (and the shares) fold names themselves, so there nothing depends on this cache.
class FoldedNames {
 public:
  // The entry of dir that equals name without regard to case (the smallest one when several do, so
  // the answer does not depend on directory order); empty when there is none.
  std::string Find(const std::string& dir, const std::string& name) {
    const std::string d = dir.empty() ? "." : dir;
    struct stat st;
    if (Sys().stat(d.c_str(), &st) != 0) return std::string();
    return Find(d, st, name);
  }
  // The same with the directory's status already read.
  std::string Find(const std::string& dir, const struct stat& st, const std::string& name) {
    const std::string& d = dir;
    std::lock_guard<std::mutex> g(m_mu);
    // Few directories are worked in at a time; forget the others.
    if (m_entries.size() >= 16 && m_entries.find(d) == m_entries.end()) m_entries.clear();
    Entry& e = m_entries[d];
    if (!e.valid || !Same(e, st)) Read(st, d, &e);
    auto it = e.names.find(Fold(name));
    return it == e.names.end() ? std::string() : it->second;
  }

  // A name this process has just created in dir.
  void Created(const std::string& dir, const std::string& name) { Changed(dir, std::string(), name); }
  // A rename within dir this process has just made: a write-back of many new files then reads the
  // directory once, not once a file. (Were two spellings of `from` listed, the other is forgotten
  // with it: it would be missed until the next change, as a stranger's new name is.)
  void Renamed(const std::string& dir, const std::string& from, const std::string& to) { Changed(dir, from, to); }

 private:
  struct Entry {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    struct timespec mtime = {};
    std::unordered_map<std::string, std::string> names;
  };
  static std::string Fold(const std::string& s) { return text::LowerCase(s); }
  void Changed(const std::string& dir, const std::string& gone, const std::string& name) {
    const std::string d = dir.empty() ? "." : dir;
    std::lock_guard<std::mutex> g(m_mu);
    auto it = m_entries.find(d);
    if (it == m_entries.end() || !it->second.valid) return;
    struct stat st;
    if (Sys().stat(d.c_str(), &st) != 0) {
      it->second.valid = false;
      return;
    }
    Entry& e = it->second;
    if (!gone.empty()) {
      auto was = e.names.find(Fold(gone));
      if (was != e.names.end() && was->second == gone) e.names.erase(was);
    }
    std::string& known = e.names[Fold(name)];
    if (known.empty() || name < known) known = name;
    e.ino = st.st_ino;
    e.dev = st.st_dev;
    e.mtime = st.st_mtim;
  }
  static bool Same(const Entry& e, const struct stat& st) {
    return e.dev == st.st_dev && e.ino == st.st_ino && e.mtime.tv_sec == st.st_mtim.tv_sec &&
           e.mtime.tv_nsec == st.st_mtim.tv_nsec;
  }
  void Read(const struct stat& before, const std::string& dir, Entry* e) {
    e->names.clear();
    e->valid = false;
    DIR* h = ::opendir(dir.c_str());
    if (!h) return;
    while (struct dirent* d = ::readdir(h)) {
      std::string& known = e->names[Fold(d->d_name)];
      if (known.empty() || std::strcmp(d->d_name, known.c_str()) < 0) known = d->d_name;
    }
    ::closedir(h);
    // The time read before the listing: a change made while it was read shows as a newer time.
    e->dev = before.st_dev;
    e->ino = before.st_ino;
    e->mtime = before.st_mtim;
    e->valid = true;
  }

  std::mutex m_mu;
  std::unordered_map<std::string, Entry> m_entries;
};

FoldedNames& Folded() {
  static FoldedNames* names = new FoldedNames;  // never destroyed: used until the process ends
  return *names;
}

}  // namespace

std::string FoldedFind(const std::string& dir, const std::string& name) { return Folded().Find(dir, name); }
std::string FoldedFind(const std::string& dir, const struct stat& st, const std::string& name) {
  return Folded().Find(dir, st, name);
}
void FoldedCreated(const std::string& dir, const std::string& name) { Folded().Created(dir, name); }
void FoldedRenamed(const std::string& dir, const std::string& from, const std::string& to) {
  Folded().Renamed(dir, from, to);
}

std::string ParentOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ListedName(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return std::string();
  std::string best;
  while (struct dirent* e = ::readdir(d)) {
    if (name == e->d_name) {
      best = name;
      break;
    }
    if (text::EqualsNoCase(e->d_name, name) && (best.empty() || std::strcmp(e->d_name, best.c_str()) < 0))
      best = e->d_name;
  }
  ::closedir(d);
  return best;
}

std::string Resolve(const std::string& path, Device* device) {
  struct stat st;
  Device unused;
  Device& seen = device ? *device : unused;
  seen = Device();
  if (path.empty()) return path;
  if (Sys().lstat(path.c_str(), &st) == 0) {
    seen = {st.st_dev, true};
    return path;
  }
  if (errno != ENOENT && errno != ENOTDIR) return path;

  // A new file in a directory that exists as named: only its own name needs looking up.
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash + 1 < path.size()) {
    const std::string parent = ParentOf(path);
    if (Sys().stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      seen = {st.st_dev, true, true};
      // A share folds names itself: what the exact name does not find, no other spelling is.
      if (OnShare(st.st_dev, parent)) return path;
      std::string found = FoldedFind(parent, st, path.substr(slash + 1));
      seen.absent = found.empty();
      return found.empty() ? path : path.substr(0, slash + 1) + found;
    }
  }

  std::string out = path[0] == '/' ? "/" : "";
  bool lost = false;
  std::size_t pos = 0;
  while (pos < path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string comp = path.substr(pos, end - pos);
    pos = end + 1;
    if (comp.empty()) continue;
    const std::string exact = (out.empty() || out.back() == '/') ? out + comp : out + "/" + comp;
    if (!lost && Sys().lstat(exact.c_str(), &st) != 0) {
      std::string found = errno == ENOENT ? ListedName(out, comp) : std::string();
      if (found.empty())
        lost = true;
      else
        comp = found;
    }
    if (!out.empty() && out.back() != '/') out += '/';
    out += comp;
  }
  if (path.back() == '/' && (out.empty() || out.back() != '/')) out += '/';
  return out;
}

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::size_t end = path.rfind('/');
  if (end == std::string::npos) return ".";
  while (end > 0 && path[end - 1] == '/') --end;
  return end == 0 ? "/" : path.substr(0, end);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir == ".") return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

namespace {
std::mutex shares_mu;
std::map<dev_t, bool>* shares = new std::map<dev_t, bool>;  // never destroyed, as System()
}  // namespace

void ForgetShares() {
  std::lock_guard<std::mutex> guard(shares_mu);
  shares->clear();
}

bool OnShare(dev_t dev, const std::string& path) {
#ifdef __linux__
  std::map<dev_t, bool>* known = shares;
  std::lock_guard<std::mutex> guard(shares_mu);
  auto it = known->find(dev);
  if (it != known->end()) return it->second;
  struct statfs fs;
  if (Sys().statfs(path.c_str(), &fs) != 0) return false;  // asked again next time
  bool share = false;
  switch (static_cast<std::uint32_t>(fs.f_type)) {
    case 0x65735546:  // FUSE, as user-space SMB clients are
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x517B:      // SMB
      share = true;
      break;
    default:
      break;
  }
  (*known)[dev] = share;
  return share;
#else
  (void)dev;
  (void)path;
  return false;
#endif
}

std::string ListedDirectories(const std::string& path, bool* share, const Device* device) {
  *share = false;
  std::string dir = DirName(path);
  struct stat st;
  if (device && device->known)
    st.st_dev = device->id;
  else if (Sys().stat(dir.c_str(), &st) != 0)
    return path;
  if (!OnShare(st.st_dev, dir)) return path;
  *share = true;
  const dev_t dev = st.st_dev;
  std::vector<std::string> listed;  // from the bottom up
  while (dir != "/" && dir != ".") {
    std::string parent = DirName(dir), name = BaseName(dir);
    if (name == "." || name == "..") break;  // the rest stays as given
    if (Sys().stat(parent.c_str(), &st) != 0 || st.st_dev != dev) break;  // the share's root
    std::string found = ListedName(parent, name);
    listed.push_back(found.empty() ? name : found);
    dir = parent;
  }
  for (auto it = listed.rbegin(); it != listed.rend(); ++it) dir = Join(dir, *it);
  return Join(dir, BaseName(path));
}

int StatResolved(const std::string& path, std::string* resolved, struct stat* st) {
  *resolved = path;
  if (Sys().stat(path.c_str(), st) == 0) return 0;
  if (errno != ENOENT && errno != ENOTDIR) return errno;
  *resolved = Resolve(path);
  return Sys().stat(resolved->c_str(), st) == 0 ? 0 : errno;
}

}  // namespace miradel::platform::posix
