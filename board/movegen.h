// Pseudo-legal move generation by kind, in a fixed order (lowest square
// first). The generators write move, piece and captured, never the score; a
// caller's buffer of MAX_LIST_MOVES entries holds any position's moves.
#pragma once
#include "board/types.h"

MoveEntry* GenerateCaptures(const Position* pos, int side, MoveEntry* out, int target);
MoveEntry* GeneratePromotions(const Position* pos, int side, int under, MoveEntry* out);
MoveEntry* GenerateQuiets(const Position* pos, int side, MoveEntry* out, int target);
// Every pseudo-legal move of side (captures, all promotions, quiet moves) into
// a caller's buffer of MAX_LIST_MOVES entries; returns the end of the list.
MoveEntry* GenerateMoves(const Position* pos, int side, MoveEntry* out);
// Whole list of the side to move into the current ply's list, with its end entry.
void GenerateAll(Position* pos);
void GenerateNullMove(Position* pos);

// The legal moves of the side to move, in generation order (captures,
// promotions with under-promotions, quiet moves). Returns their number.
enum : int { MAX_LEGAL_MOVES = 256 };
int GenerateLegalMoves(Position* pos, Move* out);
// 1 when m is one of the legal moves of the side to move (moves read from
// files and texts are checked against the generated list, never trusted).
int IsGeneratedLegalMove(Position* pos, Move m);
