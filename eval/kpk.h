// The king-and-pawn-against-king bitbase: for every such position, whether
// the side with the pawn wins. Built once at start-up by retrograde analysis.
#pragma once
#include <cstdint>

enum : int { KPK_SIZE = 262144 };
enum : uint8_t { KPK_ILLEGAL = 0, KPK_DRAW = 1, KPK_WIN = 2, KPK_UNKNOWN = 4 };

// One byte per entry. The pawn side plays white, upward, with its pawn on
// files a-d. Index: see KpkIndex. Entries with the pawn on ranks 2-7 hold
// KPK_WIN or KPK_DRAW after InitKPK.
extern uint8_t kpk_db[KPK_SIZE];

// stm: 0 the pawn side to move, 1 the lone king; pawn on files a-d.
inline int KpkIndex(int stm, int pawn_sq, int wk, int bk) {
    return stm * 131072 + (4 * (pawn_sq >> 3) + (pawn_sq & 7)) * 4096 + wk * 64 + bk;
}

// Computes kpk_db; needs the board tables (InitBoardTables) first.
void InitKPK();
