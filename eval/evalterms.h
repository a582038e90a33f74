// The terms of the static evaluation, shared by the driver (evaluate.cpp) and
// the term files (pawns.cpp, pieces.cpp, king.cpp). Internal to the evaluation.
#pragma once
#include <algorithm>
#include <cstdlib>
#include "base/settings.h"
#include "board/tables.h"
#include "eval/evaltypes.h"
#include "eval/params.h"

enum : Bitboard {
    FILE_A_BB = 0x0101010101010101ULL,
    FILE_H_BB = 0x8080808080808080ULL,
    LIGHT_SQUARES = 0x55AA55AA55AA55AAULL,
    DARK_SQUARES = 0xAA55AA55AA55AA55ULL,
    CENTRE_BB = 0x00003C3C3C3C0000ULL,  // c3-f6
};

inline int Dist(int a, int b) {
    return std::max(std::abs((a & 7) - (b & 7)), std::abs((a >> 3) - (b >> 3)));
}
inline int RelRank(int sq, int side) { return (sq ^ flip_sq[side]) >> 3; }

// (eg * phase + op * (24 - phase)) / 24, truncated toward zero.
inline int TaperHalves(int op, int eg, int phase) { return (eg * phase + op * (24 - phase)) / 24; }
inline int Taper(ScorePair s, int phase) { return TaperHalves(ScoreOp(s), ScoreEg(s), phase); }

inline Bitboard PawnAttacksOf(Bitboard pawns, int side) {
    return side == WHITE ? ((pawns & ~FILE_A_BB) << 7) | ((pawns & ~FILE_H_BB) << 9)
                         : ((pawns & ~FILE_H_BB) >> 7) | ((pawns & ~FILE_A_BB) >> 9);
}

// Adds a term to a side's positional sum and, when tracing, to a line of the
// breakdown and to the cell of its square (sq 64: no cell).
inline void AddTerm(EvalWork* w, int side, ScorePair v, int16_t* line, int sq) {
    SpAddTo(w->positional[side], v);
    if (w->trace) {
        int t = Taper(v, w->phase);
        if (line) line[side] = (int16_t)(line[side] + t);
        if (sq < 64) PBlock.eval_trace.square[sq] = (int16_t)(PBlock.eval_trace.square[sq] + t);
    }
}

// ---- evaluate.cpp
// Endgame scale factor 0 .. 256 for a score in white's view, from a filled EvalWork.
int ScaleFactor(const EvalWork* w, int score);

// ---- pawns.cpp
void BuildPawnMaps(EvalWork* w);
// Pawn structure of both sides (pawn-hash miss), into sums[2].
void PawnStructure(EvalWork* w, ScorePair sums[2]);
void EvalBlockedPawns(EvalWork* w);
void EvalPassedPawns(EvalWork* w);
void EvalCandidatePawns(EvalWork* w);
// O's gain when the pawn of c on s advances to target (exchange on target);
// *v receives the exchange value of what stood on target. Leaves the board as it was.
int PassedPushGain(Position* pos, Bitboard occ, int c, int s, int target, int* v);

// ---- pieces.cpp
void FindPins(EvalWork* w);
void EvalPieces(EvalWork* w);
void EvalThreats(EvalWork* w);
void EvalPawnPushThreats(EvalWork* w);

// ---- king.cpp
void EvalKing(EvalWork* w, int king_sq);
