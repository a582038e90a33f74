// Polyglot opening books: position keys and the book probe.
#include "book/polyglot.h"

#include <cstdlib>
#include <string>

#include "base/output.h"
#include "base/settings.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "platform/platform.h"

// Polyglot numbers the pieces black pawn 0, white pawn 1, black knight 2,
// ..., white king 11; the engine's piece codes are type + 8 * colour.
static int PolyglotPieceKind(int code) { return 2 * (PieceType(code) - 1) + (PieceColor(code) == WHITE); }

uint64_t GetHashKey(const Position* pos) {
    uint64_t key = 0;
    for (Bitboard b = pos->bb[0] | pos->bb[8]; b; b = ClearLSB(b)) {
        int sq = LSB(b);
        key ^= Random64[64 * PolyglotPieceKind(pos->board[sq]) + sq];
    }
    for (int i = 0; i < 4; i++)
        if (pos->castle & (1 << i)) key ^= Random64[RANDOM64_CASTLE + i];
    const int side = pos->side;
    if (pos->ep != NO_SQ && (BB_PawnRays[side ^ 1][pos->ep] & pos->bb[8 * side + PAWN]))
        key ^= Random64[RANDOM64_EN_PASSANT + (pos->ep & 7)];
    if (side == WHITE) key ^= Random64[RANDOM64_WHITE_TO_MOVE];
    return key;
}

// ---------------------------------------------------------------------------
// Entries

static uint64_t BigEndian(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; i++) v = v << 8 | p[i];
    return v;
}

int ReadEntry(FILE* f, BookEntry* e) {
    unsigned char b[BOOK_ENTRY_BYTES];
    if (fread(b, 1, sizeof b, f) != sizeof b) return 1;
    e->key = BigEndian(b, 8);
    e->move = (uint16_t)BigEndian(b + 8, 2);
    e->weight = (uint16_t)BigEndian(b + 10, 2);
    e->learn = (uint32_t)BigEndian(b + 12, 4);
    return 0;
}

static void PutBigEndian(unsigned char* p, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; i--, v >>= 8) p[i] = (unsigned char)(v & 0xFF);
}

int WriteEntry(FILE* f, const BookEntry* e) {
    unsigned char b[BOOK_ENTRY_BYTES];
    PutBigEndian(b, e->key, 8);
    PutBigEndian(b + 8, e->move, 2);
    PutBigEndian(b + 10, e->weight, 2);
    PutBigEndian(b + 12, e->learn, 4);
    return fwrite(b, 1, sizeof b, f) != sizeof b;
}

int key_compare(const BookEntry* a, const BookEntry* b) {
    if (a->key > b->key) return 1;
    if (a->key < b->key) return -1;
    return (int)b->weight - (int)a->weight;
}

// Promotion pieces in the book's numbering: 1 knight, 2 bishop, 3 rook, 4 queen.
static const Move book_promotion_flag[5] = {0, PROMO_KNIGHT, PROMO_BISHOP, PROMO_ROOK, PROMO_QUEEN};

uint16_t BookMoveCode(const Position* pos, Move m) {
    int from = MoveFrom(m), to = MoveTo(m);
    if (PieceType(pos->board[from]) == KING && (to == from + 2 || to == from - 2))
        to = to > from ? from + 3 : from - 4;  // the rook's corner
    int promotion = 0;
    for (int i = 1; i <= 4; i++)
        if (m & book_promotion_flag[i]) promotion = i;
    return (uint16_t)(promotion << 12 | from << 6 | to);
}

Move BookMoveToMove(const Position* pos, uint16_t code) {
    const int promotion = (code >> 12) & 7;
    if ((code & 0x8000) || promotion > 4) return 0;
    const int from = (code >> 6) & 63;
    int to = code & 63;
    // King takes own rook: castling, when the king stands on its start square.
    for (int side = WHITE; side <= BLACK; side++) {
        const int king = init_king_sq[side];
        if (from != king || pos->board[from] != 8 * side + KING) continue;
        if (to == king + 3) to = king + 2;
        if (to == king - 4) to = king - 2;
    }
    return (Move)(MakeMoveCode(from, to) | book_promotion_flag[promotion]);
}

static int ReadEntryAt(FILE* f, long index, BookEntry* e) {
    if (fseek(f, index * BOOK_ENTRY_BYTES, SEEK_SET) != 0) return 1;
    return ReadEntry(f, e);
}

