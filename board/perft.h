// Move-path counting through the search's staged move picker.
#pragma once
#include "search/records.h"

// Counts the leaf nodes of the legal move tree of depth `depth` (>= 1) below
// the record's position into the record's `nodes` counter. The caller sets the
// list cursor of stack entry `ply` (ply equals the record's `ply`) and, for
// entries below 2, the `next` entries of the plies before it, as the search
// preparation does.
void Perft2(ThreadRecord* t, int side, int ply, int depth);

// Asked now and then during a long count; true ends the count.
typedef bool (*PerftPoll)();
// Counts as Perft2 does, asking `poll` now and then (every few thousand
// leaves) whether to go on. False when the poll ended the count early; the
// leaves counted so far are in `nodes` then.
bool PerftUntil(ThreadRecord* t, int side, int ply, int depth, PerftPoll poll);
