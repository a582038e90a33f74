// Creating a Polyglot book from PGN games.
//
// Every move of the first plies of each game with a known result is counted
// per position, with the games' outcomes for the side that played it; the
// moves that did well often enough are written as a Polyglot book file,
// sorted by key and heaviest first within a key.
#pragma once

enum : int {
    // A line of move text is read while at most this many plies of its game
    // have been counted before it. Lines are read in pieces of up to 1023
    // characters, and each piece after a line's first is read like a line
    // of its own, so the plies counted past the limit are those of the rest
    // of one line or one piece (a move cut by a piece's end is read whole).
    BOOK_LINE_PLY_LIMIT = 35,
    // A move enters the book with more wins than this...
    BOOK_MIN_WINS = 2,
    // ...and a score (draws + 2 * (2 * wins - losses)) above this.
    BOOK_MIN_SCORE = 9,
    // The largest weight of a position: heavier scores are scaled down.
    BOOK_MAX_WEIGHT = 60000
};

// The file that PG_CreateBook writes in the working directory.
extern const char* const BOOK_OUTPUT_FILE;

// Reads the games of PBlock.pgn_file and writes the book "tmp_book.bin". A
// file that cannot be read, memory that runs out or a book that cannot be
// written is reported, and an older "tmp_book.bin" is then left as it was;
// the result is then false.
bool PG_CreateBook();
