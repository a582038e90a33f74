// Positions from and to text, moves as text.
#pragma once
#include "board/types.h"

// Sets the position from FEN/EPD text (placement, side, castling, en passant,
// then the halfmove clock and the move number; without them, as in EPD, 0 and
// 1; EPD operations are not read) and resets the owner's game_ply, ply and
// last_move. Returns 0; -1 when castling rights whose king or rook is missing
// were dropped ("Illegal EPD - ..." is printed, the position is set); -2 when
// the text is refused with a message
// ("Illegal FEN - <reason>": malformed placement, not one king per side,
// pawns on the first or last rank, more than 16 pieces or 8 pawns a side, the
// side not to move in check, an en-passant square that no double step left, a
// counter that is negative or not a number) and the position and its record
// are unchanged. A halfmove clock above 255 reads as 255. With quiet set,
// nothing is printed.
int SetPosition(Position* pos, const char* text, bool quiet = false);
// Writes the four FEN fields (no counters) into buf (at least 100 bytes).
void MakeEPD(const Position* pos, char* buf);
// Writes the whole FEN text, with the halfmove clock and the move number
// (buf at least 112 bytes).
void MakeFEN(const Position* pos, char* buf);
// The full-move number of the position: its start number counted on by the
// moves of its record since game ply 0.
int FullMoveNumber(const Position* pos);
// "=Q", "=R", "=B" or "=N" for a promotion, "" for other moves.
const char* PromoSuffix(Move m);
// Coordinate form of a move ("e2e4", "e7e8q" in UCI mode, "e7e8=Q" in the console, "null").
char* MoveToStr(Move m, char* buf);
// The four text forms of a move against which typed moves are matched (each buffer >= 16 bytes).
void GenMoveStrings(Position* pos, Move m, char* s1, char* s2, char* s3, char* s4);
// Finds the one legal move of the game record CTD that the text names (any
// form of GenMoveStrings; "+", "#", "!" and "?" marks are ignored, a
// promotion letter may come without "="): 1 and *out, else 0 and *out = 0.
// Two matches print "ambiguous move".
int IsValidMove(const char* text, Move* out);
// The same matching on any position (it is changed for a moment and restored).
int MatchMoveText(Position* pos, const char* text, Move* out);
// The full-board start position.
extern const char* const START_FEN;
