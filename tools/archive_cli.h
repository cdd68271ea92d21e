// miradel pack / unpack: a working copy's files into a model archive, and an archive into a folder.
#pragma once

#include <string>

#include "base/path.h"

namespace miradel::tools {

// Packs the files of workdir that the types take (a comma-separated list of input, result,
// reports, unit, libraries; empty: all five) into archive. Exit status 0 when it is written.
int RunPack(const Path& workdir, const Path& archive, const std::string& types);

// Unpacks archive into dir (empty: the folder named after the archive beside it, else the
// archive's folder) and names the model found there. Exit status 0 when unpacked and a model
// (.dat file) is in it, 3 when unpacked without a model, 1 when not unpacked.
int RunUnpack(const Path& archive, const Path& dir);

}  // namespace miradel::tools
