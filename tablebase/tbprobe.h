// The tablebase probes: their own compact position record and moves, the
// win/draw/loss probe with its capture search, and the distance-to-zeroing
// probe with its cache of DTZ tables.
#pragma once
#include <cstdint>

// A position as the probes see it. Squares: 0 is a1, 63 is h8.
struct tb_position {
    uint64_t white, black;  // all pieces of each colour
    uint64_t kings, queens, rooks, bishops, knights, pawns;  // both colours
    uint8_t rule50;         // plies since the last capture or pawn move
    uint8_t ep;             // en-passant target square; 0 for none
    uint8_t turn;           // 1 white to move, 0 black
};

// A probe move: to-square in bits 0-5, from-square in bits 6-11, promotion
// piece in bits 12-14.
typedef uint16_t TbMove;
enum TbPromotion : int { TB_PROMO_NONE = 0, TB_PROMO_QUEEN = 1, TB_PROMO_ROOK = 2, TB_PROMO_BISHOP = 3, TB_PROMO_KNIGHT = 4 };
inline int TbMoveTo(TbMove m) { return m & 63; }
inline int TbMoveFrom(TbMove m) { return (m >> 6) & 63; }
inline int TbMovePromo(TbMove m) { return (m >> 12) & 7; }

// Room for every pseudo-legal move of a position with up to six pieces.
enum : int { TB_MAX_MOVES = 192 };

// Win/draw/loss values, from the side to move's view.
enum TbWdl : int { WDL_LOSS = -2, WDL_BLESSED_LOSS = -1, WDL_DRAW = 0, WDL_CURSED_WIN = 1, WDL_WIN = 2 };

// The squares of one kind of piece (codes 1-6 white pawn to king, 9-14 black).
uint64_t get_pieces(const tb_position* pos, int code);
// The material key; mirror swaps the roles of the colours.
uint64_t calc_key(const tb_position* pos, bool mirror);
// The material name (such as KRPvKR) into buf (16 bytes); mirror puts black first.
void prt_str(const tb_position* pos, char* buf, bool mirror);
// Writes the position after move m into out; false when the mover is left in check.
bool do_move(tb_position* out, const tb_position* pos, TbMove m);
// Generators: they write into list (TB_MAX_MOVES entries) and return the end.
TbMove* gen_moves(const tb_position* pos, TbMove* list);
TbMove* gen_captures_or_promotions(const tb_position* pos, TbMove* list);
TbMove* gen_ep_captures(const tb_position* pos, TbMove* list);
TbMove* gen_pawn_pushes(const tb_position* pos, TbMove* list);
// Whether the move is an en-passant capture of the side to move.
bool is_ep_capture(const tb_position* pos, TbMove m);
// Whether the king of the side to move (side_to_move true) or of the other
// side is attacked. A side without a king counts as attacked.
bool king_attacked(const tb_position* pos, bool side_to_move);

// The probes. success: 0 failure (the value means nothing), 1 valid, 2 valid
// and reached by a capture or promotion; probe_dtz may leave -1, which also
// means valid.
int probe_ab(const tb_position* pos, int alpha, int beta, int* success);
int probe_wdl(const tb_position* pos, int* success);
int probe_dtz(const tb_position* pos, int* success);

// The DTZ value of a position whose best move zeroes the fifty-move counter,
// by its WDL value + 2.
extern const int wdl_to_dtz[5];
// Mapped DTZ tables in the cache (for checks).
int dtz_tables_cached();
