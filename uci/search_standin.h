// STAND-IN for the search driver (thread pool, search preparation and time
// allocation, information lines) until the real driver lands. The loop, the
// start-up and the option setter call these by the driver's names; when the
// driver lands, this header and uci/search_standin.cpp are deleted and the
// includes point at search/pool.h, search/timecontrol.h and search/info.h.
//
// The stand-in pool has real threads that follow the command-byte protocol
// (1 search, 2 clear a table share, 'c' end); its "search" is
// StandInChooseMove: the first legal move, published at once, after which the
// master waits like a real search for its end: at once for a depth or node
// limit, at the allotted time for a timed search, only by "stop" for an
// infinite or ponder search.
#pragma once
#include <atomic>
#include <cstdint>
#include "board/types.h"

int CreateThreadPool(int n);
void KillThreadPool(int n);
void StartSearch();
void Collect();
void PrepareNewSearch();
double EffectiveBranchingFactor();
void DisplaySearchInfo(int thread_index, int k, int d, int s, const std::atomic<uint16_t>* pv);

// The stand-in's choice: the first legal move of the position, 0 when none.
Move StandInChooseMove(Position* pos);
