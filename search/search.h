// The recursive node search below the root and the move loop of the
// alpha-beta search, with the exchange tests used by their pruning rules.
//
// Before the first call of a search the caller prepares the thread record as
// the search start does: position and history loaded, `ply` 1, the list
// cursors of stack entries 0 and 1 (entry 0's `next` pointing at the 0xFFFF
// anchor in move_store[0], entry 1's list at move_store[1]), the root entry's
// `next` at the root move being searched and its `move_flags`, `node_type`,
// `search_pass`, `reduction`, `move_count`, `static_eval` and `tb_wdl` set,
// entry 0's `static_eval`, the ordering tables reset (ResetOrdering), the
// iteration `depth`, `node_limit`, and the search parameters derived.
#pragma once
#include <atomic>
#include <cstdint>
#include "board/types.h"
#include "search/records.h"

// Size of every principal-variation array (indexed by ply, root ply 1).
enum : int { PV_SIZE = MAX_PLY + 2 };

// Random value of the current search, written at the search start (by each
// thread as it starts, hence atomic); it picks the nodes whose depth the
// strength limit cuts.
extern std::atomic<uint32_t> brnd;

// Score of the node at `ply` (fail-soft, side to move's view); the best line
// is written into pv from index ply on. node_type 0 is a principal-variation
// node, 1 and -1 zero-window nodes.
int Search(Position* pos, int side, int ply, int depth, int alpha, int beta, int node_type, Move* pv);
// Move loop of a node that Search has prepared.
int AB_Search(Position* pos, int side, int ply, int depth, int alpha, int beta, int in_check, int node_type,
              Move* pv);
// 1 when no piece of `side` can be won by an exchange large enough to matter
// against the margin of the static evaluation `e` over beta.
int SNMP(Position* pos, int side, int e, int beta);
// 1 when a good capture searched with a raised bound and a reduced depth
// fails high, so that the node may return beta.
int ProbCut(Position* pos, int ply, int depth, int beta);
// 1 when the move loses no material by exchange on its to-square.
int MoveIsSafe(Position* pos, Move m);
// 1 when a rook, bishop or queen (type 4, 3 or 5) moving from `from` to `to`
// bears on a square of the enemy king zone that another piece already attacks.
int MoveAttacksKingArea(Position* pos, int type, int from, int to, Bitboard zone);

// Reduction of the n-th move (counted from 0) searched at a node of `depth`:
// the table value for the node kind, one less for a well-ordered move or when
// it would not exceed the parent's reduction, one more when the move is not
// safe, at most 2 for captures and 3 for other flagged moves, and never
// leaving less than one ply (never negative).
int LateMoveReduction(int depth, int n, int node_type, int score, int parent_reduction, int safe, int flags);

// How often each pruning, reduction and extension rule fired in this thread
// (for tests and statistics; reset by the caller).
struct SearchCounters {
    uint64_t fifty_draws, repetition_draws, mate_distance_cuts, check_extensions,
        check_extensions_refused, hash_cutoffs, hash_mate_returns, tb_returns, eval_draws,
        max_ply_returns, blind_reductions, qsearch_drops, futility_drops, bp_depth_reductions,
        sep_cutoffs, snmp_cutoffs, probcut_tries, probcut_searches, probcut_cutoffs, null_tries,
        null_cutoffs, null_reductions, iid_searches, lmp_prunes, lmp_unsafe_prunes,
        depth1_unsafe_prunes, lmr_reduced, lmr_researches, node_limit_stops, throttle_sleeps,
        null_depth_max;
};
// The calling thread's counters.
SearchCounters& ThreadSearchCounters();
