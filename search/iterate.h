// Iterative deepening: the search that a pool thread runs for one "go"
// (thread 0 is the master, the others help through the shared table), and
// the same driver run on the calling thread for the tools.
#pragma once

struct ThreadRecord;

// One search of a pool thread (its command byte is 1); returns when it ends.
void PoolThreadSearch(ThreadRecord* t);
// Runs the search on the calling thread with pool thread 0's record, without
// the other threads. The caller has run PrepareNewSearch.
void SearchIterations();
