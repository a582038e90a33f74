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

// ---- the Elo model: a search speed (nodes per second) and a playing strength

// The slowest speed the model is used for: the model falls without bound as
// the speed approaches 10 nodes per second, so slower speeds count as this.
constexpr double MIN_MODEL_NPS = 30.0;
// The fastest speed the Elo-to-speed search looks at.
constexpr double MAX_MODEL_NPS = 10000000.0;

// elo(n) = 126 ln(n) + 1183 - 4500 / (n - 10), with n raised to MIN_MODEL_NPS.
double EloOfSpeed(double nps);

// The speed whose Elo is within 0.5 of the target (targets below 1500 count
// as 1500), found by bisection between MIN_MODEL_NPS and MAX_MODEL_NPS. The
// search always ends: a target above the model's range gives the top speed.
double SpeedForElo(double elo);
