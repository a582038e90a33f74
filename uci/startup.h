// Program start-up, command line, batch-mode dispatch and shutdown.
#pragma once
#include <cstdint>

// The run's modes, chosen by the command-line switches.
enum : int {
    MODE_ENGINE = 1, MODE_ANEPD = 2, MODE_SCAN_PGN1 = 3, MODE_SCAN_PGN4 = 6, MODE_MATCH = 7,
    MODE_BENCH = 8, MODE_BENCH2 = 9, MODE_PBENCH = 10, MODE_MKBOOK = 11, MODE_MKCONFIG = 12,
    MODE_MKTUNE = 13, MODE_TUNE = 14, MODE_TUNE4 = 15
};

// Set by "-pbench": the benchmark searches on the main thread.
extern int32_t profile;

// The whole program: start-up, one mode, shutdown. Returns the exit status:
// 1 also when a batch tool cannot read its input file, or when "-anepd", a
// scan, "-mktune" or "-mkbook" cannot write its output in full.
int TeskMain(int argc, char** argv);

// Reads the command-line switches into Personality, SearchData and PBlock and
// picks the mode. Returns false (after a message) when a switch that needs an
// argument is the last word, or when a word beginning with "-scan_pgn" is none
// of "-scan_pgn1" to "-scan_pgn4".
bool ParseCommandLine(int argc, char** argv, int* mode);

// For a batch tool that this build does not have: prints that it is not
// available, and the run ends with exit status 1.
void ReportToolUnavailable(const char* tool);
// True once a tool has reported itself unavailable.
bool ToolWasUnavailable();
