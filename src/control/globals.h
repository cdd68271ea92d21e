// The library's global objects, constructed in this order when it is loaded (both live in one
// translation unit, so the order holds) and destroyed in the reverse order.
#pragma once

#include "control/miradel_app.h"
#include "control/network_file_control.h"

namespace miradel {

CNetworkFileControl& TheControl();
CMiradelApp& TheApp();

}  // namespace miradel
