// Making and taking back moves and null moves. None of these tests legality:
// the move must be pseudo-legal in the position.
#pragma once
#include "board/types.h"

void MakeMove(Position* pos, Move m);
// Takes back the move recorded in the latest history entry.
void UnmakeMove(Position* pos);
void MakeNullMove(Position* pos);
void UnmakeNullMove(Position* pos);
// Writes one made move (0 for a null move) into the search trace when the
// owner thread's ply is within the trace depth of PBlock.
void TraceMove(Position* pos, Move m);

// 1 when one more game move may be added to the position's record: callers
// that add game moves (a "position ... moves" list, moves typed at the
// console) must stop at MAX_GAME_PLY, so that a full search still fits into
// the history on top of the longest game.
int CanAddGameMove(const Position* pos);

// The draw test of a line read from the table and of a book move: 1 when the
// fifty-move counter f is 4 or more and either f is above 99 and the side to
// move has no legal move, or the position stood twice before in the record's
// history (4, 6, 8, ... plies back, not further back than f).
int RepeatedOrRunOut(Position* pos);

// Keys computed from scratch, for checks and for SetPosition.
uint64_t ComputeKey(const Position* pos);
uint64_t ComputePawnKey(const Position* pos);
