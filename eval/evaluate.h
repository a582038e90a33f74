// The static evaluation of a thread's position.
#pragma once
#include "search/records.h"

// Score of record->pos in centipawns from the side to move's view; -10001 in check.
int Evaluate(ThreadRecord* record, int side, int ply, int in_check, int trace);
