// Evaluation displays for the console: the breakdown of the game position by
// term and by square, and the derived evaluation tables.
#pragma once
#include <string>
#include "eval/evaltypes.h"

// Evaluates the game position with the trace switch on (a search of depth 0
// on pool thread 0's record, run on the calling thread) and prints the
// breakdown: score and stage, hung, pinned and free pieces, the term lines
// for both sides and the per-square values. Call only while no search runs.
void ShowEvalInfo();
// The text ShowEvalInfo prints, built from the trace area, the game position
// and the root evaluation and score of SearchData (it ends with the side to
// move and a line end; printing it adds one more).
std::string EvalInfoText();

// Prints the derived evaluation tables straight to standard output (no log copy).
void ShowEvalParams();
// The text ShowEvalParams prints.
std::string EvalParamsText();
// One 64-square table: its name, the opening values rank 8 first, an empty
// line, the name again, the endgame values, an empty line.
void PrintPSQTable(const ScorePair* table, const char* name);
std::string PSQTableText(const ScorePair* table, const char* name);
