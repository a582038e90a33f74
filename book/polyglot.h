// Polyglot opening books: position keys and the book probe.
#pragma once
#include "board/types.h"

// A move of the book named by the OwnBook_File setting for the position, or 0
// when the book has no usable move.
Move PG_GetBookMove(Position* pos);
