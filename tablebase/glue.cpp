#include "tablebase/glue.h"

// No tables are loaded: every probe answers "no result".
int TB_Probe_WDL(const Position*, int) { return -1; }

int TB_Probe_DTZ(const Position*, int*, uint32_t*, Move*) { return -1; }
