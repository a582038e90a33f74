// Scanning PGN games with evaluation comments (as engines write them in
// matches) into annotated games and EPD records. No search runs.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What the modes write: 1 an annotated game with marks for bad moves and
// their refutations, 2 training positions with the game's result, 3 positions
// with their scores, 4 rook-and-pawn-against-rook positions with a result value.
enum ScanMode : int { SCAN_ANNOTATE = 1, SCAN_TRAINING = 2, SCAN_SCORES = 3, SCAN_ROOK_PAWN = 4 };

// The result of a game: its "Result" tag, or RESULT_OTHER without one.
enum GameResult : int { RESULT_WHITE_WINS = 0, RESULT_BLACK_WINS = 1, RESULT_OTHER = 2 };

// Scores of moves without a usable comment.
enum : int16_t { SCORE_NO_COMMENT = -30000, SCORE_UNREADABLE = -29999 };

// The output files, written anew in the working directory.
extern const char* const SCAN_PGN_FILE;   // "tmp.pgn": the annotated games (mode 1)
extern const char* const SCAN_EPD_FILE;   // "tmp.epd": the positions (modes 2 to 4)
extern const char* const SCAN_TEST_FILE;  // "tmpX.epd": the refutations (mode 1)

struct ScannedMove {
    std::string word;  // the move as written, without "!" and "?" marks
    int16_t score;     // centipawns for the side that made the move
};

struct ScannedGame {
    int number = 0;          // 1 for the first game of the file
    std::string start_fen;   // from a FEN tag; empty for the standard start
    int result = RESULT_OTHER;
    std::vector<ScannedMove> moves;
};

// The score that a comment gives the move before it (made by black when
// black_moved): 0 for a book move, the number after "eval " (from white's
// view), the number before a '/' ("+0.35/12" is 35, "-M5/20" is -9000), or
// SCORE_UNREADABLE.
int CommentScore(const std::string& comment, bool black_moved);

// Writes the lines of one game for the mode (out_x: the refutation file of
// mode 1, else null). Returns the number of positions written.
int ProcessGame(FILE* out, FILE* out_x, const ScannedGame& game, int mode);

// Reads the games of the file and writes the mode's files; prints the totals.
// False when the games or an output file cannot be opened, or an output file
// cannot be written in full.
bool Scan_PGN_File(const char* path, int mode);
