// Positions from and to text, moves as text.
#pragma once
#include "board/types.h"

// Sets the position from FEN/EPD text. Returns 0, -1 when castling rights had
// to be dropped, or -2 when the text is refused (the position is then unchanged).
int SetPosition(Position* pos, const char* text);
// Writes the four FEN fields (no counters) into buf (at least 100 bytes).
void MakeEPD(const Position* pos, char* buf);
// Coordinate form of a move ("e2e4", "e7e8q" in UCI mode, "e7e8=Q" in the console, "null").
char* MoveToStr(Move m, char* buf);
// The four text forms of a move against which typed moves are matched (each buffer >= 16 bytes).
void GenMoveStrings(Position* pos, Move m, char* s1, char* s2, char* s3, char* s4);
// Finds the one legal move of the game record that the text names: 1 and *out, else 0.
int IsValidMove(const char* text, Move* out);
// The full-board start position.
extern const char* const START_FEN;
