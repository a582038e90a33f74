// The quiescence search: captures, promotions and (at depth 0 and above)
// quiet checks after the remaining depth has run out.
#pragma once
#include "board/types.h"

extern const int16_t qs_gain[8];   // optimistic gain of a capture by victim type
extern const int8_t npm_units[8];  // non-pawn units a capture removes

// Called by Search after it has stored the node's static evaluation, never
// for a side in check.
int Q_Search(Position* pos, int side, int ply, int depth, int alpha, int beta, int node_type, Move* pv);
