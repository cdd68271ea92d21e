// The model file properties dialog and the model archives.
#include <cstring>

#include "base/text.h"
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

namespace {
// The host's fixed 256-byte text, blank-padded; a zero ends it early.
std::string FixedText(const char* p) {
  if (!p) return std::string();
  const void* end = std::memchr(p, 0, ModelLocation::kPathBuffer);
  const std::size_t n = end ? static_cast<const char*>(end) - p : ModelLocation::kPathBuffer;
  return text::TrimTrailingBlanks(std::string(p, n));
}

// A text and its terminator, when both fit the host's buffer.
void CopyOut(const std::string& text, char* buffer) {
  if (buffer && text.size() < ModelArchive::kResultBuffer) std::memcpy(buffer, text.c_str(), text.size() + 1);
}
}  // namespace

extern "C" {

MIRADEL_API int MIRADEL_CALL NW_ShowFPDialog(const char* model_file, const char* last_saved_by, const int* always_show,
                                             const int* revision) {
  return Guard(Value(always_show) != 0 ? 1 : 0, [&] {
    return TheControl().ShowFileProperties(FixedText(model_file), CText(last_saved_by), Value(always_show),
                                           Value(revision));
  });
}

MIRADEL_API int MIRADEL_CALL NW_ArchiveModel(void) {
  GuardVoid([&] { TheControl().ArchiveModel(); });
  return 1;
}

MIRADEL_API void MIRADEL_CALL NW_AddInArchive(const int* index, const char* name, const int* length,
                                              const char* extension) {
  GuardVoid([&] { TheControl().AddInArchive(Value(index), Text(name, length), CText(extension)); });
}

MIRADEL_API void MIRADEL_CALL NW_OpenArchive(char* directory, char* name, int* status) {
  ModelArchive::Opened opened;
  GuardVoid([&] { opened = TheControl().OpenArchive(); });
  CopyOut(opened.directory, directory);
  CopyOut(opened.name, name);
  if (status) *status = opened.status;
}

}  // extern "C"
