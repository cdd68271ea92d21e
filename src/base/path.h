// The path rules the whole library shares. Paths use the platform's separator (kSep): a backslash on
// Windows, a slash on POSIX; the host's paths arrive with backslashes and are converted on entry.
#pragma once

#include <string>

namespace miradel {

#ifdef _WIN32
inline constexpr char kSep = '\\';
inline constexpr char kOtherSep = '/';
#else
inline constexpr char kSep = '/';
inline constexpr char kOtherSep = '\\';
#endif

namespace path {

// The other separator turned into kSep.
std::string ToNative(std::string path);
// The directory with kSep at its end (an empty one becomes a lone separator).
std::string WithSeparator(std::string dir);
// The directory without the separators at its end.
std::string WithoutTrailingSeparators(std::string dir);
// The text after the last kSep (all of it when there is none).
std::string BaseName(const std::string& path);
// Everything up to and including the last kSep (empty when there is none).
std::string DirectoryPart(const std::string& path);

// One level of a directory: not empty, not "." or "..", no separator of either kind, no ':' (a
// drive or a stream) and no NUL.
bool IsPlainName(const std::string& name);
// A name read from a file or given by the host that must stay inside the directory it is joined
// to: not empty, not absolute, no drive, no ".." step, no NUL. Separators that lead down are kept.
bool StaysInside(const std::string& name);
// path lies strictly below root (root ending in kSep), compared without regard to case, with no "."
// or ".." step after root that could lead back out of it.
bool IsStrictlyBelow(const std::string& path, const std::string& root);

}  // namespace path
}  // namespace miradel
