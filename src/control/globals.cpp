#include "control/globals.h"

namespace miradel {

namespace {
CNetworkFileControl theControl;
CMiradelApp theApp;
}  // namespace

CNetworkFileControl& TheControl() { return theControl; }
CMiradelApp& TheApp() { return theApp; }

}  // namespace miradel
