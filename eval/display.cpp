// Evaluation displays: the traced breakdown of the game position and the
// derived tables of the evaluation parameters.
#include "eval/display.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "board/tables.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/iterate.h"
#include "search/records.h"
#include "search/timecontrol.h"

// printf onto the end of a string.
static void Append(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
static void Append(std::string& s, const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) s.append(buf, (size_t)n < sizeof buf ? (size_t)n : sizeof buf - 1);
}

// ---------------------------------------------------------------------------
// The breakdown

static void AppendSquares(std::string& s, const char* head, Bitboard b) {
    if (!b) return;
    s += head;
    for (; b; b = ClearLSB(b)) {
        s += "  ";
        s += square_name[LSB(b)];
    }
    s += '\n';
}

static void AppendLine(std::string& s, const char* head, const int16_t* v) {
    Append(s, "%s%5d    %5d    %5d\n", head, v[WHITE], v[BLACK], v[WHITE] - v[BLACK]);
}

std::string EvalInfoText() {
    const EvalTrace& t = PBlock.eval_trace;
    const Position* pos = &CTD->pos;
    std::string s;
    Append(s, "eval= %d, qscore= %d, stage= %d, draw_adj= %0.2f\n\n", SearchData.root_eval, SearchData.qscore,
           t.stage, t.scale);
    AppendSquares(s, "hung pieces on: ", t.hung);
    AppendSquares(s, "pinned pieces on :", t.pinned);
    AppendSquares(s, "free pawns on :", t.free_pawns);
    s += "           white    black     diff\n";

    // Material imbalance as piece letters: white's extra pieces, then black's.
    std::string more[2];
    static const int types[5] = {QUEEN, ROOK, BISHOP, KNIGHT, PAWN};
    static const char letters[5] = {'Q', 'R', 'B', 'N', 'P'};
    for (int i = 0; i < 5; i++) {
        int d = PopCount(pos->bb[types[i]]) - PopCount(pos->bb[8 + types[i]]);
        if (d > 0) more[0].append((size_t)d, letters[i]);
        if (d < 0) more[1].append((size_t)-d, letters[i]);
    }
    Append(s, "mtl=       %5d    %5d    %5d   (%s :: %s)\n", t.mtl[WHITE], t.mtl[BLACK], t.mtl[WHITE] - t.mtl[BLACK],
           more[0].c_str(), more[1].c_str());
    AppendLine(s, "pos=       ", t.pos);
    AppendLine(s, "pawns=     ", t.pawns);
    AppendLine(s, "knights=   ", t.knights);
    AppendLine(s, "bishops=   ", t.bishops);
    AppendLine(s, "rooks=     ", t.rooks);
    AppendLine(s, "queens=    ", t.queens);
    AppendLine(s, "kings=     ", t.kings);
    AppendLine(s, "passers=   ", t.passers);

    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) {
            int code = pos->board[8 * rank + file];
            s += ' ';
            if (code)
                s += (PieceColor(code) ? "?pnbrqk?" : "?PNBRQK?")[PieceType(code)];
            else
                s += ((file ^ rank) & 1) ? '-' : '+';  // '+' on the squares of a1's colour
        }
        s += "    ";
        for (int file = 0; file < 8; file++) {
            int sq = 8 * rank + file;
            if (pos->board[sq])
                Append(s, " %4d", t.square[sq]);
            else
                s += "    -";
        }
        s += '\n';
    }
    s += pos->side == WHITE ? "white\n" : "black\n";
    return s;
}

void ShowEvalInfo() {
    SearchDataRecord& sd = SearchData;
    ThreadRecord* master = sd.threads ? ThreadData[0] : nullptr;
    if (!master) {
        ShowMessage("the evaluation display needs a search thread (Threads is 0)");
        return;
    }
    // Start from a cleared trace: a root evaluation that gives no static
    // score (side to move in check, dead-drawn material) writes nothing, and
    // nothing of an earlier display may show through.
    EvalTrace& t = PBlock.eval_trace;
    memset(&t, 0, sizeof t);
    t.scale = 1.0;

    // A search of depth 0 on the calling thread: the root evaluation runs
    // with the trace switch. A request that waits keeps waiting; this search
    // is not reported.
    uint8_t depth_limit = sd.depth_limit;
    int16_t debug = PBlock.debug;
    uint8_t request = sd.request;
    sd.depth_limit = 0;
    PBlock.debug = 1;
    sd.request = 0;
    PrepareNewSearch();
    SearchIterations();
    sd.search_mode = 0;
    sd.request = request;
    sd.depth_limit = depth_limit;
    PBlock.debug = debug;

    sd.root_eval = master->root_eval;
    sd.qscore = master->score;
    std::string text = EvalInfoText();
    ShowMessage(text.c_str());
}

