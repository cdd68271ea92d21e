// What the model locks in a folder say: who holds each, since when, and whether a running holder
// keeps it open now. For miradel who (one model, or every lock under a tree) and miradel wait.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"

namespace miradel::tools {

struct LockState {
  std::string lock_path, directory, model;
  bool readable = false;  // the lock file names its holder
  std::string machine, user;
  bool permanent = false;
  bool mine = false;  // names this user, who may take a permanent lock of their own
  enum Held {
    kHeldOpen,   // a running holder keeps it open
    kStale,      // a temporary lock nobody holds: the next user takes it over
    kKeptOut,    // a permanent lock, not open: it keeps other users out all the same
    kCannotTell  // the probe failed for another reason (why)
  } held = kCannotTell;
  std::string why;
  std::int64_t age_seconds = -1;  // since the lock file was written; -1 when unknown
};

// The lock of a model; false when there is no lock file.
bool InspectLock(platform::Env& env, const std::string& lockPath, LockState* out);
// This user may take the model now: no lock file, a temporary one nobody holds open, or this user's
// own permanent one that nobody holds open.
bool IsFree(bool exists, const LockState& state);
// Every model lock under root (ending in a separator; its subfolders too), each model named by its
// path below root, sorted without regard to case. false, with the reason in *error, when root cannot
// be listed.
bool LockBoard(platform::Env& env, const std::string& root, std::vector<LockState>* locks, std::string* error);

// For people: "2h 05m", "3d 4h", "12s"; "?" when unknown.
std::string AgeText(std::int64_t seconds);
std::string StateText(const LockState& state);
// One line a lock; and the same as one JSON object {"root":..., "locks":[...]}.
std::string BoardLine(const LockState& state);
std::string BoardJson(const std::string& root, const std::vector<LockState>& locks);

}  // namespace miradel::tools
