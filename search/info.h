// Search information lines and the search trace.
#pragma once
#include "board/types.h"

// Writes one move of the search trace (called by MakeMove and MakeNullMove
// while the trace setting is on; move 0 is the null move).
void TraceMove(Position* pos, Move m);
