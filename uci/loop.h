// The engine's top-level loop: polls the input, runs the time check, turns a
// search request into a book move or a pool search, and reports the result.
#pragma once
#include <cstdint>
#include "board/types.h"

// Console self-play: non-zero makes the loop play each found move and ask
// for the next search.
extern int32_t selfplay;

// Runs until a command sets PBlock.quit, or until the input has ended and
// everything it asked for is done.
void Loop();

// One pass of the loop (exposed for tests): waits up to 1 ms for input unless
// a search is ready to start or to be reported, runs the time check and at
// most one command, then starts or reports a search when one is due.
void LoopPass();

// Ends a running search at once (stop 2), waits until no pool thread is
// busy and, when the search has not been reported yet, reports it as the next
// pass would (a waiting ponder search excepted). The console calls it before
// a command changes the game or uses the pool's records, so that the report
// belongs to the position that was searched and no thread reads the game
// record while it changes.
void FinishSearch();

// Book moves are screened before they are played: a move after which the
// fifty-move rule has run out with no legal reply, or that repeats the
// position for the third time, is not taken. Returns true when m may be played.
bool BookMoveIsPlayable(Move m);
