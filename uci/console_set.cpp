// Console settings by name and the board editor.
#include "uci/console_set.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/output.h"
#include "base/settings.h"
#include "board/attacks.h"
#include "board/display.h"
#include "board/makemove.h"
#include "board/tables.h"
#include "eval/params.h"
#include "search/params.h"
#include "search/records.h"
#include "tools/registry.h"
#include "tools/tuner.h"
#include "uci/input.h"

// ---------------------------------------------------------------------------
// "set"

static long Clamp(long v, long lo, long hi) { return v < lo ? lo : v > hi ? hi : v; }

static long Number(const char* text) { return strtol(text, nullptr, 10); }

// Seconds from "300", "5:00" (minutes and seconds) or "2.5".
static double Seconds(const char* text) {
    const char* colon = strchr(text, ':');
    double s = colon ? atof(text) * 60.0 + atof(colon + 1) : atof(text);
    return s > 0 ? s : 0.0;
}

// The settings words reached by name, with the range each may take: the
// margin and count tables of the pruning rules have MARGIN_TABLE_SIZE entries;
// the other depths are thresholds, where 99 switches a rule off.
struct NamedWord {
    const char* name;
    int16_t* word;
    int lo, hi;
};

static const NamedWord named_words[] = {
    {"NMP_depth", &Personality.NMP_depth, 0, 99},
    {"SEP_depth", &Personality.SEP_depth, 0, MARGIN_TABLE_SIZE - 1},
    {"FP_depth", &Personality.FP_depth, 0, MARGIN_TABLE_SIZE - 1},
    {"ProbCut_depth", &Personality.ProbCut_depth, 0, 99},
    {"LMP_depth", &Personality.LMP_depth, 0, MARGIN_TABLE_SIZE - 1},
    {"LMR_depth", &Personality.LMR_depth, 0, 99},
    {"Selectivity", &Personality.Selectivity, 0, 200},
    {"ponder", &Personality.Ponder, 0, 1}};

static const NamedWord* FindWord(const char* name) {
    for (const NamedWord& w : named_words)
        if (!strcmp(w.name, name)) return &w;
    return nullptr;
}

void ConsoleSet(const char* name_in, const char* value, const char* word3, const char* word4) {
    char name[32];
    snprintf(name, sizeof name, "%s", name_in);
    SearchDataRecord& sd = SearchData;

    if (!strcmp(name, "hash")) {
        sd.use_hash = (uint8_t)Clamp(Number(value), 0, 255);
    } else if (!strcmp(name, "noise")) {
        PBlock.noise = atof(value);
    } else if (strstr(name, "multipv")) {
        Personality.MultiPV = (int16_t)Clamp(Number(value), 1, 255);
    } else if (!strcmp(name, "debug")) {
        PBlock.debug = (int16_t)Clamp(Number(value), -32768, 32767);
    } else if (!strcmp(name, "level")) {
        long moves = Clamp(Number(value), 0, 255);
        double time = Seconds(word3);
        double inc = atof(word4);
        if (!(inc > 0)) inc = 0.0;
        sd.increment = inc;
        sd.limit_kind = (uint8_t)moves;
        sd.move_time = sd.wtime = sd.btime = time;
        ShowMessageF("set level to %d moves in %0.2f seconds, inc %0.2f", (int)moves, time, inc);
    } else if (!strcmp(name, "depth")) {
        sd.depth_limit = (uint8_t)Clamp(Number(value), 0, 66);
    } else if (!strcmp(name, "target_nps")) {
        Personality.UCI_LimitStrength = 1;
        sd.target_nps = (double)Clamp(Number(value), 1, 1000000000);
        ShowMessageF("target_nps set to %.0f", sd.target_nps.load());
    } else if (!strcmp(name, "ss")) {
        if (Number(value) == 1) {
            Personality = DefaultPersonality;
            ShowMessage("set default personality");
        } else {
            Personality.NMP_depth = 99;
            Personality.SEP_depth = 0;
            Personality.LMP_depth = 0;
            Personality.LMR_depth = 99;
            ShowMessage("selectivity set to OFF");
        }
    }

    if (const NamedWord* w = FindWord(name)) {
        long v = Number(value);
        *w->word = (int16_t)Clamp(v, w->lo, w->hi);
        if (*w->word != v) ShowMessageF("%s is kept within %d..%d", w->name, w->lo, w->hi);
        ShowMessageF("%s set to %d", w->name, *w->word);
    }
    Personality.params_changed = 1;
}

