// Move-path counting through the search's staged move picker.
#pragma once
#include "search/records.h"

// Counts the leaf nodes of the legal move tree of depth `depth` (>= 1) below
// the record's position into the record's `nodes` counter. The caller sets the
// list cursor of stack entry `ply` (ply equals the record's `ply`) and, for
// entries below 2, the `next` entries of the plies before it, as the search
// preparation does.
void Perft2(ThreadRecord* t, int side, int ply, int depth);
