#include "control/globals.h"

#include <optional>

namespace miradel {

namespace {
// The process-wide control object. On Windows it is destroyed at unload, under the loader lock,
// where waiting for a thread can deadlock and the system may already have ended it: its copy
// thread is abandoned where it stands instead of being stopped and waited for.
struct ControlHolder {
  std::optional<CNetworkFileControl> control{std::in_place};
  ~ControlHolder() {
#ifdef _WIN32
    if (control) control->AbandonCopyThread();
#endif
  }
};

ControlHolder theControl;
CMiradelApp theApp;
}  // namespace

CNetworkFileControl& TheControl() { return *theControl.control; }
CMiradelApp& TheApp() { return theApp; }

void ResetTheControl() {
  std::optional<CNetworkFileControl>& control = theControl.control;
  control->StopAndLetGo();
  control.reset();
  control.emplace();
}

}  // namespace miradel
