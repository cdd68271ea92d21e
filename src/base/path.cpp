#include "base/path.h"

#include "base/text.h"

namespace miradel::path {

namespace {
bool IsSep(char c) { return c == kSep || c == kOtherSep; }

// True when one of the steps of p (split at either separator) is "." or "..".
bool HasDotStep(const std::string& p, bool dotAlso) {
  std::size_t start = 0;
  while (start <= p.size()) {
    std::size_t end = start;
    while (end < p.size() && !IsSep(p[end])) ++end;
    std::string step = p.substr(start, end - start);
    if (step == ".." || (dotAlso && step == ".")) return true;
    start = end + 1;
  }
  return false;
}
}  // namespace

std::string ToNative(std::string path) {
  for (char& c : path)
    if (c == kOtherSep) c = kSep;
  return path;
}

std::string WithSeparator(std::string dir) {
  if (dir.empty() || dir.back() != kSep) dir += kSep;
  return dir;
}

std::string WithoutTrailingSeparators(std::string dir) {
  while (!dir.empty() && dir.back() == kSep) dir.pop_back();
  return dir;
}

std::string BaseName(const std::string& path) {
  std::size_t cut = path.rfind(kSep);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string DirectoryPart(const std::string& path) {
  std::size_t cut = path.rfind(kSep);
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (IsSep(c) || c == ':' || c == 0) return false;
  return true;
}

bool StaysInside(const std::string& name) {
  if (name.empty() || IsSep(name[0])) return false;
  for (char c : name)
    if (c == ':' || c == 0) return false;
  return !HasDotStep(name, false);
}

bool IsStrictlyBelow(const std::string& path, const std::string& root) {
  if (root.empty() || path.size() <= root.size()) return false;
  if (!text::EqualsNoCase(path.substr(0, root.size()), root)) return false;
  return !HasDotStep(path.substr(root.size()), true);
}

}  // namespace miradel::path
