/* The public header as a C host's compiler sees it (built as C89 and as C99, pedantic). */
#include "miradel.h"

const char* miradel_header_check(void) { return MIRADEL_VERSION; }
