// Records of the evaluation that live inside other records: the per-thread
// evaluation cache and pawn hash entries and the per-thread scratch area (the
// trace area lives in the control block, base/settings.h).
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

// Scratch record filled by one evaluation and shared by its terms. Index 0 of
// every per-side array is white, 1 black.
struct EvalWork {
    Position* pos;
    ThreadRecord* record;
    PawnHashEntry* pawn_slot;
    Bitboard occ;                  // both colours
    Bitboard front_fill[2];        // squares in front of the side's pawns on their files
    Bitboard pawn_attack_span[2];  // the front fill shifted one file left and right
    Bitboard outposts[2];
    Bitboard passed;               // passed pawns of both colours
    Bitboard half_free;            // no enemy pawn in front, not passed
    Bitboard pinned;
    Bitboard hung;
    Bitboard free_pawns;
    Bitboard mobility_area[2];
    Bitboard rammed[2];
    Bitboard king_zone[2];
    Bitboard king_wing;            // clamped king files of both kings and their neighbours
    Bitboard attacks[2][8];        // [side][0] all so far, [side][type] by pawns .. king
    Bitboard attacked2[2];         // squares attacked at least twice
    ScorePair mtl[2];
    ScorePair positional[2];
    int eval_alert[2];             // dangers to the side, for the search's pruning
    int king_attackers[2][8];      // [side][type]: the side's pieces of that type hitting the enemy king zone
    int safe_checks[2];            // safe checks against the side's king
    int side;                      // side to move
    int ply;
    int phase;                     // 0 all pieces on the board .. 24 none
    int piece_phase[2];            // 0 .. 12
    int trace;
};
