// Copy thread control: parking the background copy thread and releasing it again.
#include "control/globals.h"
#include "exports/frame.h"
#include "miradel.h"

using namespace miradel;
using namespace miradel::exports;

extern "C" {

MIRADEL_API void MIRADEL_CALL NW_SpndWaitThrd(const int* mode) {
  GuardVoid([&] {
    // Without a mode there is no telling whether the host meant to park the thread or to release
    // it; guessing "park" could hold up its write-backs for good.
    if (!mode) return;
    if (*mode == 0)
      TheControl().m_copy.SuspendCopyThreadAndWait();
    else
      TheControl().m_copy.ResumeCopyThread();
  });
}

}  // extern "C"
