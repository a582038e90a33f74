// Making and taking back moves and null moves.
#pragma once
#include "board/types.h"

void MakeMove(Position* pos, Move m);
void UnmakeMove(Position* pos);
void MakeNullMove(Position* pos);
void UnmakeNullMove(Position* pos);
// Keys computed from scratch, for checks and for SetPosition.
uint64_t ComputeKey(const Position* pos);
uint64_t ComputePawnKey(const Position* pos);
