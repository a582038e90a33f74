// Static exchange evaluation.
#pragma once
#include "board/types.h"

int GetAtakr(const Position* pos, int sq, int side, Bitboard occ);
int swapoff1(Position* pos, int side, int attacker, int sq, Bitboard occ, int clip);
