// The console command language: games and analysis at a terminal. Commands
// set up and show positions, take moves, ask the top-level loop for searches,
// step through the game, load and save PGN games, count perft nodes and show
// exchange values, the evaluation and the parameters.
#pragma once
#include <cstdio>
#include "board/pgn.h"  // ReadMoveText and SanMove, which the console uses for games
#include "board/types.h"

// Runs one non-empty console command line.
void ConsoleCommand(const char* line);

// The fixed time of a console analysis ("go", "an"): in effect it runs until
// "." or until its depth limit.
constexpr double ANALYSIS_MOVE_TIME = 99999.0;

// The command line cut into words: at most ten, each at most 127 characters
// (longer words are cut); missing words are empty.
enum : int { CONSOLE_WORDS = 10, CONSOLE_WORD_LEN = 127 };
struct ConsoleWords {
    char w[CONSOLE_WORDS][CONSOLE_WORD_LEN + 1];
};
void SplitConsoleLine(const char* line, ConsoleWords* words);

// Loads a game from a PGN file into the game record: `which` empty for the
// first game, a number for the n-th (1..1000), or a text that the game
// contains, read from the line holding it on. A game whose FEN tag names a
// position that cannot be set is not loaded (with a message): the game
// record stays as it was.
void LoadPgnGame(const char* file, const char* which);
// Appends the game up to the current move to the stream in PGN.
void WritePgnGame(FILE* f);
// The perft count of the game position through pool thread 0's record and
// the move picker, with its speed line; depths below 1 count 1. A "." or
// "quit" that arrives meanwhile ends a long count early (the leaves counted
// so far are shown and returned).
double ConsolePerft(int depth);
