// The library's global objects, constructed in this order when it is loaded (both live in one
// translation unit, so the order holds) and destroyed in the reverse order.
#pragma once

#include "control/miradel_app.h"
#include "control/network_file_control.h"

namespace miradel {

CNetworkFileControl& TheControl();
CMiradelApp& TheApp();

// Back to the state of a freshly loaded library, for tests and the demo: the copy thread is stopped
// and waited for, every lock handle is closed without deleting any file, and a new control object
// takes the old one's place. Only while no export runs.
void ResetTheControl();

}  // namespace miradel
