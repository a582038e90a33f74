// Move ordering: move classification for the pruning rules, the exchange
// estimate of a move, the one-pass scoring of the root list, the staged move
// picker, and the update of the history, killer, counter and follow-up tables.
#pragma once
#include <cstdint>
#include "board/types.h"
#include "search/records.h"

// Picker stage (low four bits of SearchStackEntry::stage) and flags.
enum : uint16_t {
    PICK_STAGE_MASK = 15,
    PICK_HASH_FIRST = 16,    // return the hash move first
    PICK_PERFT = 32,         // carried by perft; the picker ignores it
    PICK_FULL = 64,          // exchange-scored captures, under-promotions, then quiets
    PICK_QUIET_CHECKS = 128  // quiet checks after the captures (quiescence)
};

// SetMoveFlags bits.
enum : int {
    MF_CAPTURE = 1, MF_CHECK = 2, MF_DISCOVERED = 4, MF_SEVENTH = 8, MF_QUEEN_PROMO = 16,
    MF_PAWN_PUSH = 32
};

extern const int16_t capture_value[8];  // by captured piece type
extern const int8_t piece_units[8];     // coarse piece values by type

// Flags of a pseudo-legal move of `side` (bits above).
int SetMoveFlags(Position* pos, int side, const MoveEntry* e);
// Exchange value of the move with its first capturer fixed: the piece on the
// to-square won, the opponent's least valuable recaptures and so on, each side
// free to stop. A quiet move wins 0. The position is unchanged afterwards.
int ExchangeEstimate(Position* pos, Move m);
// Scores captures and promotions by the captured piece, then the cheaper mover.
void ScoreCapturesPlain(MoveEntry* e, MoveEntry* end);
// Swaps the highest-scored entry from cur to the MOVE_END terminator (the
// first one on ties) to cur and returns it; nullptr when cur is the
// terminator. *end gets the terminator.
inline MoveEntry* SelectBest(MoveEntry* cur, MoveEntry** end) {
    MoveEntry* best = nullptr;
    MoveEntry* e = cur;
    for (; e->move != MOVE_END; e++)
        if (!best || e->score > best->score) best = e;
    *end = e;
    if (!best) return nullptr;
    if (best != cur) {
        MoveEntry tmp = *cur;
        *cur = *best;
        *best = tmp;
    }
    return cur;
}
// Writes the ordering score of every entry of a 0xFFFF-terminated list.
void PrescoreAll(Position* pos, MoveEntry* list);
// Next move of the current ply under its stage, or nullptr when none is left.
MoveEntry* GetNextMove(Position* pos);
// After a quiet move `e` was searched at `ply` with `depth` >= 1: decays its
// history when it did not raise alpha, else grows it and records it as killer,
// counter and follow-up move.
void UpdateOrdering(ThreadRecord* t, int ply, int depth, const MoveEntry* e, bool raised_alpha);
// Resets the history (2048), the counter and follow-up tables (0) and every
// stack entry's hash move and killers, as at the start of a search.
void ResetOrdering(ThreadRecord* t);
