#include "recover.h"

#include <chrono>
#include <cstdint>
#include <iostream>
#include <vector>

#include "base/path.h"
#include "control/version.h"
#include "lock/lock_path.h"
#include "lock/lock_slot.h"
#include "model/unwritten_changes.h"
#include "platform/env.h"
#include "wall_clock.h"

namespace miradel::tools {

namespace {

using platform::Status;

std::string Age(std::int64_t since) {
  const std::int64_t s = NowSeconds() - since;
  if (s < 0) return "at a time still to come (the clock was changed)";
  if (s < 60) return "less than a minute ago";
  const std::int64_t days = s / 86400, hours = s / 3600 % 24, minutes = s / 60 % 60;
  std::string age;
  if (days > 0) age += std::to_string(days) + " d ";
  if (days > 0 || hours > 0) age += std::to_string(hours) + " h ";
  if (days == 0) age += std::to_string(minutes) + " min ";
  return age + "ago";
}

void List(const UnwrittenRecord& r) {
  std::cout << "Model:        " << r.model_name << "\n"
            << "Model dir:    " << r.model_dir << "\n"
            << "Working copy: " << r.working_copy << "\n"
            << "Since:        " << Age(r.since) << "\n"
            << "Files:\n";
  for (const UnwrittenEntry& e : r.entries)
    std::cout << "  " << e.file << (e.kind == UnwrittenKind::kDelete ? " (delete)" : "") << "\n";
}

void Failed(const UnwrittenEntry& e, const std::string& why) { std::cout << "  " << e.file << ": " << why << "\n"; }

// A model file written after what we would put in its place is someone's later work.
bool ModelFileIsNewer(const std::string& file, const platform::FileTime& than) {
  platform::FileInfo info;
  return platform::Current().GetFileInfo(file, &info).ok() && info.mtime > than;
}

bool WriteEntry(const UnwrittenRecord& r, const UnwrittenEntry& e) {
  platform::Env& env = platform::Current();
  const std::string from = r.working_copy + e.file, to = r.model_dir + e.file;
  if (e.kind == UnwrittenKind::kDelete) {
    if (ModelFileIsNewer(to, platform::FileTime{r.since, 0, true})) {
      Failed(e, "not deleted: the model's file was changed after the delete failed");
      return false;
    }
    const Status s = env.DeleteFile(to);
    if (!s.ok() && !s.IsNotFound()) Failed(e, "not deleted: " + s.ToString());
    return s.ok() || s.IsNotFound();
  }
  platform::FileInfo own;
  if (!env.GetFileInfo(from, &own).ok() || own.is_directory) {
    Failed(e, "missing from the working copy");
    return false;
  }
  if (ModelFileIsNewer(to, own.mtime)) {
    Failed(e, "not written: the model directory holds a newer one (use --to DIR to keep this one and compare)");
    return false;
  }
  // Whole and old, or whole and new: a share that fails half-way must not tear the model's file.
  const Status s = env.ReplaceWithCopy(from, to);
  if (!s.ok()) Failed(e, "not written: " + s.ToString());
  return s.ok();
}

bool WriteBack(UnwrittenRecord r, const LockTexts& texts) {
  const std::string lockPath = LockPathFor(r.model_dir, r.model_name);
  if (lockPath.empty()) {
    std::cout << "  refused: no lock can be placed for model '" << r.model_name << "' in '" << r.model_dir << "'\n";
    return false;
  }
  LockSlot slot{};
  LockOwnerInfo owner{};
  const int taken = slot.Acquire(lockPath, false, &owner, texts);
  if (taken != 1) {
    std::cout << "  refused: " << LockRefusal(taken, r.model_name, owner) << "\n";
    return false;
  }
  // Under the lock nobody else is on the way: what the journal names joins the record, which is
  // cleared entry by entry as each is written.
  // Read from the record's own place, not from a text.
  const Path work = Path::FromText(r.working_copy);
  if (!AbsorbPendingJournal(work) || !ReadUnwrittenRecord(UnwrittenRecordPath(work), &r)) {
    std::cout << "  refused: the journal of write-backs on their way cannot be moved into the record\n";
    slot.Release();
    return false;
  }
  // The lock's own hold on the data file would keep our copy of it out as well.
  slot.ReleaseDataFile();
  bool all = true;
  for (const UnwrittenEntry& e : r.entries) {
    if (!WriteEntry(r, e)) {
      all = false;
      continue;
    }
    ClearUnwritten(work, e.file);
    std::cout << "  " << e.file << (e.kind == UnwrittenKind::kDelete ? ": deleted from " : ": written to ")
              << r.model_dir << "\n";
  }
  slot.Release();
  if (all) std::cout << "  all written back; the working copy is no longer needed\n";
  return all;
}

// Into a folder of each working copy's own name, so that two working copies of one model never
// meet.
bool CopyOut(const UnwrittenRecord& r, const std::string& to) {
  platform::Env& env = platform::Current();
  const std::string top = path::WithSeparator(path::ToNative(to));
  const std::string dir = top + path::BaseName(path::WithoutTrailingSeparators(r.working_copy)) + kSep;
  for (const std::string& d : {top, dir}) {
    const Status s = env.CreateDirectory(d);
    if (!s.ok() && !platform::PathExists(d)) {
      std::cout << "  refused: " << s.ToString() << "\n";
      return false;
    }
  }
  bool all = true;
  for (const UnwrittenEntry& e : r.entries) {
    if (e.kind == UnwrittenKind::kDelete) {
      std::cout << "  " << e.file << ": to be deleted from the model directory; nothing to copy\n";
      continue;
    }
    const Status s = env.CopyFile(r.working_copy + e.file, dir + e.file, false);
    if (s.ok())
      std::cout << "  " << e.file << ": copied to " << dir << "\n";
    else
      Failed(e, "not copied: " + s.ToString());
    all = all && s.ok();
  }
  std::cout << "  the record stays: nothing was written back to " << r.model_dir << "\n";
  return all;
}

}  // namespace

std::string LockRefusal(int acquired, const std::string& model, const LockOwnerInfo& owner) {
  switch (acquired) {
    case 0:
      if (owner.szUserName[0] || owner.szMachineName[0])
        return model + " is locked by " + owner.szUserName + " on " + owner.szMachineName +
               (owner.bIsPermanent ? " (permanent)" : "");
      return "the lock file or the model's data file cannot be taken";
    case 2:
      return "no permission to create the lock file; the model can be opened read-only";
    case 3:
      return "no permission to create the lock file or to read the model";
    default:
      return "the model's data file cannot be written";
  }
}

int RunRecover(const RecoverOptions& options) {
  platform::Env& env = platform::Current();
  const std::string temp = options.temp.empty() ? env.UserTempPath() : options.temp;
  std::vector<std::string> unreadable;
  const std::vector<UnwrittenRecord> records = FindUnwrittenRecords(Path::FromText(temp), &unreadable);
  for (const std::string& p : unreadable)
    std::cout << "cannot read the record " << p << ": its working copy is kept; look into it by hand\n";
  if (records.empty() && unreadable.empty()) {
    std::cout << "no working copy under " << temp << " holds unwritten changes\n";
    return 0;
  }
  const LockTexts texts = BuildLockTexts(env, DottedVersion(VersionDigits(options.host_version)));
  bool all = unreadable.empty();
  for (const UnwrittenRecord& r : records) {
    std::cout << "\n";
    List(r);
    if (options.write)
      all = WriteBack(r, texts) && all;
    else if (!options.to.empty())
      all = CopyOut(r, options.to) && all;
    else
      all = false;
  }
  return all ? 0 : 1;
}

}  // namespace miradel::tools
