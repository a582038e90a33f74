// The static evaluation of a thread's position.
#pragma once
#include "search/records.h"

// A static score never leaves -EVAL_LIMIT .. EVAL_LIMIT, well clear of the
// mate and tablebase scores.
enum : int { EVAL_LIMIT = 9000, EVAL_IN_CHECK = -10001 };

// Score of record->pos in centipawns from the side to move's view; -10001 in
// check (no static score). side: the side to move; ply: the search ply (1 at
// the root), whose stack entry receives eval_draw and the two alert words;
// trace: fill PBlock.eval_trace (cleared first) and print the king-safety lines.
// Needs SetEvalParams and InitKPK to have run.
int Evaluate(ThreadRecord* record, int side, int ply, int in_check, int trace);
