// Existence tests the host asks before it opens a model.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_IsThisModelDir(const char* dir, const int* length) {
  return Guard(0, [&] { return TheControl().IsThisModelDir(PathText(dir, length)); });
}

MIRADEL_API int MIRADEL_CALL NW_CheckModelExist(const char* dir, const int* dir_length, const char* name,
                                                const int* name_length, const char* extension) {
  return Guard(0, [&] {
    return TheControl().CheckModelExist(PathText(dir, dir_length), PathText(name, name_length), CText(extension));
  });
}

MIRADEL_API int MIRADEL_CALL NW_FileExistMdlTmp(const char* name, const int* length, const int* place) {
  return Guard(0, [&] { return TheControl().FileExistMdlTmp(PathText(name, length), Value(place)); });
}

}  // extern "C"
