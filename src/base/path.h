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

// A path in the platform's form, made once from a text where the text enters the library (the
// export frame, the command line) and handed on as it is: nothing below converts it again.
class Path {
 public:
  Path() = default;
  // The text with the other separator turned into kSep; nothing else changes.
  static Path FromText(std::string text) { return Path(path::ToNative(std::move(text))); }

  const std::string& str() const { return m_text; }
  bool empty() const { return m_text.empty(); }

  // As a directory: kSep at its end. An empty path stays empty: it names no directory, and a lone
  // separator would be the root of the file system.
  Path AsDirectory() const { return empty() ? Path() : Path(path::WithSeparator(m_text)); }
  // name (one level or more) below this directory; empty when this path is.
  Path Join(const std::string& name) const { return empty() ? Path() : Path(AsDirectory().m_text + name); }
  // The last level, and everything before it (ending in kSep).
  std::string Name() const { return path::BaseName(m_text); }
  Path Parent() const { return Path(path::DirectoryPart(m_text)); }

  // The checks of path:: on this path.
  bool IsPlainName() const { return path::IsPlainName(m_text); }
  bool StaysInside() const { return path::StaysInside(m_text); }
  bool IsStrictlyBelow(const Path& root) const { return path::IsStrictlyBelow(m_text, root.AsDirectory().m_text); }

 private:
  explicit Path(std::string text) : m_text(std::move(text)) {}
  std::string m_text;
};

}  // namespace miradel
