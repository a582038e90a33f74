// The search trace file "trace.txt": one entry per move made within the
// traced plies, written by whichever thread makes it.
#pragma once

// Writes the entry of a move made at search ply `ply` (1 = the root) in the
// iteration of depth `iteration` by a node searched with `node_depth` plies
// left; `move_text` is the move as text ("null" for a null move). A change of
// iteration starts a "SEARCH DEPTH= n" section; a ply not deeper than the
// previous entry's starts a new line indented to its ply. The file is opened
// at the first entry; when it cannot be, that is said once and nothing more is
// written.
void TraceWrite(int ply, int iteration, int node_depth, const char* move_text);
