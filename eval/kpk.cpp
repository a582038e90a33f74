#include "eval/kpk.h"

#include <algorithm>
#include <cstdlib>

#include "board/tables.h"

uint8_t kpk_db[KPK_SIZE];

namespace {

int Dist(int a, int b) {
    return std::max(std::abs((a & 7) - (b & 7)), std::abs((a >> 3) - (b >> 3)));
}

bool Near(int a, int b) { return (BB_KingRays[a] >> b) & 1; }

void InitEntries() {
    for (int p = 0; p < 64; p++) {
        if ((p & 7) > 3) continue;
        for (int w = 0; w < 64; w++)
            for (int b = 0; b < 64; b++) {
                int iw = KpkIndex(0, p, w, b), ib = KpkIndex(1, p, w, b);
                kpk_db[iw] = kpk_db[ib] = KPK_UNKNOWN;
                if (p == b || p == w || w == b || Near(w, b)) {
                    kpk_db[iw] = kpk_db[ib] = KPK_ILLEGAL;
                } else if (b == p + 9 || ((p & 7) != 0 && b == p + 7)) {
                    kpk_db[iw] = KPK_ILLEGAL;  // the lone king stands in check
                } else if ((p >> 3) == 7) {
                    // The pawn has just promoted.
                    kpk_db[iw] = KPK_WIN;
                    if (!Near(b, p) || Near(w, p)) kpk_db[ib] = KPK_WIN;
                }
            }
    }
}

// White to move: the entry is won when some move reaches a won position.
bool WhitePass() {
    bool changed = false;
    for (int p = 8; p < 56; p++) {
        if ((p & 7) > 3) continue;
        for (int w = 0; w < 64; w++)
            for (int b = 0; b < 64; b++) {
                uint8_t& e = kpk_db[KpkIndex(0, p, w, b)];
                if (e != KPK_UNKNOWN) continue;
                int r = kpk_db[KpkIndex(1, p + 8, w, b)];
                if ((p >> 3) == 1 && r != KPK_ILLEGAL) r |= kpk_db[KpkIndex(1, p + 16, w, b)];
                for (Bitboard m = BB_KingRays[w]; m; m = ClearLSB(m))
                    r |= kpk_db[KpkIndex(1, p, LSB(m), b)];
                uint8_t v = (r & KPK_WIN) ? KPK_WIN : (r & KPK_UNKNOWN) ? KPK_UNKNOWN : KPK_DRAW;
                if (v != e) {
                    e = v;
                    changed = true;
                }
            }
    }
    return changed;
}

// Lone king to move: the entry is drawn when some move reaches a drawn
// position (or takes the unprotected pawn), won when every move loses.
bool BlackPass() {
    bool changed = false;
    for (int p = 8; p < 56; p++) {
        if ((p & 7) > 3) continue;
        for (int w = 0; w < 64; w++)
            for (int b = 0; b < 64; b++) {
                uint8_t& e = kpk_db[KpkIndex(1, p, w, b)];
                if (e != KPK_UNKNOWN) continue;
                int r = 0;
                for (Bitboard m = BB_KingRays[b]; m; m = ClearLSB(m)) {
                    int to = LSB(m);
                    r |= kpk_db[KpkIndex(0, p, w, to)];
                    if (to == p && Dist(w, p) >= 2) r |= KPK_DRAW;
                }
                uint8_t v = (r & KPK_DRAW)      ? KPK_DRAW
                            : (r & KPK_UNKNOWN) ? KPK_UNKNOWN
                            : (r & KPK_WIN)     ? KPK_WIN
                                                : KPK_DRAW;  // no legal move: stalemate
                if (v != e) {
                    e = v;
                    changed = true;
                }
            }
    }
    return changed;
}

}  // namespace

void InitKPK() {
    InitEntries();
    for (;;) {
        bool a = WhitePass();
        bool b = BlackPass();
        if (!a && !b) break;
    }
    // Undecided positions are draws; illegal ones read as draws too.
    for (int s = 0; s < 2; s++)
        for (int p = 8; p < 56; p++) {
            if ((p & 7) > 3) continue;
            for (int w = 0; w < 64; w++)
                for (int b = 0; b < 64; b++) {
                    uint8_t& e = kpk_db[KpkIndex(s, p, w, b)];
                    if (e != KPK_WIN) e = KPK_DRAW;
                }
        }
}
