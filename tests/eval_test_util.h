// Shared set-up for the evaluation tests: the bitbase and the derived tables,
// records with a position, colour-flipped FEN text and random positions.
#pragma once
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "test_util.h"

// Board tables, bitbase and default evaluation tables (the bitbase once).
inline void InitEvalEnvironment() {
    static bool kpk_done = false;
    InitTestEnvironment();
    if (!kpk_done) {
        InitKPK();
        kpk_done = true;
    }
    Personality = DefaultPersonality;
    SetEvalParams();
}

inline ThreadRecord* NewEvalRecord() {
    ThreadRecord* t = NewTestRecord();
    t->pos.owner = t;
    return t;
}

// Evaluates fen in t with the iteration depth and ply given (no trace).
inline int EvalFen(ThreadRecord* t, const char* fen, int ply = 1, int depth = 0) {
    SetTestPosition(t, fen);
    t->depth = (uint8_t)depth;
    t->stack[ply].eval_draw = 0;
    t->stack[ply].eval_extra1 = t->stack[ply].eval_extra2 = 0;
    int side = t->pos.side;
    int in_check = SqAtakd(&t->pos, t->pos.king_sq[side], side ^ 1);
    return Evaluate(t, side, ply, in_check, 0);
}

// The same position with the board turned upside down and the colours swapped.
inline std::string MirrorFen(const std::string& fen) {
    std::vector<std::string> f;
    size_t i = 0;
    while (i < fen.size()) {
        size_t j = fen.find(' ', i);
        if (j == std::string::npos) j = fen.size();
        f.push_back(fen.substr(i, j - i));
        i = j + 1;
    }
    std::vector<std::string> ranks;
    for (size_t a = 0, b; a <= f[0].size(); a = b + 1) {
        b = f[0].find('/', a);
        if (b == std::string::npos) b = f[0].size();
        ranks.push_back(f[0].substr(a, b - a));
    }
    auto swapcase = [](std::string s) {
        for (char& c : s) c = isupper((unsigned char)c) ? (char)tolower(c) : (char)toupper(c);
        return s;
    };
    std::string out;
    for (int r = (int)ranks.size() - 1; r >= 0; r--) out += swapcase(ranks[r]) + (r ? "/" : "");
    out += f.size() > 1 && f[1] == "w" ? " b " : " w ";
    std::string castle = f.size() > 2 ? f[2] : "-";
    if (castle != "-") {
        std::string c2;
        for (char c : std::string("KQkq"))
            if (castle.find(isupper((unsigned char)c) ? (char)tolower(c) : (char)toupper(c)) != std::string::npos)
                c2 += c;
        castle = c2;
    }
    out += castle;
    std::string ep = f.size() > 3 ? f[3] : "-";
    if (ep != "-") ep[1] = ep[1] == '3' ? '6' : '3';
    out += " " + ep;
    return out;
}

// Legal moves of the side to move.
inline std::vector<MoveEntry> LegalMoves(Position* pos) {
    MoveEntry buf[256];
    MoveEntry* end = GenerateCaptures(pos, pos->side, buf, NO_SQ);
    end = GeneratePromotions(pos, pos->side, 1, end);
    end = GenerateQuiets(pos, pos->side, end, NO_SQ);
    std::vector<MoveEntry> out;
    for (MoveEntry* e = buf; e < end; e++)
        if (MoveIsLegal(pos, pos->side, e->move)) out.push_back(*e);
    return out;
}

// FEN texts of positions met on random games from the given starts; captures
// are preferred so that the games reach endgames.
inline std::vector<std::string> RandomPositions(const std::vector<const char*>& starts, int games, int plies,
                                                unsigned seed) {
    std::mt19937 rng(seed);
    ThreadRecord* t = NewEvalRecord();
    std::vector<std::string> out;
    char buf[128];
    for (int g = 0; g < games; g++) {
        SetTestPosition(t, starts[g % starts.size()]);
        for (int p = 0; p < plies; p++) {
            std::vector<MoveEntry> moves = LegalMoves(&t->pos);
            if (moves.empty()) break;
            std::vector<MoveEntry> caps;
            for (auto& m : moves)
                if (m.captured) caps.push_back(m);
            const std::vector<MoveEntry>& pick = (!caps.empty() && rng() % 5 < 2) ? caps : moves;
            MakeMove(&t->pos, pick[rng() % pick.size()].move);
            MakeEPD(&t->pos, buf);
            out.push_back(buf);
            if (PopCount(t->pos.bb[0] | t->pos.bb[8]) <= 3) break;
        }
    }
    FreeThreadRecord(t);
    return out;
}

inline const std::vector<const char*>& StartFens() {
    static const std::vector<const char*> fens = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 8",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "2r3k1/pp3ppp/4p3/3pP3/3P1P2/P1R3P1/1P5P/6K1 w - - 0 1",
        "8/5pk1/6p1/3B4/1b3P2/6P1/5K2/8 w - - 0 1",
        "6k1/5ppp/8/1P6/8/8/5PPP/6K1 w - - 0 1",
        "8/8/1k6/8/2PK4/8/8/8 w - - 0 1",
        "4k3/8/8/8/8/8/4P3/4K2R w K - 0 1",
        "r1b1k2r/ppppqppp/2n2n2/2b1p3/2B1P3/2NP1N2/PPP1QPPP/R1B1K2R w KQkq - 0 1",
        "3q1rk1/5ppp/8/2Q5/8/8/5PPP/3R2K1 b - - 0 1",
    };
    return fens;
}