// ---------------------------------------------------------------------------
// "edit"

static void TakeOff(Position* pos, int sq) {
    int code = pos->board[sq];
    if (!code) return;
    int c = PieceColor(code), t = PieceType(code);
    pos->board[sq] = 0;
    pos->bb[code] &= ~SqBit(sq);
    pos->bb[8 * c] &= ~SqBit(sq);
    pos->material[c] -= msig[t];
    pos->npm[c] = (int16_t)(pos->npm[c] - npv[t]);
}

static void PutOn(Position* pos, int code, int sq) {
    int c = PieceColor(code), t = PieceType(code);
    pos->board[sq] = (uint8_t)code;
    pos->bb[code] |= SqBit(sq);
    pos->bb[8 * c] |= SqBit(sq);
    pos->material[c] += msig[t];
    pos->npm[c] = (int16_t)(pos->npm[c] + npv[t]);
    if (t == KING) pos->king_sq[c] = (uint8_t)sq;
}

void EditLine(Position* pos, const char* line) {
    if (line[0] == '#') {
        ThreadRecord* owner = pos->owner;
        uint8_t side = pos->side;
        memset(pos, 0, sizeof *pos);
        pos->owner = owner;
        pos->side = side;
        pos->castle = 15;
        pos->ep = NO_SQ;
        return;
    }
    const char* p = line;
    while (*p == ' ' || *p == '\t') p++;
    int colour;
    if (*p == 'w')
        colour = WHITE;
    else if (*p == 'b')
        colour = BLACK;
    else {
        ShowMessage("edit: a line starts with w (white), b (black), # (clear) or . (end)");
        return;
    }
    pos->side = (uint8_t)colour;
    while (*p && *p != ' ' && *p != '\t') p++;
    for (;;) {
        while (*p == ' ' || *p == '\t') p++;
        if (!*p) break;
        const char* word = p;
        while (*p && *p != ' ' && *p != '\t') p++;
        size_t len = (size_t)(p - word);
        if (len < 3 || word[1] < 'a' || word[1] > 'h' || word[2] < '1' || word[2] > '8') {
            ShowMessageF("edit: bad square in '%.*s'; the rest of the line is ignored", (int)(len > 32 ? 32 : len),
                         word);
            break;
        }
        int sq = (word[1] - 'a') + 8 * (word[2] - '1');
        TakeOff(pos, sq);
        const char* letters = "pnbrqk";
        const char* l = strchr(letters, tolower((unsigned char)word[0]));
        if (word[0] && l) PutOn(pos, 8 * colour + (int)(l - letters) + 1, sq);
    }
}

