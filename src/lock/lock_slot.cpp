#include "lock/lock_slot.h"

#include <cstring>

#include "base/clock.h"
#include "base/text.h"
#include "lock/lock_path.h"
#include "lock/xml_processor.h"
#include "platform/byte_reader.h"

namespace miradel {

namespace {
using platform::Disposition;
using platform::FileHandle;
using platform::kNoFile;

constexpr std::size_t kInspectBytes = 510;

// Closing a file we only read, or one we let go, cannot lose anything worth reporting.
void CloseIfOpen(FileHandle& h) {
  if (h != kNoFile) platform::Current().Close(h).IgnoreError();
  h = kNoFile;
}

// At most kInspectBytes of the open file h, from where it stands.
bool ReadText(platform::Env& env, FileHandle h, std::string* text) {
  char buf[kInspectBytes + 2] = {};
  std::size_t total = 0;
  bool ok = true;
  while (total < kInspectBytes) {
    std::size_t got = 0;
    if (!env.Read(h, buf + total, kInspectBytes - total, &got).ok()) {
      ok = false;
      break;
    }
    if (got == 0) break;
    total += got;
  }
  if (!ok) return false;
  // The text ends at the first zero byte, as a C string read into a zeroed buffer would.
  text->assign(buf, strnlen(buf, total));
  return true;
}
}  // namespace

bool ReadLockFileText(const std::string& lockPath, std::string* text) {
  platform::Env& env = platform::Current();
  const FileHandle h = platform::OpenForReading(env, lockPath);
  if (h == kNoFile) return false;
  const bool read = ReadText(env, h, text);
  env.Close(h).IgnoreError();
  return read;
}

bool HeldBySomeoneElse(const std::string& lockPath, LockOwnerInfo* owner) {
  std::string text;
  if (lockPath.empty() || !ReadLockFileText(lockPath, &text)) return false;
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  LockOwnerInfo found{};
  doc.ReadLockOwner(found);
  if (owner) std::memcpy(owner, &found, sizeof found);
  platform::Env& env = platform::Current();
  FileHandle probe = kNoFile;
  const platform::Status s = env.OpenFile(lockPath, platform::kWrite, platform::kShareRead | platform::kShareWrite,
                                          Disposition::kOpenExisting, &probe, nullptr);
  if (s.ok()) env.Close(probe).IgnoreError();
  if (s.IsSharingViolation()) return true;
  return found.bIsPermanent == 1 && !LockSlot::NamesCurrentUser(found, false);
}

int LockSlot::Acquire(const std::string& lockPath, bool permanent, LockOwnerInfo* ownerOut, const LockTexts& texts) {
  platform::Env& env = platform::Current();
  owner.bIsPermanent = permanent ? 1 : 0;
  // A path the slot cannot hold whole would lock, and later delete, some other file.
  if (lockPath.empty() || lockPath.size() >= sizeof(szLockPath)) return 0;
  // Without the texts no lock could be written: leave no file behind.
  if (texts.temporary.empty() || texts.permanent.empty()) return 0;

  bool existed = false;
  platform::Status open = env.OpenFile(lockPath, platform::kWrite, platform::kShareRead,
                                       Disposition::kOpenAlways, &hLockFile, &existed);
  if (!open.ok()) hLockFile = kNoFile;
  bCreated = open.ok() && !existed ? 1 : 0;
  const bool sharing = open.IsSharingViolation();

  if (sharing || (open.ok() && existed)) {
    std::string text;
    if (!ReadLockFileText(lockPath, &text)) {
      CloseIfOpen(hLockFile);
      return 0;
    }
    XMLProcessorNetwork doc;
    doc.LoadText(text);
    doc.ReadLockOwner(owner);
    const bool foreignPermanent = existed && owner.bIsPermanent == 1 && !IsOwnedByCurrentUser();
    if (sharing || foreignPermanent) {
      CloseIfOpen(hLockFile);
      if (ownerOut) std::memcpy(ownerOut, &owner, sizeof(LockOwnerInfo));
      return 0;
    }
    // A temporary lock nobody holds open is stale; a permanent one of this user is the user's own.
  } else if (!open.ok()) {
    if (!open.IsAccessDenied()) return 0;
    FileHandle data = kNoFile;
    bool readable = env.OpenFile(DataFilePath(lockPath), platform::kRead,
                                 platform::kShareRead | platform::kShareWrite, Disposition::kOpenExisting,
                                 &data, nullptr)
                        .ok();
    if (readable) env.Close(data).IgnoreError();
    return readable ? 2 : 3;
  }

  // This user's own permanent lock stays permanent, also when the take fails below: releasing it
  // as a temporary one would delete it.
  bPermanent = (permanent || (existed && owner.bIsPermanent == 1)) ? 1 : 0;
  std::memcpy(szLockPath, lockPath.c_str(), lockPath.size() + 1);
  hDataFile = kNoFile;

  switch (HoldDataFile()) {
    case 0:
      Release();
      return 0;
    case 2:
      Release();
      return 4;
    default:
      break;
  }
  if (owner.bIsPermanent == 1) bPermanent = 1;
  // Opened on this path a moment ago and held since: no need to look for the file again.
  if (WriteText(bPermanent != 0, texts, true) == 1) return 1;
  Release();
  return 0;
}

void LockSlot::Release() {
  if (!IsHeld()) {
    // Whatever a data-file handle here names belongs to the record this one was copied from.
    Forget();
    return;
  }
  platform::Env& env = platform::Current();
  CloseIfOpen(hDataFile);
  // A handle that is no longer ours was closed through a copy of this record: the lock file at our
  // path may be someone else's by now, and is not deleted. Ours goes while we still hold it, where
  // the system allows: nobody can take it over in between.
  if (bPermanent != 1 && HasPath())
    env.CloseAndDelete(hLockFile, szLockPath).IgnoreError();
  else
    env.Close(hLockFile).IgnoreError();
  hLockFile = kNoFile;
}

int LockSlot::HoldDataFile() {
  // Without its lock file a slot holds nothing: a data file opened now would never be let go.
  if (!IsHeld() || !HasPath()) return 1;
  std::string path = DataFilePath(szLockPath);
  CloseIfOpen(hDataFile);
  platform::Status s = platform::Current().OpenFile(path, platform::kWrite, platform::kShareRead,
                                                    Disposition::kOpenExisting, &hDataFile, nullptr);
  if (!s.ok()) {
    hDataFile = kNoFile;
    if (s.IsSharingViolation()) return 0;
    if (s.IsAccessDenied()) return 2;
  }
  return 1;
}

void LockSlot::ReleaseDataFile() { CloseIfOpen(hDataFile); }

int LockSlot::WriteLockFile(bool permanent, const LockTexts& texts, bool durable) {
  platform::Env& env = platform::Current();
  if (!HasPath()) return 2;
  const FileHandle probe = platform::OpenForReading(env, szLockPath);
  if (probe == kNoFile) return 2;
  env.Close(probe).IgnoreError();
  return WriteText(permanent, texts, durable);
}

int LockSlot::WriteText(bool permanent, const LockTexts& texts, bool durable) {
  platform::Env& env = platform::Current();
  const std::string& text = texts.For(permanent);
  if (text.empty() || hLockFile == kNoFile) return 0;
  if (!env.Seek(hLockFile, 0).ok() || !env.Write(hLockFile, text.data(), text.size()).ok()) return 0;
  // A shorter text must not leave the tail of the longer one behind.
  if (!env.Truncate(hLockFile).ok()) return 0;
  // A share may report a write it could not keep only when asked.
  if (durable && !env.Flush(hLockFile).ok()) return 0;
  bPermanent = permanent ? 1 : 0;
  writtenAtMs = MonotonicMs();
  return 1;
}

int LockSlot::Refresh(const LockTexts& texts) {
  if (!HasPath()) return 2;
  platform::Env& env = platform::Current();
  // While its name is still our file, it is read through our handle: no open on the share. Else by
  // its name, which may be gone or someone else's now.
  const bool ours = IsHeld() && env.NamesHeldFile(szLockPath, hLockFile);
  if (ours && writtenAtMs != 0 && MonotonicMs() - writtenAtMs < kRewriteAfterMs) return 1;
  std::string text;
  if (ours ? !(env.Seek(hLockFile, 0).ok() && ReadText(env, hLockFile, &text)) : !ReadLockFileText(szLockPath, &text))
    return 2;
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  LockOwnerInfo found{};
  doc.ReadLockOwner(found);
  // A file that names nobody (cut short by a failed write of ours) is simply written again.
  if ((found.szUserName[0] || found.szMachineName[0]) && !NamesCurrentUser(found, true)) return 0;
  return ours ? WriteText(bPermanent != 0, texts, false) : WriteLockFile(bPermanent != 0, texts, false);
}

bool LockSlot::IsOwnedByCurrentUser() const { return NamesCurrentUser(owner, false); }

bool LockSlot::NamesCurrentUser(const LockOwnerInfo& info, bool machineToo) {
  auto matches = [](platform::Status (platform::Env::*ask)(std::string*), const char* field, std::size_t size) {
    std::string mine;
    if (!(platform::Current().*ask)(&mine).ok()) return false;
    return text::EqualsNoCase(LockName(mine), std::string(field, strnlen(field, size)));
  };
  if (!matches(&platform::Env::UserName, info.szUserName, sizeof(info.szUserName))) return false;
  return !machineToo || matches(&platform::Env::ComputerName, info.szMachineName, sizeof(info.szMachineName));
}

}  // namespace miradel
