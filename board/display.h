// The board diagram of the console and of the traced evaluation.
#pragma once
#include "board/types.h"

// Prints the position's EPD text, the eight ranks (white pieces in upper case,
// black in lower case, empty squares as '+' or '-' by their colour) and the
// side to move, followed by an empty line.
void ShowBoard(const Position* pos);
