// Names without regard to case, as Windows and the shares have them, on file systems that may not.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace miradel::platform::posix {

// The entry of dir that equals name without regard to case, from a cache of the directories read
// lately (names.cpp says when an entry is trusted); empty when there is none. st: dir's status,
// already read.
std::string FoldedFind(const std::string& dir, const std::string& name);
std::string FoldedFind(const std::string& dir, const struct stat& st, const std::string& name);
// A name this process has just created in dir; a rename within dir it has just made.
void FoldedCreated(const std::string& dir, const std::string& name);
void FoldedRenamed(const std::string& dir, const std::string& from, const std::string& to);

// The directory of a path ("/" for one in the root), or empty for a bare name.
std::string ParentOf(const std::string& path);
// The entry of dir named `name` as the directory lists it now: that very spelling if listed, else
// the smallest entry that equals it without regard to case (so the answer does not depend on
// directory order); empty when there is none. Read afresh: a lock rests on it.
std::string ListedName(const std::string& dir, const std::string& name);
// The path under which the file system knows `path`. When the exact path does not exist, each
// component is looked up without regard to case; from the first component that cannot be found on,
// the rest is kept as given, so a path for a file about to be created resolves its directories and
// keeps its own name (unless a file of that name in another case exists: then that one is meant).
// What Resolve learnt on the way (when asked): the device it found the path, or its directory, on;
// and whether it found the directory without the name in any spelling.
struct Device {
  dev_t id = 0;
  bool known = false;
  bool absent = false;
};
std::string Resolve(const std::string& path, Device* device = nullptr);
std::string BaseName(std::string path);
// The directory part of a path: "." for a bare name, "/" for one in the root.
std::string DirName(std::string path);
std::string Join(const std::string& dir, const std::string& name);
// True for the file systems of network shares (see "Shares" in sharing.cpp), asked once per device.
bool OnShare(dev_t dev, const std::string& path);
// Forgets what OnShare learnt, for a test that makes the file system types answer otherwise.
void ForgetShares();
// On a share, `path` (resolved) with its directories spelled as their parents list them, up to the
// share's root; elsewhere `path` itself. *share tells which.
// device: the path's device, where Resolve told it (saves a look at the directory).
std::string ListedDirectories(const std::string& path, bool* share, const Device* device = nullptr);
// The status of path, looked up without regard to case only when the exact name is missing (one
// call for the common case); *resolved is the name it was found under. 0 or an errno.
int StatResolved(const std::string& path, std::string* resolved, struct stat* st);

}  // namespace miradel::platform::posix