std::string FinishEditedPosition(Position* pos) {
    static const char* const names[2] = {"white", "black"};
    // Castling rights need king and rook on their starting squares.
    static const struct { int right, king, rook, kcode, rcode; } need[4] = {
        {1, 4, 7, KING, ROOK}, {2, 4, 0, KING, ROOK}, {4, 60, 63, 8 + KING, 8 + ROOK}, {8, 60, 56, 8 + KING, 8 + ROOK}};
    for (const auto& n : need)
        if (pos->board[n.king] != n.kcode || pos->board[n.rook] != n.rcode) pos->castle &= (uint8_t)~n.right;
    // An en-passant square survives only right behind a pawn that can have
    // made the double step.
    if (pos->ep != NO_SQ) {
        int ep = pos->ep, s = pos->side;
        if ((ep >> 3) != (s == WHITE ? 5 : 2) || pos->board[ep] || pos->board[ep - pawn_dir[s]] != 8 * (s ^ 1) + PAWN)
            pos->ep = NO_SQ;
    }

    char reason[96];
    for (int c = 0; c < 2; c++) {
        int kings = PopCount(pos->bb[8 * c + KING]);
        if (kings != 1) {
            snprintf(reason, sizeof reason, "%s has %s king", names[c], kings ? "more than one" : "no");
            return reason;
        }
        pos->king_sq[c] = (uint8_t)LSB(pos->bb[8 * c + KING]);
        if (PopCount(pos->bb[8 * c]) > 16) {
            snprintf(reason, sizeof reason, "%s has more than sixteen pieces", names[c]);
            return reason;
        }
        if (PopCount(pos->bb[8 * c + PAWN]) > 8) {
            snprintf(reason, sizeof reason, "%s has more than eight pawns", names[c]);
            return reason;
        }
    }
    if ((pos->bb[PAWN] | pos->bb[8 + PAWN]) & (BB_Rank[0] | BB_Rank[7])) return "a pawn stands on the first or last rank";
    int s = pos->side;
    if (SqAtakd(pos, pos->king_sq[s ^ 1], s)) {
        snprintf(reason, sizeof reason, "the side not to move (%s) is in check", names[s ^ 1]);
        return reason;
    }
    pos->key = ComputeKey(pos);
    pos->pawn_key = ComputePawnKey(pos);
    return "";
}

void EditBoard() {
    ShowMessage("\n\n");
    ShowMessage(".                    end edit");
    ShowMessage("#                    clear board");
    ShowMessage("w  Pa2 Pb2 Kc2       white, pieces");
    ShowMessage("b  Pa7 Pb7 Kc7       black, pieces");

    ThreadRecord* g = CTD;
    Position edited = g->pos;
    std::string line;
    while (GetInputLine(line)) {
        if (line.empty()) continue;
        if (line[0] == '.') break;
        EditLine(&edited, line.c_str());
    }
    std::string refused = FinishEditedPosition(&edited);
    if (refused.empty()) {
        edited.owner = g;
        g->pos = edited;
        memset(&g->undo[0], 0, 2 * sizeof(UndoEntry));
        g->game_ply = 0;
        g->ply = 1;
        g->last_move = 0;
    } else {
        ShowMessageF("edit: %s; the previous position is kept", refused.c_str());
    }
    ShowBoard(&g->pos);
}

// ---------------------------------------------------------------------------
// "tune"

// The game record as it was before a sweep: its position and its history
// (the moves made and the line that can still be replayed).
struct GameSnapshot {
    Position pos;
    UndoEntry undo[UNDO_SIZE];
    int16_t game_ply, ply;
    uint16_t last_move;
};

static GameSnapshot* SnapshotGame() {
    static GameSnapshot* snapshot = new (std::nothrow) GameSnapshot;
    if (!snapshot) {
        ShowMessage("not enough memory to keep the game during the sweep: the game position will change");
        return nullptr;
    }
    const ThreadRecord* g = CTD;
    snapshot->pos = g->pos;
    memcpy(snapshot->undo, g->undo, sizeof snapshot->undo);
    snapshot->game_ply = g->game_ply;
    snapshot->ply = g->ply;
    snapshot->last_move = g->last_move;
    return snapshot;
}

static void RestoreGame(const GameSnapshot* s) {
    if (!s) return;
    ThreadRecord* g = CTD;
    g->pos = s->pos;
    g->pos.owner = g;
    memcpy(g->undo, s->undo, sizeof s->undo);
    g->game_ply = s->game_ply;
    g->ply = s->ply;
    g->last_move = s->last_move;
}

