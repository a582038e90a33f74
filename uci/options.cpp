#include "uci/options.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tablebase/tbcore.h"
#include "uci/calibrate.h"
#include "uci/config.h"

namespace {

enum OptionKind { OPT_STRING, OPT_SPIN, OPT_BUTTON, OPT_CHECK, OPT_PAIR, OPT_ELO };

// One option: its kind, where its value lives and its ranges. `word` is the
// word number in the settings record (for strings: the field's first word).
struct OptionDef {
    const char* name;
    OptionKind kind;
    int word;
    int print_min, print_max;  // range of the "uci" line (spins)
    int set_min, set_max;      // range the setter clamps to
    bool listed;               // printed by "uci"
    bool settable;             // changed by the setter
};

enum : int { W_HASH = 1, W_THREADS = 2, W_CONFIG = 12, W_BOOK_FILE = 84, W_SYZYGY_PATH = 156 };

const OptionDef options[] = {
    {"ConfigFilePath", OPT_STRING, W_CONFIG, 0, 0, 0, 0, true, true},
    {"Hash", OPT_SPIN, W_HASH, 0, 16384, 0, 16384, true, true},
    {"Threads", OPT_SPIN, W_THREADS, 1, 128, 1, 128, true, true},
    {"Clear_Hash", OPT_BUTTON, -1, 0, 0, 0, 0, true, true},
    {"OwnBook", OPT_CHECK, 9, 0, 0, 0, 0, true, true},
    {"OwnBook_File", OPT_STRING, W_BOOK_FILE, 0, 0, 0, 0, true, true},
    {"OwnBook_Depth", OPT_SPIN, 11, 0, 60, 0, 60, true, true},
    {"OwnBook_Variety", OPT_SPIN, 10, 0, 100, 0, 100, true, true},
    {"SyzygyPath", OPT_STRING, W_SYZYGY_PATH, 0, 0, 0, 0, true, true},
    {"SyzygyProbeDepth5", OPT_SPIN, 228, -5, 100, -5, 100, true, true},
    {"SyzygyProbeDepth6", OPT_SPIN, 229, -5, 100, -5, 100, true, true},
    {"Log", OPT_CHECK, 8, 0, 0, 0, 0, true, true},
    {"Ponder", OPT_CHECK, 4, 0, 0, 0, 0, true, true},
    {"MultiPV", OPT_SPIN, 5, 1, 255, 1, 255, true, true},
    {"MoveOverhead", OPT_SPIN, 3, 0, 5000, 0, 5000, true, true},
    {"UCI_LimitStrength", OPT_CHECK, 6, 0, 0, 0, 0, true, true},
    {"UCI_Elo", OPT_ELO, 7, 0, 0, 1500, 0, true, true},
    {"Contempt", OPT_SPIN, 230, -150, 150, -150, 150, true, true},
    {"Selectivity", OPT_SPIN, 233, 0, 200, 0, 200, true, true},
    {"Mtl_Pawn", OPT_PAIR, W_PAWN_VALUE, 0, 0, 20, 2000, true, true},
    {"Mtl_Knight", OPT_PAIR, W_KNIGHT_VALUE, 0, 0, 20, 2000, true, true},
    {"Mtl_Bishop", OPT_PAIR, W_BISHOP_VALUE, 0, 0, 20, 2000, true, true},
    {"Mtl_Rook", OPT_PAIR, W_ROOK_VALUE, 0, 0, 20, 2000, true, true},
    {"Mtl_Queen", OPT_PAIR, W_QUEEN_VALUE, 0, 0, 20, 2000, true, true},
    {"Mtl_BishopPair", OPT_PAIR, W_BISHOP_PAIR, 0, 0, 0, 100, true, true},
    {"PST_Pawn", OPT_PAIR, W_PCT_PST_PAWN, 0, 0, 0, 0, true, false},
    {"PST_Knight", OPT_PAIR, W_PCT_PST_KNIGHT, 0, 0, 0, 200, true, true},
    {"PST_Bishop", OPT_PAIR, W_PCT_PST_BISHOP, 0, 0, 0, 200, true, true},
    {"PST_Rook", OPT_PAIR, W_PCT_PST_ROOK, 0, 0, 0, 200, true, true},
    {"PST_Queen", OPT_PAIR, W_PCT_PST_QUEEN, 0, 0, 0, 200, true, true},
    {"PST_King", OPT_PAIR, W_PCT_PST_KING, 0, 0, 0, 200, true, true},
    {"Mobility_Knight", OPT_PAIR, W_PCT_MOB_KNIGHT, 0, 0, 0, 200, true, true},
    {"Mobility_Bishop", OPT_PAIR, W_PCT_MOB_BISHOP, 0, 0, 0, 200, true, true},
    {"Mobility_Rook", OPT_PAIR, W_PCT_MOB_ROOK, 0, 0, 0, 200, true, true},
    {"Mobility_Queen", OPT_PAIR, W_PCT_MOB_QUEEN, 0, 0, 0, 200, true, true},
    {"Pawn_Structure", OPT_PAIR, W_PCT_PAWN_STRUCTURE, 0, 0, 0, 200, true, true},
    {"Passed_Pawns", OPT_PAIR, W_PCT_PASSED_PAWNS, 0, 0, 0, 200, true, true},
    {"King_Safety", OPT_PAIR, W_PCT_KING_SAFETY, 0, 0, 0, 200, true, true},
    {"Threats", OPT_PAIR, W_PCT_THREATS, 0, 0, 0, 200, true, true},
    {"Awareness", OPT_PAIR, W_PCT_AWARENESS, 0, 0, 0, 200, false, true},
    {"tune", OPT_PAIR, W_PCT_TUNE, 0, 0, 0, 200, false, true},
};

// Formats one line into 256 bytes and prints it.
void PrintLine(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void PrintLine(const char* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    ShowMessage(buf);
}

// An integer read like atoi, but without overflow: out-of-range numbers
// saturate.
long long ReadNumber(const char* text) { return strtoll(text, nullptr, 10); }

int Clamp(long long v, int min, int max) {
    if (v < min) v = min;
    if (v > max) v = max;
    return (int)v;
}

char* TextField(SettingsRecord& r, int word) { return reinterpret_cast<char*>(Words(r) + word); }

const OptionDef* FindOption(const char* name) {
    for (const OptionDef& o : options)
        if (!strcmp(o.name, name)) return &o;
    return nullptr;
}

void SetStringOption(const OptionDef& o, const char* value) {
    char* field = TextField(Personality, o.word);
    // Cut to the field: at most 143 characters and the terminator.
    SetTextField(field, SETTING_TEXT_LEN, value);
    PrintLine("info string %s set to '%s'", o.name, field);
    if (o.word == W_CONFIG) {
        LoadConfigFile();
    } else if (o.word == W_SYZYGY_PATH) {
        init_tablebases(field);
    }
}

void SetHash(const OptionDef& o, const char* value) {
    int mb = SetOptionInt(o.name, value, o.set_min, o.set_max);
    Personality.Hash = (int16_t)mb;
    // The table takes the new size at once, before the next "readyok" and
    // never on a search's clock ("setoption" waits for a running search to
    // end). Before start-up has made the first table, or should a search
    // still run, the next search start does it.
    if (!hashtable || ThreadsAreBusy()) return;
    if (!HashResize(mb)) Personality.Hash = SearchData.hash_mb;
}

// A pool of at least one thread: without one no search could answer a "go".
void SetThreads(const OptionDef& o, const char* value) {
    int n = SetOptionInt(o.name, value, o.set_min, o.set_max);
    if (n == (int)SearchData.threads) return;
    KillThreadPool(SearchData.threads);
    SearchData.threads = (uint8_t)n;
    Personality.Threads = (int16_t)n;
    if (CreateThreadPool(n) != 0) {
        ShowMessage("error!");
        exit(1);
    }
}

void SetLog(const char* value) {
    if (CheckValue(value)) {
        Personality.Log = 1;
        if (!fdlog && !OpenLogFile()) Personality.Log = 0;
        PrintLine("info string Log set to %d", (int)Personality.Log);
    } else {
        // Reported before the copies stop, so the log ends with this line.
        PrintLine("info string Log set to %d", 0);
        Personality.Log = 0;
    }
}

void SetElo(const char* name, const char* value) {
    int top = (int)SearchData.max_elo;
    int e = SetOptionInt(name, value, 1500, top);
    if (e < 1 || e >= top - 10) {
        // Full strength.
        SearchData.target_nps = SearchData.calibration_nps > 0 ? SearchData.calibration_nps : 1e9;
        Personality.UCI_LimitStrength = 0;
        Personality.UCI_Elo = (int16_t)top;
    } else {
        int t = e < 1500 ? 1500 : e;
        SearchData.target_nps = SpeedForElo(t);
        Personality.UCI_Elo = (int16_t)t;
    }
    PrintLine("info string target nps = %.0f", SearchData.target_nps.load());
}

void SetLimitStrength(const char* value) {
    int on = CheckValue(value) ? 1 : 0;
    Personality.UCI_LimitStrength = (int16_t)on;
    PrintLine("info string UCI_LimitStrength set to %d", on);
    // Switching the limit back on takes the speed of the Elo in force.
    int elo = Personality.UCI_Elo;
    if (on && elo >= 1 && elo < (int)SearchData.max_elo - 10) SearchData.target_nps = SpeedForElo(elo);
}

}  // namespace

bool CheckValue(const char* value) { return strstr(value, "true") != nullptr; }

bool IsKnownOption(const char* name) { return FindOption(name) != nullptr; }

bool IsButtonOption(const char* name) {
    const OptionDef* o = FindOption(name);
    return o && o->kind == OPT_BUTTON;
}

int SetOptionInt(const char* name, const char* value, int min, int max) {
    // A range whose top lies below its bottom gives the top (the Elo range
    // before the speed is known).
    int n = Clamp(ReadNumber(value), min, max);
    PrintLine("info string %s set to %d", name, n);
    return n;
}

void SetOptionIntPair(int16_t* pair, const char* name, const char* value, int min, int max) {
    const char* comma = strchr(value, ',');
    // First number: the text before the comma (all of it without one).
    const char* first = value;
    while (*first == ' ' || *first == '\t') first++;
    bool has_first = comma ? first < comma : *first != 0;
    if (has_first) pair[0] = (int16_t)Clamp(ReadNumber(first), -32768, 32767);
    if (comma) {
        // Second number: after the comma, up to a blank or the end.
        const char* second = comma + 1;
        if (*second && *second != ' ' && *second != '\t' && *second != '\r' && *second != '\n')
            pair[1] = (int16_t)Clamp(ReadNumber(second), -32768, 32767);
    }
    pair[0] = (int16_t)Clamp(pair[0], min, max);
    pair[1] = (int16_t)Clamp(pair[1], min, max);
    PrintLine("info string %s set to %d,%d", name, (int)pair[0], (int)pair[1]);
}

void PrintOptionCheck(const char* name, int value) {
    PrintLine("option name %s type check default %s", name, value ? "true" : "false");
}

void PrintOptionIntPair(const char* name, const int16_t* pair) {
    PrintLine("option name %s type string default %d,%d", name, (int)pair[0], (int)pair[1]);
}

void PrintUciOptions() {
    SettingsRecord& d = DefaultPersonality;
    int16_t* w = Words(d);
    for (const OptionDef& o : options) {
        if (!o.listed) continue;
        switch (o.kind) {
        case OPT_STRING:
            PrintLine("option name %s type string default %s", o.name, TextField(d, o.word));
            break;
        case OPT_SPIN:
            PrintLine("option name %s type spin default %d min %d max %d", o.name, (int)w[o.word], o.print_min,
                      o.print_max);
            break;
        case OPT_ELO:
            // The Elo in force: after the speed calibration that is the top
            // of the range (full strength). An interface that echoes the
            // listed default back must not weaken the engine by it.
            PrintLine("option name %s type spin default %d min %d max %d", o.name, (int)Personality.UCI_Elo, 0,
                      (int)SearchData.max_elo);
            break;
        case OPT_BUTTON:
            PrintLine("option name %s type button", o.name);
            break;
        case OPT_CHECK:
            PrintOptionCheck(o.name, w[o.word]);
            break;
        case OPT_PAIR:
            PrintOptionIntPair(o.name, &w[o.word]);
            break;
        }
    }
}

void UCI_SetOption(const char* name, const char* value) {
    const OptionDef* o = FindOption(name);
    if (!o || !o->settable) return;
    int16_t* w = Words(Personality);
    switch (o->kind) {
    case OPT_STRING:
        SetStringOption(*o, value);
        break;
    case OPT_SPIN:
        if (o->word == W_THREADS)
            SetThreads(*o, value);
        else if (o->word == W_HASH)
            SetHash(*o, value);
        else
            w[o->word] = (int16_t)SetOptionInt(o->name, value, o->set_min, o->set_max);
        break;
    case OPT_BUTTON:
        HashClear();
        PrintLine("info string Hash table cleared");
        break;
    case OPT_CHECK:
        if (o->word == 8) {
            SetLog(value);
        } else if (o->word == 6) {
            SetLimitStrength(value);
        } else {
            w[o->word] = CheckValue(value) ? 1 : 0;
            PrintLine("info string %s set to %d", o->name, (int)w[o->word]);
        }
        break;
    case OPT_PAIR:
        SetOptionIntPair(&w[o->word], o->name, value, o->set_min, o->set_max);
        break;
    case OPT_ELO:
        SetElo(o->name, value);
        break;
    }
}
