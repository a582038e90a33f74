// The root search of one iteration and one principal-variation line.
#pragma once
#include "board/types.h"

// Searches the root moves from list position k on at the given depth,
// keeping the thread's score, principal variation and completed depth, and
// (on the master's first line) publishing each new best move.
void SearchRoot(Position* pos, int side, int depth, int k);
