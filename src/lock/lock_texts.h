// The two prepared lock-file texts and the dotted version text they carry. Every write of a lock
// file writes one of the two texts; they are empty until the host has given its version, and then
// no lock can be taken.
#pragma once

#include <string>

#include "platform/env.h"

namespace miradel {

inline constexpr std::size_t kLockTextCapacity = 511;  // characters, without the terminator
inline constexpr std::size_t kNameFieldChars = 31;     // longest name a LockOwnerInfo field holds

struct LockTexts {
  std::string dotted;     // the host's version as "8.0.1.0"
  std::string temporary;  // IsPermanent FALSE
  std::string permanent;  // IsPermanent TRUE
  const std::string& For(bool permanentLock) const { return permanentLock ? permanent : temporary; }
};

// Both texts from the platform's computer and user names and the dotted version text. A text that
// would not fit kLockTextCapacity is left empty, so that no lock can be taken with it.
LockTexts BuildLockTexts(platform::Env& env, const std::string& dotted);

// The name as a lock file carries it: cut to what the 32-byte owner fields hold, so that what one
// user writes is what another reads back and compares.
std::string LockName(std::string name);

}  // namespace miradel
