// The search's entry points into the endgame tablebases. Result classes:
// 0 loss, 1 loss drawn by the fifty-move rule, 2 draw, 3 win drawn by the
// fifty-move rule, 4 win, -1 no result.
#pragma once
#include <cstdint>
#include "board/types.h"

// Win/draw/loss class of a position searched with `depth` plies left.
int TB_Probe_WDL(const Position* pos, int depth);
// Class of the root, with its distance to zeroing and the move to play.
int TB_Probe_DTZ(const Position* pos, int* result_class, uint32_t* dtz, Move* move);

struct tb_position;
// The probes' record of a position; the en-passant square is kept only when
// a pawn of the side to move can take there.
void TB_ConvertPosition(const Position* pos, tb_position* p, int rule50);
