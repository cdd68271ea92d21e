#include "lock/lock_path.h"

#include "base/path.h"

namespace miradel {

std::string LockPathFor(const std::string& dir, const std::string& name) {
  if (dir.empty() || !path::IsPlainName(name)) return std::string();
  return path::WithSeparator(dir) + name + ".lck";
}

std::string DataFilePath(const std::string& lockPath) {
  std::string base = lockPath.size() >= 4 ? lockPath.substr(0, lockPath.size() - 4) : std::string();
  return base + ".dat";
}

}  // namespace miradel
