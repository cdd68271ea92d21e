// Must not compile: the disk layer reaching up into the control layer. The build of this file is
// expected to fail; if it ever succeeds, the folders no longer keep their layering.
#include "control/globals.h"

int miradel_layering_probe() { return 0; }
