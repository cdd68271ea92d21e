// Where a model's lock lives: directory + name + ".lck", beside the model's data file name + ".dat".
#pragma once

#include <string>

#include "base/path.h"

namespace miradel {

// dir (in the platform's form), a separator if it has none, name, ".lck"; empty when no lock can be
// placed there: an empty directory (the lock would land at the root of the file system) or a name
// that is not one plain level of that directory (empty, ".", "..", separators, a drive).
std::string LockPathFor(const std::string& dir, const std::string& name);
inline std::string LockPathFor(const Path& dir, const std::string& name) { return LockPathFor(dir.str(), name); }

// The data file of a lock: the lock path without its last four characters, plus ".dat".
std::string DataFilePath(const std::string& lockPath);

}  // namespace miradel