// ---------------------------------------------------------------------------
// The derived tables

std::string PSQTableText(const ScorePair* table, const char* name) {
    std::string s;
    for (int half = 0; half < 2; half++) {
        Append(s, "%s\n", name);
        for (int rank = 7; rank >= 0; rank--) {
            for (int file = 0; file < 8; file++) {
                ScorePair v = table[8 * rank + file];
                Append(s, "  %3d ", half ? ScoreEg(v) : ScoreOp(v));
            }
            s += '\n';
        }
        s += '\n';
    }
    return s;
}

void PrintPSQTable(const ScorePair* table, const char* name) { WriteStraight(PSQTableText(table, name).c_str()); }

std::string EvalParamsText() {
    std::string s;
    s += "piece values=";
    for (ScorePair v : {pawn_value, knight_value, bishop_value, rook_value, queen_value})
        Append(s, "  %d/%d", ScoreOp(v), ScoreEg(v));
    s += '\n';
    Append(s, "bishop_pair= %d , %d\n\n", ScoreOp(bishop_pair), ScoreEg(bishop_pair));

    s += "KingDanger[]=";
    for (int i = 0; i < 64; i++) {
        if (i % 10 == 0) Append(s, "\n%2d:  ", i);
        Append(s, "  %3d ", KingDanger[i]);
    }
    s += "\n\n";
    s += "PawnShield[]=";
    for (int i = 0; i <= 22; i++) Append(s, " %d", PawnShield[i]);
    s += "\n\n";

    for (int i = 0; i <= 18; i++)
        Append(s, "%3d  nmob= %3d/%3d  bmob=%3d/%3d  rmob=%3d/%3d  qmob= %3d/%3d\n", i, ScoreOp(knight_mobility[i]),
               ScoreEg(knight_mobility[i]), ScoreOp(bishop_mobility[i]), ScoreEg(bishop_mobility[i]),
               ScoreOp(rook_mobility[i]), ScoreEg(rook_mobility[i]), ScoreOp(queen_mobility[i]),
               ScoreEg(queen_mobility[i]));
    Append(s, "queen_mob[28] = %d/%d\n", ScoreOp(queen_mobility[28]), ScoreEg(queen_mobility[28]));
    for (int rank = 2; rank <= 8; rank++)
        Append(s, "rank=%d,  ppawn= %3d , %3d\n", rank, ppawn1[rank - 1], ppawn2[rank - 1]);

    struct Named {
        const char* name;
        ScorePair v;
    };
    const Named singles[] = {{"pawn_storm", pawn_storm},         {"hung_pawn", hung_pawn},
                             {"hung_piece", hung_piece},         {"attacked_piece", attacked_piece},
                             {"knight_outpost", knight_outpost}, {"bishop_outpost", bishop_outpost}};
    for (const Named& n : singles) Append(s, "%s= %d/%d\n", n.name, ScoreOp(n.v), ScoreEg(n.v));

    s += PSQTableText(PST_pawn, "Pawn");
    s += PSQTableText(PST_knight, "Knight");
    s += PSQTableText(PST_bishop, "Bishop");
    s += PSQTableText(PST_rook, "Rook");
    s += PSQTableText(PST_queen, "Queen");
    s += PSQTableText(PST_king, "King");
    s += PSQTableText(connected_pawn, "Connected Pawn");
    s += PSQTableText(defended_pawn, "Defended Pawn");
    s += "\n\n";
    return s;
}

void ShowEvalParams() { WriteStraight(EvalParamsText().c_str()); }
