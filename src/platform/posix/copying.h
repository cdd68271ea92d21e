// Copies that keep a file's time and read-only attribute, made durable; copying.cpp does the work.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "platform/env.h"
#include "platform/posix/sharing.h"

namespace miradel::platform::posix {

// fsync, retried after EINTR; 0 or an errno.
int SyncFd(int fd);
// Gives a file src's last-write time, and makes it read-only when src is (with mode's other bits):
// through fd, or through the name when fd is -1 (on shares). The time goes first: a share's client
// clears the read-only attribute when it sets times; and given no access time, it writes "now" for
// both, so there the source's goes along. Returns 0 or an errno.
int Stamp(int fd, const std::string& path, const struct stat& sst, mode_t mode);
// Fills dst (empty, at its start) with the rest of src and stamps it as src. Returns 0 or an errno.
int FillCopy(int src, const struct stat& sst, int dst, mode_t dst_mode);
// FillCopy, made durable (unless the caller flushes it later: !sync). A share's server stamps a
// written file anew when it is closed: there the file is flushed and closed at once (*fd becomes
// -1; a delayed write error is reported) and stamped by name.
int WriteCopy(int src, const struct stat& sst, int* fd, const std::string& path, mode_t mode, bool share,
              bool sync = true);
// Opens a file to copy from, under the name as given first: looking it up without regard to case
// costs a call or more for each file.
Status OpenSource(const std::string& from, Opened* src);
// Takes an existing target of ReplaceWithCopy as an exclusive writer would, and refuses what
// CopyFile refuses. Ok with out->fd < 0 when there is none. A final link is refused, not followed:
// the rename would replace the link, not the file it names. path's directories are spelled as
// listed (ListedDirectories), which told whether they are on a share. lock_only: nothing is written
// through out->fd, and the caller checks before the rename that path still names it.
Status LockTarget(const std::string& path, const struct stat& source, bool share, Opened* out,
                  bool lock_only = false);
// The temporary file of a replacement, held as an exclusive writer holds a file (a second writer of
// the same target is refused here) and emptied. A read-only one that a killed replacement left is
// made writable first. path as for LockTarget.
// record: whether a new one joins the names cached for its directory. target: the status of the
// file it is to replace, if there is one.
Status OpenTemp(const std::string& path, bool share, Opened* out, bool record, const struct stat* target);
// Renames `from` over `to`, whose files *from_fd and *to_fd (-1: none) hold locked, and closes
// both. A share will not rename over an open file: there it closes them first (a delayed write
// error of *from_fd's file is reported) and tries a few times, as UnlinkHeld does; EBUSY that
// persists means someone else has `to` open. Descriptors closed are set to -1.
int RenameHeld(const std::string& from, const std::string& to, int* from_fd, int* to_fd, bool share);

// A target's folder: as given, as found (on a share: spelled as listed), and where.
struct Folder {
  std::string given, listed;
  bool share = false;
  dev_t dev = 0;
};
// The folder of the last replacement off a share (of any thread), when it was given so.
bool RecalledLocalFolder(const std::string& given, Folder* out);
void RecallLocalFolder(const Folder& folder);

// One ReplaceWithCopy (see Env), in two steps, so that a run of them can flush their copies
// together: Prepare takes the target, the temporary file and the source, and writes the copy;
// Finish puts it in place. What is not finished is abandoned when the object goes: the temporary
// file is deleted and the target left as it was.
class Replacement {
 public:
  Replacement() = default;
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement();
  // flush: false leaves the copy for the caller to flush through Unflushed() before Finish (a
  // share's copy is flushed at once all the same, as its close must follow).
  // before: the replacement before this one in a run, if any.
  Status Prepare(const std::string& from, const std::string& to, bool flush, const Replacement* before = nullptr);
  // The descriptor of a copy that still needs its flush, else -1.
  int Unflushed() const { return m_unflushed ? m_tmp.fd : -1; }
  // The caller has flushed it.
  void Flushed() { m_unflushed = false; }
  dev_t FileSystem() const { return m_tmp.st.st_dev; }
  Status Finish();

 private:
  Opened m_src, m_dst, m_tmp;
  std::string m_target, m_temp;
  Folder m_folder;
  bool m_share = false;
  bool m_recorded = false;   // the temporary file is in the cache of folded names
  bool m_temp_ours = false;  // made or taken by us, and not yet renamed or given up
  bool m_unflushed = false;
  mode_t m_mode = 0;
};

}  // namespace miradel::platform::posix
