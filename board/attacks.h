// Attack, check and legality tests.
#pragma once
#include "board/types.h"

int SqAtakd(const Position* pos, int sq, int side);
int MoveIsLegal(Position* pos, int side, Move m);
int HashMoveIsLegal(const Position* pos, int side, Move m);
int MoveGivesCheck(const Position* pos, int side, const MoveEntry* e);  // 0, 1 direct, 2 discovered
// 1 when the side to move has no legal move (mate or stalemate); uses a list of its own.
int IsMate(Position* pos);
