// Console settings by name ("set") and the interactive board editor ("edit").
#pragma once
#include <string>
#include "board/types.h"

// "set" name value [word 3 [word 4]]: changes a run-time setting (search
// limits of the console, the output threshold, pruning switches, ...);
// search parameters are kept within the ranges their tables allow. Every call
// marks the derived tables for rebuilding.
void ConsoleSet(const char* name, const char* value, const char* word3, const char* word4);

// The board editor: reads its lines from the input, builds the position and,
// when it is one the engine can play, makes it the game position.
void EditBoard();
// One line of the editor applied to a position being edited ("#" clears the
// board, "w ..." or "b ..." places pieces of that colour and gives it the
// move). Lines that start otherwise change nothing.
void EditLine(Position* pos, const char* line);
// Castling rights, keys and the check of an edited position. Returns an empty
// text when the engine can play the position, else the reason it cannot.
std::string FinishEditedPosition(Position* pos);
