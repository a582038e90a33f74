// Records of the evaluation that live inside other records: the per-thread
// evaluation cache and pawn hash entries, the per-thread scratch area and the
// trace area printed by the evaluation display.
#pragma once
#include <cstdint>
#include "board/types.h"

typedef int32_t ScorePair;  // eg * 65536 + op

struct EvalCacheEntry {
    uint64_t key;
    int16_t extra1;  // white's alert word
    int16_t extra2;  // black's alert word
    int16_t score;   // side to move's view
};

struct PawnHashEntry {
    uint64_t key;        // pawn key
    ScorePair score[2];  // pawn structure of white and black
};

enum : int { EVAL_CACHE_SIZE = 32768, PAWN_HASH_SIZE = 16384 };


// Scratch record filled by one evaluation and shared by its terms.
struct EvalWork {
    Position* pos;
    ThreadRecord* record;
    PawnHashEntry* pawn_slot;
    Bitboard occ;
    Bitboard pawn_attack_span[2];
    Bitboard outposts[2];
    Bitboard passed;
    Bitboard half_free;
    Bitboard pinned;
    Bitboard hung;
    Bitboard free_pawns;
    Bitboard mobility_area[2];
    Bitboard rammed[2];
    Bitboard king_zone[2];
    Bitboard attacks[2][8];  // [side][0] all, [side][type] by pawn .. king
    Bitboard attacked2[2];
    ScorePair mtl[2];
    ScorePair positional[2];
    int16_t eval_alert[2];
    int16_t king_attacks[2];
    int ply;
    int phase;
    int piece_phase[2];
    int trace;
};

// Breakdown written by an evaluation with the trace flag.
struct EvalTrace {
    int16_t square[64];
    int16_t stage;
    int16_t mtl[2];
    int16_t pos[2];
    int16_t passers[2];
    int16_t pawns[2];
    int16_t knights[2];
    int16_t bishops[2];
    int16_t rooks[2];
    int16_t queens[2];
    int16_t kings[2];
    uint64_t hung;
    uint64_t pinned;
    uint64_t free_pawns;
    double scale;
};
