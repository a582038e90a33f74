// The self-play tuner: in every cycle a player with randomly changed
// parameters ("Player1") plays six very fast games against the settings in
// force when the tuner started ("Player2"), and each parameter moves towards
// its change when the changed player won more games than it lost, or away
// from it otherwise. The games go to "self.pgn".
#pragma once
#include <cstdint>
#include <cstdio>
#include "board/types.h"

enum : int {
    SELFPLAY_GAMES = 300000,    // the run ends when the game counter reaches this
    GAMES_PER_CYCLE = 6,
    SELFPLAY_RECORD_SIZE = 700  // moves recorded per game; a full record ends the game drawn
};

// One recorded move of a game.
struct SelfPlayMove {
    char text[7];   // from-square and to-square names
    int16_t score;  // the published best score
    int8_t depth;   // the published depth
};

// How the move just searched (or taken from the book) leaves the game, for
// the side that was to move.
enum GameOutcome : int {
    GAME_GOES_ON = 0,
    GAME_MOVER_WINS = 1,
    GAME_MOVER_LOSES = 2,
    GAME_DRAWN = 3,
    GAME_SEARCH_AGAIN = 4  // no move although the position has one: search it again
};

// The changed word of a parameter with running value `value` for a random
// draw of 0 to 399: value + (draw * 0.001 - 0.2) * value, where a change
// between -1.5 and 1.5 (but not 0) is widened to 1.5 either way.
int PerturbedWord(double value, int draw);
// The running value after a cycle in which the changed player's word was
// b_word and it won d games more than it lost.
double UpdatedValue(double value, int b_word, int d);
// Judges a searched move m with score s (mover's view), given the
// fifty-move counter f before it, whether the game had already ended by
// repetition or by the fifty-move rule, whether the mover has any legal move,
// and how many moves the record holds with this one.
GameOutcome JudgeMove(int s, Move m, int f, bool drawn_by_rule, bool has_legal_move, int recorded);
// Writes one game of the record to f in the "self.pgn" form.
void WriteSelfPlayGame(FILE* f, int game, bool changed_player_white, const char* result, const SelfPlayMove* moves,
                       int count);

// Tunes the marked evaluation parameters by fast self-play games until the
// game counter reaches SELFPLAY_GAMES or "quit" arrives.
void Tune_4();
