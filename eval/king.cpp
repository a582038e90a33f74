// King safety and the king's endgame terms.
#include "base/output.h"
#include "board/display.h"
#include "board/tables.h"
#include "eval/evalterms.h"

namespace {

constexpr Bitboard OWN_HALF[2] = {0x00000000FFFFFFFFULL, 0xFFFFFFFF00000000ULL};
constexpr Bitboard INNER_36 = 0x007E7E7E7E7E7E00ULL;  // files b-g of ranks 2-7
const int kShieldFileWeight[8] = {4, 4, 3, 2, 2, 3, 4, 4};
const int kDefenders[4] = {-24, -18, -12, -6};

Bitboard FileMask(int lo, int hi) {
    Bitboard m = 0;
    for (int f = std::max(lo, 0); f <= std::min(hi, 7); f++) m |= BB_File[f];
    return m;
}

// Shield units of the pawns in front of the king: 3, 2 or 1 per file for a
// pawn on the second, third or fourth rank, read on the files kf-1 .. kf+1.
int ShieldUnits(const EvalWork* w, int c, int kf) {
    Bitboard pawns = w->pos->bb[8 * c + PAWN] & OWN_HALF[c] & ~w->attacks[c ^ 1][PAWN];
    int S = 0;
    for (int f = kf - 1; f <= kf + 1; f++) {
        Bitboard onfile = pawns & BB_File[f];
        if (!onfile) continue;
        Bitboard rank1 = BB_Rank[c == WHITE ? 1 : 6], rank2 = BB_Rank[c == WHITE ? 2 : 5];
        S += (onfile & rank1) ? 3 : (onfile & rank2) ? 2 : 1;
    }
    return S;
}

}  // namespace

void EvalKing(EvalWork* w, int ksq) {
    Position* pos = w->pos;
    const int c = PieceColor(pos->board[ksq]), o = c ^ 1;
    const int t = ksq ^ flip_sq[c], rank = t >> 3;
    const int file = ksq & 7, kf = std::min(std::max(file, 1), 6);

    int op = ScoreOp(PST_king[t]), eg = ScoreEg(PST_king[t]);
    int checks = 0;

    if (w->piece_phase[o] > 2) {
        // Pawn shield.
        int S = 0, shield = 0;
        if (rank <= 3) {
            S = ShieldUnits(w, c, kf);
            shield = kShieldFileWeight[file] * PawnShield[S] * (4 - rank) / 16 - 64;
        }
        // Pawn storm: enemy pawns gone from its own half on the king's files.
        int storm = 0;
        if (std::abs(kf - (pos->king_sq[o] & 7)) > 2) {
            Bitboard enemy = pos->bb[8 * o + PAWN] & OWN_HALF[o];
            for (int f = kf - 1; f <= kf + 1; f++)
                if (!(enemy & BB_File[f])) storm += ScoreOp(pawn_storm);
        }
        // Defenders of the king zone.
        const Bitboard zone = w->king_zone[c];
        int n = PopCount((pos->bb[8 * c + KNIGHT] | pos->bb[8 * c + BISHOP] | pos->bb[8 * c + PAWN]) & zone);
        int defenders = n < 4 ? kDefenders[n] : 0;

        // Safe squares for the attacker and the safe checks.
        const Bitboard Pc = w->attacks[c][PAWN], Nc = w->attacks[c][KNIGHT], Bc = w->attacks[c][BISHOP],
                       Rc = w->attacks[c][ROOK], Qc = w->attacks[c][QUEEN];
        const Bitboard Po = w->attacks[o][PAWN], No = w->attacks[o][KNIGHT], Bo = w->attacks[o][BISHOP],
                       Ro = w->attacks[o][ROOK], Qo = w->attacks[o][QUEEN];
        const Bitboard near = BB_KingRays[ksq];
        Bitboard safe = ~(Pc | Nc | Bc | Rc | Qc) & ~pos->bb[8 * o] & (~near | w->attacked2[o]);
        Bitboard diag = BishopAttacks(ksq, w->occ), line = RookAttacks(ksq, w->occ);
        checks = ((Qo & diag & safe) ? 1 : 0) + ((Qo & line & safe) ? 1 : 0) + PopCount(diag & safe & Bo) +
                 PopCount(BB_KnightRays[ksq] & safe & No) + PopCount(line & safe & Ro);
        w->safe_checks[c] = checks;
        if (Qo & safe & near) w->eval_alert[c] += 900;

        // Attack units.
        const int* ka = w->king_attackers[o];
        int units = 4 * ka[KNIGHT] + 3 * ka[BISHOP] + 4 * ka[ROOK] + 5 * ka[QUEEN] + 4 * checks +
                    4 * (PopCount(zone & Po) + PopCount(zone & No & ~(Pc | Nc | Bc)) +
                         PopCount(zone & Bo & ~(Pc | Nc | Bc)) + PopCount(zone & Ro & ~(Pc | Nc | Bc | Rc)) +
                         PopCount(zone & Qo & ~(Pc | Nc | Bc | Rc | Qc))) -
                    S - (w->side == c ? 1 : 0);

        int k = shield + storm + defenders;
        if (units > 0) k -= KingDanger[std::min(units, 63)];
        if (w->trace) {
            ShowBoard(pos);
            ShowMessageF("sq=%s, KD= %d", square_name[ksq], k);
        }
        op += k;
    }

    if (w->piece_phase[WHITE] + w->piece_phase[BLACK] < 9) {
        // A king boxed in by its own men and the enemy's attacks.
        Bitboard room = BB_KingRays[ksq] & INNER_36;
        if (!(room & ~(w->attacks[o][0] | pos->bb[8 * c]))) eg -= 10;
        // Distance to the nearest pawns, by files.
        Bitboard pawns = pos->bb[PAWN] | pos->bb[8 + PAWN];
        int lo = file - 1, hi = file + 1, p = 8;
        // The band of files widens until it holds a pawn or the whole board.
        while (!(FileMask(lo, hi) & pawns)) {
            eg -= p;
            p += 2;
            lo--, hi++;
            if (lo <= 0 && hi >= 7) break;
        }
    }

    if (!pos->bb[8 * o + QUEEN]) op /= 2;

    ScorePair v = SpAdd(MakeScore(op, eg), SpMul(safe_check, checks));
    AddTerm(w, c, v, PBlock.eval_trace.kings, ksq);
}
