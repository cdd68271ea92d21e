// The two prepared lock-file texts and the dotted version text they carry. Every write of a lock
// file writes one of the two texts; they are empty until the host has given its version.
#pragma once

#include <string>

namespace miradel {

inline constexpr std::size_t kLockTextCapacity = 511;  // characters, without the terminator
inline constexpr std::size_t kNameFieldChars = 31;     // longest name a LockOwnerInfo field holds

void SetDottedVersionText(const std::string& text);
std::string DottedVersionText();

// Prepares both texts from the platform's computer and user names and the dotted version text.
// A text that would not fit kLockTextCapacity is left empty, so that no lock can be taken with it.
void BuildLockTexts();
std::string TemporaryLockText();
std::string PermanentLockText();
// Back to the state before any version was given (for tests and for the demo's fresh start).
void ClearLockTexts();

// The name as a lock file carries it: cut to what the 32-byte owner fields hold, so that what one
// user writes is what another reads back and compares.
std::string LockName(std::string name);

}  // namespace miradel
