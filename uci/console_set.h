// Console settings by name ("set") and the interactive board editor ("edit").
#pragma once
#include <functional>
#include <string>
#include "board/types.h"

// "set" name value [word 3 [word 4]]: changes a run-time setting (search
// limits of the console, the output threshold, pruning switches, ...);
// search parameters are kept within the ranges their tables allow. Every call
// marks the derived tables for rebuilding.
void ConsoleSet(const char* name, const char* value, const char* word3, const char* word4);

// The board editor: reads its lines from the input, builds the position and,
// when it is one the engine can play, makes it the game position.
void EditBoard();
// One line of the editor applied to a position being edited ("#" clears the
// board, "w ..." or "b ..." places pieces of that colour and gives it the
// move). Lines that start otherwise change nothing.
void EditLine(Position* pos, const char* line);
// Castling rights, keys and the check of an edited position. Returns an empty
// text when the engine can play the position, else the reason it cannot.
std::string FinishEditedPosition(Position* pos);

// "tune" name [file [pct]]: sweeps one evaluation parameter over the tuning
// error of a sample of the EPD file (word 2, kept in PBlock.epd_file, default
// "tune.epd"; word 3 the sample percentage) and reports the value with the
// smallest error. The parameter keeps its old value; the game, the search
// limits and the output threshold are as they were before the sweep. A file
// that gives no sample (it cannot be read, or holds no position with a
// result) ends the command after its message, with nothing measured.
void ConsoleTune(const char* name, const char* file, const char* pct);

// The sweep's search for the best value of one parameter word, starting at
// orig: steps down, then up, until a worse value bounds each side, then
// halves the interval. error(v) is the tuning error with the word at v.
// Prints a line per value tried and the best at the end. A "quit" read while
// an error is computed (PBlock.quit set) ends the sweep at once; that error
// is not used.
struct SweepResult {
    int best;
    double best_err;
    int lo, hi;    // the bounds found (SWEEP_OPEN_LO / SWEEP_OPEN_HI while open)
    bool stopped;  // a "quit" read during an error computation ended the sweep
};
enum : int { SWEEP_PASSES = 30, SWEEP_OPEN_LO = -10000, SWEEP_OPEN_HI = 10000 };
SweepResult SweepParameter(const char* name, int orig, const std::function<double(int)>& error);