int FindBookEntries(FILE* f, uint64_t key, BookEntry* out) {
    if (fseek(f, 0, SEEK_END) != 0) return 0;
    const long size = ftell(f);
    if (size < BOOK_ENTRY_BYTES) return 0;  // also a failed ftell (-1)
    const long n = size / BOOK_ENTRY_BYTES;  // a trailing partial entry is not read
    // Halving: hi ends at the first entry whose key is not below the key.
    BookEntry candidate;
    long lo = -1, hi = n - 1;
    if (ReadEntryAt(f, hi, &candidate)) return 0;
    while (hi - lo != 1) {
        long mid = lo + (hi - lo) / 2;
        BookEntry e;
        if (ReadEntryAt(f, mid, &e)) return 0;
        if (key <= e.key) {
            hi = mid;
            candidate = e;
        } else {
            lo = mid;
        }
    }
    if (candidate.key != key) return 0;
    int count = 0;
    out[count++] = candidate;
    if (fseek(f, (hi + 1) * BOOK_ENTRY_BYTES, SEEK_SET) != 0) return count;
    BookEntry e;
    while (count < MAX_BOOK_MOVES && !ReadEntry(f, &e) && e.key == key) out[count++] = e;
    return count;
}

// ---------------------------------------------------------------------------
// The choice

int BookResidue(unsigned r) { return (int)((uint32_t)(r * 98765u + 123456789u) % 1000u); }

int ChooseBookEntry(const BookEntry* e, int n, int variety, int residue, int64_t* share) {
    if (n <= 0) return -1;
    int64_t total = 0;
    for (int i = 0; i < n; i++) total += e[i].weight;
    if (total == 0) return -1;
    // Above 25 the first (heaviest) entry's weight lifts every entry alike,
    // which flattens the proportions; below 25 it lowers them, and light
    // entries lose their share.
    const int64_t bonus = (int64_t)(e[0].weight * 0.01 * (variety - 25));
    int64_t sum = 0;
    for (int i = 0; i < n; i++) {
        int64_t s = (e[i].weight + bonus) * 10000 / total;
        share[i] = s < 0 ? 0 : s;
        sum += share[i];
    }
    if (sum == 0) return -1;
    const int64_t threshold = (int64_t)(residue * 0.001 * (double)sum);
    int chosen = 0;
    int64_t below = 0;
    for (int i = 0; i < n; i++) {
        if (e[i].weight == 0) continue;
        if (threshold > below) chosen = i;
        below += share[i];
    }
    return chosen;
}

// The from- and to-square names of a stored book move, as the listing shows it.
static std::string BookMoveSquares(uint16_t code) {
    return std::string(square_name[(code >> 6) & 63]) + square_name[code & 63];
}

Move PG_GetBookMove(Position* pos) {
    const uint64_t key = GetHashKey(pos);
    const char* file = Personality.OwnBook_File;
    if (!file[0]) return 0;
    FILE* f = OpenInputFile(file, "rb");
    if (!f) return 0;
    BookEntry entries[MAX_BOOK_MOVES];
    const int n = FindBookEntries(f, key, entries);
    fclose(f);
    if (n == 0) return 0;

    int64_t share[MAX_BOOK_MOVES];
    const int chosen = ChooseBookEntry(entries, n, Personality.OwnBook_Variety, BookResidue((unsigned)rand()), share);
    if (chosen < 0) return 0;

    const bool uci = PBlock.uci != 0;
    const bool console_lines = !uci && PBlock.noise < 9999.0;
    int64_t total = 0, share_sum = 0;
    for (int i = 0; i < n; i++) {
        total += entries[i].weight;
        share_sum += share[i];
    }
    std::string line = "info string ( book moves are: ";
    for (int i = 0; i < n; i++) {
        if (entries[i].weight == 0) continue;
        const std::string squares = BookMoveSquares(entries[i].move);
        if (uci) {
            line += squares + " ";
        } else if (console_lines) {
            ShowMessageF("  %s  cnt= %5d, weight= %5.2f%% -> %5.2f%%", squares.c_str(), (int)entries[i].weight,
                         entries[i].weight * 100.0 / (double)total, share[i] * 100.0 / (double)share_sum);
        }
    }

    // Only a move of the generated legal-move list is ever returned.
    Move m = BookMoveToMove(pos, entries[chosen].move);
    if (!IsGeneratedLegalMove(pos, m)) m = 0;

    if (uci) {
        line += " )";
        ShowMessage(line.c_str());
    } else if (console_lines && m) {
        ShowMessageF("selecting %s%s", square_name[MoveFrom(m)], square_name[MoveTo(m)]);
    }
    return m;
}
