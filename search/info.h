// Search information lines: publishing the master's best line, the "info"
// lines for an interface and the console line.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include "board/types.h"

struct ThreadRecord;

// Publishes t's best move, score, completed depth and principal variation in
// SearchData and reports it (from depth 2 on, with one principal variation).
void NewBestMove(ThreadRecord* t);
// Prints the information line of a thread's line (k = 0 for a normal report,
// the 1-based line number for multi-PV lines and the final report) unless the
// quiet interval, a silenced output, depth 0 or an empty line holds it back.
void DisplaySearchInfo(int thread_index, int k, int d, int s, const uint16_t* pv);
void DisplaySearchInfo(int thread_index, int k, int d, int s, const std::atomic<uint16_t>* pv);
// The score words of an "info" line: "cp 25", "mate 3" or "mate -2".
std::string UciScoreText(int s);
