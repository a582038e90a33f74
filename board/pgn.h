// Reading PGN game files: the kinds of line, tag pairs, and the move text cut
// into the words of the main line and the comments that follow them; moves
// in standard algebraic notation. The console's "load", the PGN scanner and
// the book creator read games with it.
#pragma once
#include <string>
#include "board/types.h"

// A physical line of a game file, as seen at its start.
enum PgnLineKind : int {
    PGN_LINE_MOVES = 0,   // move text (or the inside of a comment)
    PGN_LINE_TAG = 1,     // a tag pair such as [Event "..."]
    PGN_LINE_ESCAPE = 2   // '%' in the first column, or "[%" outside a comment: passed over
};

// What one character of move text completed.
enum PgnToken : int {
    PGN_TOKEN_NONE = 0,
    PGN_TOKEN_WORD = 1,     // a word of the main line, in PgnReader.word
    PGN_TOKEN_COMMENT = 2   // a comment of the main line, in PgnReader.comment
};

// Longest word kept (longer ones are cut) and longest comment text kept.
enum : int { PGN_MAX_WORD = 32, PGN_MAX_COMMENT = 4095 };

// The state of move text read character by character, kept across lines, so
// that lines and comments of any length need no line buffer. Variations in
// parentheses are passed over with everything in them, and so is the rest of
// a line after ';'.
struct PgnReader {
    bool nest_comments = false;  // a '{' inside a comment opens a deeper one
    int comment_depth = 0;
    bool comment_in_main = false;
    bool line_comment = false;
    int variation = 0;
    std::string pending;  // the word being read
    std::string word;     // the last word completed
    std::string comment;  // the last comment completed (line breaks read as blanks)
};

// Empties the reader between games (keeps nest_comments).
void PgnResetReader(PgnReader& r);
// True while the reader is inside a comment.
inline bool PgnInComment(const PgnReader& r) { return r.comment_depth > 0; }
// The kind of a line; inside a comment every line is move text.
PgnLineKind PgnClassifyLine(const PgnReader& r, const char* line);
// Feeds one character of move text (a line end as '\n').
PgnToken PgnReadChar(PgnReader& r, char c);
// The end of the move text: a word still being read is completed.
PgnToken PgnEndOfText(PgnReader& r);
// Splits a tag line [Name "value"] (the value's \" and \\ escapes undone).
// False when the line is not a tag pair.
bool PgnParseTag(const char* line, std::string* name, std::string* value);
// Reads the tag pair that starts at *at (blanks before it passed over), as
// PgnParseTag does, and moves *at past it: past its closing bracket, or past
// the value's closing quote when no bracket follows. So the tags that share
// a line are read one after the other. False when no tag pair starts there
// (*at is then unchanged).
bool PgnNextTag(const char** at, std::string* name, std::string* value);
// Where the move begins in a word of move text ("12.Nf3" gives "Nf3", "0-0"
// stays), or nullptr for words that carry no move: move numbers, results,
// annotation glyphs, "e.p.".
const char* PgnMoveText(const char* word);

// Standard algebraic notation of a legal move of pos ("Nbd2", "exd5", "e8=Q",
// "O-O"), with "+" or "#" when with_check is set. buf holds 16 characters.
// The position is the same afterwards.
char* SanMove(Position* pos, Move m, char* buf, bool with_check);
// The one legal move of pos that a standard algebraic text names (check and
// annotation signs allowed, castling with "O" or "0"); 0 when none or several.
Move ParseSan(Position* pos, const char* text);
// The legal move of pos that a move text of a game names: any form that a
// typed move may take (MatchMoveText), else standard algebraic notation
// (which also reads "Nd2" when the other knight that could go there is
// pinned). 0 when the text names no single legal move.
Move ReadMoveText(Position* pos, const char* text);
