// miradel demo: the whole open / work / write back / close cycle on sample models the program makes
// itself, driven through the library's exported functions exactly as a host drives them.
#pragma once

#include <string>

namespace miradel::tools {

// Makes the sample models under keep_dir (which must be new or empty; it is left in place) or, when
// keep_dir is empty, in a fresh folder under the system temporary path that is removed afterwards.
// Prints every step and check; returns 0 when every check passed, 1 when one failed, 2 when the
// sample could not be made.
int RunDemo(const std::string& keep_dir);

}  // namespace miradel::tools
