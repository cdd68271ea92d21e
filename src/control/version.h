// The host's version number as the eight digits the QV temporary directory's tag and the lock
// file's version text are made from.
#pragma once

#include <string>

namespace miradel {

// Always exactly eight characters. 5, 6 and 8 digits are the host's forms (80100 -> "08000100",
// 801004 -> "80010004", 10000104 -> "10000104"). 7 digits are read as 8 with a leading zero, more
// than 8 digits give their first eight, a negative number is read without its sign.
std::string VersionDigits(int version);
// "08000100" -> "8.0.1.0": four groups of two, each losing a leading "0".
std::string DottedVersion(const std::string& digits);

}  // namespace miradel
