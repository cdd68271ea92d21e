#include "lock_board.h"

#include <algorithm>
#include <chrono>

#include <nlohmann/json.hpp>

#include "base/path.h"
#include "base/text.h"
#include "disk/disk_object.h"
#include "lock/lock_owner_info.h"
#include "lock/lock_slot.h"
#include "lock/xml_processor.h"
#include "wall_clock.h"

namespace miradel::tools {

namespace {
constexpr const char kLockExtension[] = ".lck";
}  // namespace

bool InspectLock(platform::Env& env, const std::string& lockPath, LockState* out) {
  *out = LockState{};
  out->lock_path = lockPath;
  out->directory = path::DirectoryPart(lockPath);
  out->model = path::BaseName(lockPath);
  out->model.resize(out->model.size() - std::min(out->model.size(), sizeof kLockExtension - 1));
  std::string text;
  if (!ReadLockFileText(lockPath, &text)) return false;
  LockOwnerInfo owner{};
  XMLProcessorNetwork doc;
  doc.LoadText(text);
  out->readable = doc.ReadLockOwner(owner) == 1;
  out->machine = owner.szMachineName;
  out->user = owner.szUserName;
  out->permanent = out->readable && owner.bIsPermanent;
  out->mine = out->readable && LockSlot::NamesCurrentUser(owner, false);
  platform::FileInfo info;
  if (env.GetFileInfo(lockPath, &info).ok() && info.mtime.known)
    out->age_seconds = std::max<std::int64_t>(0, NowSeconds() - info.mtime.seconds);

  // A running holder keeps its lock file open for writing and lets others only read it.
  platform::FileHandle h = platform::kNoFile;
  const platform::Status probe =
      env.OpenFile(lockPath, platform::kWrite, platform::kShareRead, platform::Disposition::kOpenExisting, &h, nullptr);
  if (probe.ok()) env.Close(h).IgnoreError();
  if (probe.IsSharingViolation())
    out->held = LockState::kHeldOpen;
  else if (probe.ok())
    out->held = out->permanent ? LockState::kKeptOut : LockState::kStale;
  else
    out->why = probe.ToString();
  return true;
}

bool IsFree(bool exists, const LockState& state) {
  return !exists || state.held == LockState::kStale || (state.held == LockState::kKeptOut && state.mine);
}

bool LockBoard(platform::Env& env, const std::string& root, std::vector<LockState>* locks, std::string* error) {
  CDiskObject disk(&env);
  std::vector<std::string> files;
  // Relative to root, so that the board names each model as the reader found the tree.
  if (!disk.ListFilesDeep(root, files, 0)) {
    *error = disk.GetErrorText();
    return false;
  }
  locks->clear();
  for (const std::string& file : files) {
    const std::string name = path::BaseName(file);
    if (name.size() <= sizeof kLockExtension - 1 ||
        !text::EqualsNoCase(name.substr(name.size() - (sizeof kLockExtension - 1)), kLockExtension))
      continue;
    LockState state;
    if (!InspectLock(env, root + file, &state)) continue;
    state.model = path::DirectoryPart(file) + state.model;
    locks->push_back(std::move(state));
  }
  std::sort(locks->begin(), locks->end(), [](const LockState& a, const LockState& b) {
    return text::LowerCase(a.model) < text::LowerCase(b.model);
  });
  return true;
}

std::string AgeText(std::int64_t s) {
  if (s < 0) return "?";
  auto two = [](std::int64_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  if (s < 60) return std::to_string(s) + "s";
  if (s < 3600) return std::to_string(s / 60) + "m " + two(s % 60) + "s";
  if (s < 86400) return std::to_string(s / 3600) + "h " + two(s % 3600 / 60) + "m";
  return std::to_string(s / 86400) + "d " + std::to_string(s % 86400 / 3600) + "h";
}

std::string StateText(const LockState& state) {
  switch (state.held) {
    case LockState::kHeldOpen: return "held open now";
    case LockState::kStale: return "stale: anyone may take it over";
    case LockState::kKeptOut: return "permanent: keeps other users out";
    default: return "cannot tell (" + state.why + ")";
  }
}

std::string BoardLine(const LockState& s) {
  const std::string holder = s.readable ? s.user + " on " + s.machine : "unreadable lock file";
  const std::string kind = s.readable ? (s.permanent ? "permanent" : "temporary") : "-";
  return s.model + "  " + holder + "  " + kind + "  since " + AgeText(s.age_seconds) + "  " +
         StateText(s);
}

std::string BoardJson(const std::string& root, const std::vector<LockState>& locks) {
  static const char* const kHeld[] = {"held", "stale", "kept-out", "unknown"};
  nlohmann::json list = nlohmann::json::array();
  for (const LockState& s : locks) {
    nlohmann::json lock = {{"model", s.model},
                           {"directory", s.directory},
                           {"lock_file", s.lock_path},
                           {"readable", s.readable},
                           {"state", kHeld[s.held]}};
    if (s.readable) {
      lock["machine"] = s.machine;
      lock["user"] = s.user;
      lock["kind"] = s.permanent ? "permanent" : "temporary";
    }
    lock["age_seconds"] = s.age_seconds >= 0 ? nlohmann::json(s.age_seconds) : nlohmann::json(nullptr);
    if (s.held == LockState::kCannotTell) lock["why"] = s.why;
    list.push_back(std::move(lock));
  }
  // Names from the share need not be valid UTF-8: replaced, rather than failing the whole board.
  return nlohmann::json{{"root", root}, {"locks", list}}.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace miradel::tools
