// The fixed benchmark: searches of a list of middle-game positions, timed.
#pragma once

enum : int { BENCH_POSITIONS = 20 };

// The positions, as EPD position fields (entry 9 repeats entry 3).
extern const char* const BenchPositions[BENCH_POSITIONS];

// Searches the first n positions of the list (n at most 20) with the pool, or
// on the main thread when `profile` is set, and prints the time of each and
// the totals. Sets the quit flag of PBlock at the end.
void Bench(int n);
