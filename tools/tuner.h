// The error-minimising tuner: evaluation parameters tuned against positions
// with known game results. Every position of an EPD file is scored by a
// quiescence search, the score turned into a win probability, and the mean
// absolute difference from the game's result is the tuning error.
#pragma once
#include <cstdio>

// "tune.log" during a "-tune" run, else null.
extern FILE* fdtune;

// Copies each line of src to dst (created anew) with probability pct percent.
// Nothing is copied when either file cannot be opened (with a message). With
// report set, every line of src whose position the error function would
// refuse is named, sampled or not, and a file without any position the
// error function scores is said to be so. Returns whether src could be read
// and holds such a position.
bool RandPick(const char* src, const char* dst, int pct, bool report = false);
// The tuning error of the positions in file (1.0 when it cannot be opened).
// A line whose position is refused is skipped. With create set ("-mktune")
// the file may be a pipe, a refused line is named in a message, and the
// positions that pass the filters go to "tune_new.epd"; *written, when
// given, tells whether that file was written in full. The error-only form
// reads samples and says nothing of refused lines (RandPick names them).
// The caller has set the depth limit to 0 and silenced the search output.
double Process_EPD_File(const char* file, int create, bool* written = nullptr);
// The tuning passes of a "-tune" run over PBlock.epd_file, on the parameters
// marked in the registry, logging to fdtune.
void TuneEvalParams();

// ---- the pieces of the error function ---------------------------------------

// The expected result for the side to move at a score of s centipawns:
// 1 / (1 + 10^(-s / 400)).
double WinProbability(double s);
// The game result that a line's " c9 " opcode names, from white's view: 1.0
// for "1-0", 0.0 for "0-1", 0.5 for "1/2" (looked for in that order), or
// -1.0 when the line has no " c9 " or none of the three.
double EpdLineResult(const char* line);
// Whether a position goes to "tune_new.epd": result (the mover's) against
// the game's scores ce (now) and c6 (six moves on).
bool KeptForTuningFile(double result, int ce, int c6);
// Whether a position counts in the error: a result that the score six moves
// on contradicts too strongly is left out.
bool CountsForError(double result, int c6);

// How the error function scores the game record's position (CTD).
using PositionScorer = int (*)();
// The default scorer: the search of the game position on the calling thread
// (a quiescence search at depth limit 0); also sets best_score.
int SearchScore();
// Process_EPD_File with the positions scored by `score`.
double EpdError(const char* file, int create, PositionScorer score, bool* written = nullptr);

// ---- the gradient step of "-tune" ---------------------------------------------

enum : int { TUNE_PASSES = 100 };
constexpr double TUNE_START_RATE = 3000.0;

// Distance at which a parameter with running value x is probed on either
// side: round(0.03 * |x| + 1), at least 1.
int ProbeDistance(double x);
// The change of a running value x for gradient g at learning rate lr, kept
// within 0.025 * (|x| + 6) either way.
double GradientStep(double g, double lr, double x);
// The learning rate after a pass whose |g * lr| had this average and maximum.
double NextLearningRate(double lr, double average, double max);