// The sweep's lines go straight to standard output, not to the log.
static void Straight(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void Straight(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    WriteStraight(buf);
}

SweepResult SweepParameter(const char* name, int orig, const std::function<double(int)>& error) {
    SweepResult r{orig, 1.0, SWEEP_OPEN_LO, SWEEP_OPEN_HI, false};
    int v = orig, measured = 0;
    for (int pass = 0; pass < SWEEP_PASSES; pass++) {
        const double err = error(v);
        if (PBlock.quit) {
            // The error computation read a "quit" and stopped early: its error
            // covers only part of the sample and every later one would cover
            // a single position. The sweep ends here.
            Straight("the sweep is stopped by quit%s\n", measured ? "" : " before a value was measured");
            r.stopped = true;
            break;
        }
        measured++;
        Straight("%s= %d, err= %0.6f\n", name, v, err);
        const bool better = err < r.best_err;
        if (pass > 0) {
            // A better value moves the bound behind it up to the old best; a
            // worse one bounds the side it lies on.
            if (v > r.best) {
                if (better) r.lo = r.best;
                else r.hi = v;
            } else {
                if (better) r.hi = r.best;
                else r.lo = v;
            }
        }
        if (better) {
            r.best_err = err;
            r.best = v;
        }
        Straight("best= %d, err= %0.6f, min= %d, max= %d\n\n", r.best, r.best_err, r.lo, r.hi);

        const int step = RoundToWord(std::abs(r.best) * 0.12) + 1;
        int next;
        if (r.lo == SWEEP_OPEN_LO) {
            next = r.best - step;
        } else if (r.hi == SWEEP_OPEN_HI) {
            next = r.best + step;
        } else {
            const int bound = r.hi - v < v - r.lo ? r.lo : r.hi;
            next = RoundToWord((r.best + bound) / 2.0);
            if ((r.best <= r.lo + 1 && r.best >= r.hi - 1) || next == r.best) break;
        }
        v = RoundToWord(next);  // a parameter word holds 16 bits
    }
    if (measured) Straight("best= %d, err= %0.6f, min= %d, max= %d\n\n", r.best, r.best_err, r.lo, r.hi);
    return r;
}

void ConsoleTune(const char* name, const char* file, const char* pct) {
    if (!name[0]) return;
    // The sweep polls the input, so a "tune" typed meanwhile arrives here
    // while the sweep runs: a second sweep would rewrite its sample, measure
    // with its trial value in place and put back the wrong game.
    static bool sweeping = false;
    if (sweeping) {
        ShowMessageF("tune %s: refused, a sweep is running", name);
        return;
    }
    sweeping = true;
    if (file[0]) SetTextField(PBlock.epd_file, TOOL_FILE_LEN, file);
    if (!PBlock.epd_file[0]) SetTextField(PBlock.epd_file, TOOL_FILE_LEN, "tune.epd");
    if (pct[0]) {
        const long p = Number(pct);
        PBlock.tune_pct = (uint8_t)Clamp(p, 0, 100);
        if (PBlock.tune_pct != p) ShowMessage("tune: the sample percentage is kept within 0..100");
    }
    Straight("tune file= %s\n", PBlock.epd_file);

    // The sweep searches silently to quiescence only, without the table, and
    // sets the game position to each tuning position in turn: the console's
    // limits, output and game are put back when it ends.
    GameSnapshot* game = SnapshotGame();
    const uint8_t use_hash = SearchData.use_hash, depth_limit = SearchData.depth_limit;
    const double noise = PBlock.noise;
    SearchData.use_hash = 0;
    SearchData.depth_limit = 0;
    PBlock.noise = 9999.0;
    if (flag < 1) AddParams();

    ParamEntry* e = FindParam(name);
    // A sample that cannot be drawn from the file named ends the sweep after
    // its message: an old "junk.epd" must not be measured in its place.
    bool sampled = true;
    if (e && e->param) {
        Straight("\ntuning %s\n", name);
        sampled = RandPick(PBlock.epd_file, "junk.epd", PBlock.tune_pct, true);
    }
    if (e && e->param && sampled) {
        int16_t* word = e->param;
        const int16_t orig = *word;
        const SweepResult r = SweepParameter(name, orig, [word](int v) {
            *word = (int16_t)v;
            return Process_EPD_File("junk.epd", 0);
        });
        *word = orig;
        if (fdtune && !r.stopped) {
            fprintf(fdtune, "%-24s  %4d  %0.5f\n", name, r.best, r.best_err);
            fflush(fdtune);
        }
        SetEvalParams();
    }
    SearchData.use_hash = use_hash;
    SearchData.depth_limit = depth_limit;
    PBlock.noise = noise;
    RestoreGame(game);
    sweeping = false;
    if (sampled) ShowMessage("done!\n");
}
