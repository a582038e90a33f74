#include "uci/startup.h"

#include "search/records.h"
#include "uci/output.h"
#include "uci/settings.h"

int TeskMain(int argc, char** argv) {
    (void)argc;
    (void)argv;
    InitControlBlock();
    InitSearchData();
    SetDefaultSettings();
    Personality = DefaultPersonality;
    return 0;
}
