// Basic chess types shared by every part of the engine: squares, piece codes,
// moves, move-list entries, the position record and the game-history entry.
#pragma once
#include <cstdint>

typedef uint64_t Bitboard;
typedef uint16_t Move;

struct ThreadRecord;

enum : int { NO_SQ = 64 };
enum : int { WHITE = 0, BLACK = 1 };
enum : int { EMPTY = 0, PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };

// Promotion flags carried in a Move.
enum : Move {
    PROMO_QUEEN = 0x40, PROMO_KNIGHT = 0x80, PROMO_BISHOP = 0x4000, PROMO_ROOK = 0x8000,
    PROMO_ANY = 0xC0C0, MOVE_END = 0xFFFF
};

inline int MoveTo(Move m) { return m & 63; }
inline int MoveFrom(Move m) { return (m >> 8) & 63; }
inline Move MakeMoveCode(int from, int to) { return (Move)((from << 8) | to); }
// Piece type a promotion makes (QUEEN, ROOK, BISHOP, KNIGHT), 0 for other moves.
inline int PromoPiece(Move m) {
    return (m & PROMO_QUEEN) ? QUEEN
           : (m & PROMO_KNIGHT) ? KNIGHT
           : (m & PROMO_BISHOP) ? BISHOP
           : (m & PROMO_ROOK) ? ROOK
                               : 0;
}
inline int PieceType(int code) { return code & 7; }
inline int PieceColor(int code) { return code >> 3; }

// One entry of a move list.
struct MoveEntry {
    Move move;
    int16_t score;     // ordering score, written only by the move picker
    uint8_t piece;     // moving piece code
    uint8_t captured;  // piece code on the to-square (0 for quiet moves and en passant)
};

struct Position {
    ThreadRecord* owner;
    uint8_t board[65];     // entry 64 always empty
    Bitboard bb[16];       // [0] white, [8] black, [code] piece boards
    uint64_t key;
    uint64_t pawn_key;
    uint32_t material[2];  // material signatures (see msig)
    int16_t npm[2];        // non-pawn material in units
    uint8_t side;
    uint8_t fifty;
    uint8_t castle;        // 1 K, 2 Q, 4 k, 8 q
    uint8_t ep;            // en-passant target square, 64 when none
    uint8_t king_sq[2];
    uint16_t start_move;   // full-move number at the owner's game ply 0 (from FEN text; 0 reads as 1)
};

// Game-history entry, indexed by the game ply at which the move was made.
struct UndoEntry {
    uint64_t key;
    uint64_t pawn_key;
    Move move;
    uint8_t captured;  // type of the captured piece, 0 for none and en passant
    uint8_t ep;
    uint8_t fifty;
    uint8_t castle;
};
static_assert(sizeof(UndoEntry) == 24, "UndoEntry is 24 bytes");

// Sizes of the per-thread tables.
enum : int {
    MAX_PLY = 70,                             // search-stack entries, root at ply 1
    MAX_GAME_PLY = 900,                       // longest game the records accept
    UNDO_SIZE = MAX_GAME_PLY + MAX_PLY + 8,   // history room for a full search on top of it
    // Room for one position's move list: a side has at most 16 pieces (the
    // position reader refuses more), so at most 15 x 27 + 8 + 2 = 415
    // pseudo-legal moves, plus the hash move and the end entries.
    MAX_LIST_MOVES = 448,
    MOVE_STORE_SIZE = (MAX_PLY + 2) * MAX_LIST_MOVES  // every ply's list fits
};
