// Polyglot opening books: position keys, book entries and the book probe.
//
// A book file is a sequence of 16-byte entries, sorted by key (unsigned,
// ascending; the entries of one key heaviest first), every number big-endian,
// no header: key (8 bytes), move (2), weight (2), learn (4, not used). A
// move holds the to-square in bits 0-5, the from-square in bits 6-11 and the
// promotion piece in bits 12-14 (1 knight, 2 bishop, 3 rook, 4 queen);
// castling is written as the king taking its own rook (e1h1, e1a1, e8h8,
// e8a8).
#pragma once
#include <cstdint>
#include <cstdio>
#include "board/types.h"

enum : int {
    RANDOM64_KEYS = 781,
    RANDOM64_CASTLE = 768,      // white short, white long, black short, black long
    RANDOM64_EN_PASSANT = 772,  // plus the file of the en-passant square
    RANDOM64_WHITE_TO_MOVE = 780,
    BOOK_ENTRY_BYTES = 16,
    MAX_BOOK_MOVES = 128  // moves of one position that the probe offers
};

// The keys of the published Polyglot format.
extern const uint64_t Random64[RANDOM64_KEYS];

struct BookEntry {
    uint64_t key;
    uint16_t move;
    uint16_t weight;
    uint32_t learn;
};

// The Polyglot key of a position. En passant counts only when a pawn of the
// side to move stands ready to capture onto the en-passant square.
uint64_t GetHashKey(const Position* pos);

// Reads the next entry of the file; 1 when the file ends before all 16 bytes
// are read (e is then unchanged), else 0.
int ReadEntry(FILE* f, BookEntry* e);
// Writes the entry as the 16 bytes that ReadEntry reads; 1 when they could
// not all be written, else 0.
int WriteEntry(FILE* f, const BookEntry* e);
// The order of a book's entries: 1 when a's key is greater (unsigned), -1
// when smaller, else b's weight minus a's weight (heavier first).
int key_compare(const BookEntry* a, const BookEntry* b);

// The book form of a legal move of pos, as a book file stores it (the
// king's castling moves as the king taking its rook).
uint16_t BookMoveCode(const Position* pos, Move m);
// The engine's move for a stored book move: king-takes-rook castling is
// turned into the king's two-square move only when the king stands on its
// start square. 0 for a code that no move has (bit 15 set, promotion code
// above 4). The result is not tested for legality.
Move BookMoveToMove(const Position* pos, uint16_t code);

// The entries of the key in an open book file: up to MAX_BOOK_MOVES from
// the first one of the key on, found by halving. Returns their number; 0
// when the key is missing or the file holds no whole entry.
int FindBookEntries(FILE* f, uint64_t key, BookEntry* out);

// The random number's residue that the choice uses: 0 to 999.
int BookResidue(unsigned r);
// Chooses among the n entries of one key (file order) for a residue of 0 to
// 999: the share of each entry (its weight, every weight raised by the
// first entry's weight times (variety - 25) %, as a part of 10000, 0 when
// negative) goes to share[]; entries of weight 0 are passed over. Returns
// the index of the chosen entry, or -1 when the weights add up to 0 (such
// a key gives no book move).
int ChooseBookEntry(const BookEntry* e, int n, int variety, int residue, int64_t* share);

// A book move of the book named by the OwnBook_File setting for the
// position, chosen at random by the stored weights and the OwnBook_Variety
// setting, after listing the candidates; 0 when there is no book, no entry
// for the position, or the chosen move is not a legal move of the position.
Move PG_GetBookMove(Position* pos);
