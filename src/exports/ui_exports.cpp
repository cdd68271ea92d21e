// The extensions: the library's version, and the table through which a host answers the
// library's questions itself.
#include "exports/frame.h"
#include "miradel.h"
#include "ui/callback_ui.h"

using namespace miradel;
using namespace miradel::exports;

extern "C" {

MIRADEL_API int MIRADEL_CALL MiradelSetUiCallbacks(const MiradelUiCallbacks* table) {
  return Guard(0, [&] { return ui::InstallCallbacks(table); });
}

MIRADEL_API unsigned int MIRADEL_CALL MiradelUiCallbacksSize(unsigned int* version) {
  if (version) *version = MIRADEL_UI_CALLBACKS_VERSION;
  return static_cast<unsigned int>(sizeof(MiradelUiCallbacks));
}

MIRADEL_API const char* MIRADEL_CALL MiradelVersion(void) { return MIRADEL_VERSION; }

}  // extern "C"
