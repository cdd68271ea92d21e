// Existence tests the host asks before it opens a model.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;
using platform::PathExists;
using platform::WithSeparator;

namespace {
// Longest path the host's own buffers hold.
constexpr std::size_t kMaxPath = 259;
}  // namespace

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_IsThisModelDir(const char* dir, const int* length) {
  return Guard(0, [&] {
    CNetworkFileControl& c = TheControl();
    std::string given = PathText(dir, length);
    if (given.empty()) return LowerCase(c.m_modelDir.Get()) == LowerCase(c.m_strExeDir) ? 1 : 0;
    return LowerCase(WithSeparator(TrimTrailingBlanks(given))) == c.m_strExeDir ? 1 : 0;
  });
}

MIRADEL_API int MIRADEL_CALL NW_CheckModelExist(const char* dir, const int* dir_length, const char* name,
                                                const int* name_length, const char* extension) {
  return Guard(0, [&] {
    std::string d = TrimTrailingBlanks(PathText(dir, dir_length));
    std::string n = TrimTrailingBlanks(PathText(name, name_length));
    if (d.empty() || n.empty()) return 0;
    std::string path = WithSeparator(d) + n;
    std::string ext = CText(extension);
    if (!ext.empty()) path += "." + ext;
    return PathExists(path) ? 1 : 0;
  });
}

MIRADEL_API int MIRADEL_CALL NW_FileExistMdlTmp(const char* name, const int* length, const int* place) {
  return Guard(0, [&] {
    CNetworkFileControl& c = TheControl();
    std::string dir = Value(place) == 1 ? c.m_strQVTempDir : c.m_modelDir.Get();
    // Without a directory there is nothing to look in; the name alone would be looked up wherever
    // the process happens to stand.
    if (dir.empty()) return 0;
    std::string path = dir + PathText(name, length);
    if (path.size() > kMaxPath) return 0;
    return PathExists(path) ? 1 : 0;
  });
}

}  // extern "C"
