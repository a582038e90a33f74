// Search preparation, time allocation, and the time check that ends a search
// (run by the main thread, and by searching threads that the strength limit
// slows down).
#pragma once

// Clock reading (GetTime) at the start of the current search.
extern double search_start;

// Sets up SearchData and the game record for the next search: clock start,
// settings in force, table age and size, derived parameters, time allocation.
void PrepareNewSearch();
// The time allocation alone: target_time (and movestogo, and the clock of a
// fixed-time search) from the limits, the clocks and the game ply.
void AllocateTime();
// Updates `elapsed` and sets `stop` when the search must end.
void SearchTimecheck();
// elapsed := now - search_start.
void GetElapsedTime();
// Growth of the node count per iteration over the last four iterations.
double EffectiveBranchingFactor();
