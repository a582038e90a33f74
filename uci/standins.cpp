// STAND-INS for entry points whose subsystems this build does not have yet.
// Each block goes when its subsystem lands (the linker names the duplicate).
// A batch tool that is missing says so, and the run ends with status 1.
#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "tablebase/tbcore.h"
#include "uci/startup.h"

// tablebase/tbcore: no table reader yet, so no table is ever registered.
void init_tablebases(const char* path) {
    if (path[0] && strcmp(path, "<empty>") != 0)
        ShowMessage("info string Syzygy tables are not read by this build");
}
