#include "uci/startup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "board/tables.h"
#include "book/mkbook.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tablebase/tbcore.h"
#include "tools/bench.h"
#include "tools/epd.h"
#include "tools/pgnscan.h"
#include "tools/registry.h"
#include "tools/selfplay.h"
#include "tools/tuner.h"
#include "uci/calibrate.h"
#include "uci/config.h"
#include "uci/loop.h"
#include "uci/uci.h"

int32_t profile = 0;
static bool tool_unavailable = false;

void ReportToolUnavailable(const char* tool) {
    ShowMessageF("info string %s is not available in this build", tool);
    tool_unavailable = true;
}

bool ToolWasUnavailable() { return tool_unavailable; }

// ---------------------------------------------------------------------------
// Command line

namespace {

// The switches in the order in which every word is compared with them.
enum SwitchId {
    SW_UCI, SW_CONSOLE, SW_LOG, SW_NOISE, SW_QUIET, SW_CFG, SW_DEPTH, SW_TIME, SW_NODES, SW_NPS, SW_HASH,
    SW_THREADS, SW_BOOK, SW_TBPATH, SW_TBX, SW_ANEPD, SW_SCAN_PGN, SW_MATCH, SW_BENCH, SW_BENCH2, SW_PBENCH,
    SW_MKCONFIG, SW_MKBOOK, SW_MKTUNE, SW_TUNE, SW_TUNE4
};

struct Switch {
    const char* word;
    SwitchId id;
    bool takes_argument;
};

const Switch switches[] = {
    {"-uci", SW_UCI, false},       {"-c", SW_CONSOLE, false},       {"-log", SW_LOG, false},
    {"-noise", SW_NOISE, true},    {"-quiet", SW_QUIET, false},     {"-cfg", SW_CFG, true},
    {"-d", SW_DEPTH, true},        {"-t", SW_TIME, true},           {"-n", SW_NODES, true},
    {"-nps", SW_NPS, true},        {"-hash", SW_HASH, true},        {"-threads", SW_THREADS, true},
    {"-book", SW_BOOK, true},      {"-tbpath", SW_TBPATH, true},    {"-tbx", SW_TBX, false},
    {"-anepd", SW_ANEPD, true},    {"-scan_pgn", SW_SCAN_PGN, true}, {"-match", SW_MATCH, true},
    {"-bench", SW_BENCH, false},   {"-bench2", SW_BENCH2, false},   {"-pbench", SW_PBENCH, false},
    {"-mkconfig", SW_MKCONFIG, false}, {"-mkbook", SW_MKBOOK, true}, {"-mktune", SW_MKTUNE, true},
    {"-tune", SW_TUNE, true},      {"-tune4", SW_TUNE4, false},
};

bool Matches(const Switch& s, const char* word) {
    // Any word that begins with "-scan_pgn" counts as that switch; a file
    // name that only holds it is no switch.
    if (s.id == SW_SCAN_PGN) return !strncmp(word, "-scan_pgn", 9);
    return !strcmp(s.word, word);
}

// The scan mode that a "-scan_pgn" word names: 1 to 4, or 0 for none.
int ScanKind(const char* word) {
    if (!strncmp(word, "-scan_pgn", 9) && word[9] >= '1' && word[9] <= '4' && word[10] == 0) return word[9] - '0';
    return 0;
}

long long Clamped(const char* text, long long min, long long max) {
    long long v = strtoll(text, nullptr, 10);
    return v < min ? min : v > max ? max : v;
}

void ApplySwitch(SwitchId id, const char* word, const char* arg, int* mode) {
    SearchDataRecord& sd = SearchData;
    SettingsRecord& p = Personality;
    switch (id) {
    case SW_UCI: PBlock.uci = 1; break;
    case SW_CONSOLE: PBlock.uci = 0; break;
    case SW_LOG: p.Log = 1; break;
    case SW_NOISE: PBlock.noise = atof(arg); break;
    case SW_QUIET:
        p.Log = 0;
        PBlock.noise = 9999.0;
        break;
    case SW_CFG: SetTextField(p.ConfigFilePath, SETTING_TEXT_LEN, arg); break;
    case SW_DEPTH:
        sd.depth_limit = (uint8_t)Clamped(arg, 0, 66);
        sd.limit_kind = 1;
        sd.move_time = 10000.0;
        break;
    case SW_TIME: {
        double t = atof(arg);
        sd.move_time = t < 0 ? 0.0 : t;
        sd.limit_kind = 1;
        break;
    }
    case SW_NODES:
        sd.node_limit = (uint64_t)Clamped(arg, 0, 1000000000000000000LL);
        sd.limit_kind = 1;
        sd.move_time = 1000.0;
        break;
    case SW_NPS: {
        double x = atof(arg);
        if (!(x >= MIN_MODEL_NPS)) {
            printf("info string -nps: speeds below %.0f nodes per second are raised to it\n", MIN_MODEL_NPS);
            x = MIN_MODEL_NPS;
        }
        sd.target_nps = x;
        p.UCI_LimitStrength = 1;
        // The Elo word holds 16 bits: speeds far beyond any machine give the top.
        double elo = EloOfSpeed(x);
        p.UCI_Elo = (int16_t)(elo < 32767.0 ? (int)elo : 32767);
        printf("Elo= %d\n", (int)p.UCI_Elo);
        fflush(stdout);
        break;
    }
    case SW_HASH: p.Hash = (int16_t)Clamped(arg, 0, 16384); break;
    case SW_THREADS: p.Threads = (int16_t)Clamped(arg, 1, 128); break;
    case SW_BOOK: SetTextField(p.OwnBook_File, SETTING_TEXT_LEN, arg); break;
    case SW_TBPATH: SetTextField(p.SyzygyPath, SETTING_TEXT_LEN, arg); break;
    case SW_TBX: SetTextField(p.SyzygyPath, SETTING_TEXT_LEN, "C:\\Chess\\Syzygy;C:\\Chess\\Syzygy\\6-Piece"); break;
    case SW_ANEPD:
        SetTextField(PBlock.epd_file, TOOL_FILE_LEN, arg);
        *mode = MODE_ANEPD;
        break;
    case SW_SCAN_PGN:
        SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, arg);
        *mode = MODE_SCAN_PGN1 + ScanKind(word) - 1;
        break;
    case SW_MATCH:
        SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, arg);
        *mode = MODE_MATCH;
        break;
    case SW_BENCH: *mode = MODE_BENCH; break;
    case SW_BENCH2: *mode = MODE_BENCH2; break;
    case SW_PBENCH: *mode = MODE_PBENCH; break;
    case SW_MKCONFIG: *mode = MODE_MKCONFIG; break;
    case SW_MKBOOK:
        SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, arg);
        *mode = MODE_MKBOOK;
        break;
    case SW_MKTUNE:
        SetTextField(PBlock.epd_file, TOOL_FILE_LEN, arg);
        *mode = MODE_MKTUNE;
        break;
    case SW_TUNE:
        SetTextField(PBlock.epd_file, TOOL_FILE_LEN, arg);
        *mode = MODE_TUNE;
        break;
    case SW_TUNE4: *mode = MODE_TUNE4; break;
    }
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, int* mode) {
    int i = 1;
    while (i < argc) {
        const char* w = argv[i];
        int next = i + 1;
        // Every switch is tried; an argument taken by one switch is the word
        // that the later switches are compared with.
        for (const Switch& s : switches) {
            if (!Matches(s, w)) continue;
            // A scan that names no mode would start the engine instead,
            // which then waits on its input with the file unread.
            if (s.id == SW_SCAN_PGN && !ScanKind(w)) {
                ShowMessageF("info string switch %s names no scan mode: use -scan_pgn1 to -scan_pgn4", w);
                return false;
            }
            const char* arg = nullptr;
            if (s.takes_argument) {
                if (next >= argc) {
                    ShowMessageF("info string switch %s needs an argument", s.id == SW_SCAN_PGN ? w : s.word);
                    return false;
                }
                arg = argv[next++];
            }
            ApplySwitch(s.id, w, arg, mode);
            if (arg) w = arg;
        }
        i = next;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Modes

// The "-tune" run's EPD file can be read; said when it cannot. The passes
// read the file again and again: a pipe does not serve.
static bool TuningFileReadable() {
    FILE* positions = OpenInputFile(PBlock.epd_file, "r");
    if (!positions) {
        ShowMessageF("cannot open the tuning file %s: %s", PBlock.epd_file, OpenFailure(errno));
        return false;
    }
    fclose(positions);
    return true;
}

// The "-tune" run: the registry's parameters of the king safety and p1..p15
// are tuned against the positions of the EPD file, logging to "tune.log".
// False when the EPD file cannot be read.
static bool RunTuning() {
    PBlock.noise = 1000.0;
    if (nParams < 1) AddParams();
    static const char* const names[] = {"king_safety", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "p8",
                                        "p9", "p10", "p11", "p12", "p13", "p14", "p15"};
    for (const char* n : names) SetFlag(n);
    // Without its positions every pass would only log the same failure.
    if (!TuningFileReadable()) return false;
    fdtune = fopen("tune.log", "w");
    if (!fdtune) {
        ShowMessage("info string cannot open tune.log");
        return true;
    }
    fprintf(fdtune, "tuning file is %s\n\n", PBlock.epd_file);
    SearchData.depth_limit = 0;
    PBlock.noise = 9999.0;
    // This sample, drawn once, names the file's refused lines; the passes'
    // samples keep quiet about them.
    RandPick(PBlock.epd_file, "junk0.epd", 50, true);
    TuneEvalParams();
    fclose(fdtune);
    fdtune = nullptr;
    SetEvalParams();
    return true;
}

// Runs the mode; false when a batch tool could not do its work (its input
// could not be read, or its output not be written).
static bool RunMode(int mode) {
    switch (mode) {
    case MODE_ENGINE:
        Calibrate();
        init_tablebases(Personality.SyzygyPath);
        Loop();
        break;
    case MODE_ANEPD: return Analyze_EPD_File();
    case MODE_MATCH: PBlock.noise = 1000.0; break;
    case MODE_BENCH:
    case MODE_BENCH2: Bench(20); break;
    case MODE_PBENCH:
        profile = 1;
        Bench(10);
        break;
    case MODE_MKBOOK: return PG_CreateBook();
    case MODE_MKCONFIG: break;
    case MODE_MKTUNE: {
        SearchData.depth_limit = 0;
        PBlock.noise = 9999.0;
        bool written = false;
        Process_EPD_File(PBlock.epd_file, 1, &written);
        return written;
    }
    case MODE_TUNE: return RunTuning();
    case MODE_TUNE4:
        PBlock.noise = 1000.0;
        Tune_4();
        break;
    default:
        if (mode >= MODE_SCAN_PGN1 && mode <= MODE_SCAN_PGN4) return Scan_PGN_File(PBlock.pgn_file, mode - 2);
        break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Start-up and shutdown

static bool CreateGameRecord() {
    for (ThreadRecord*& t : ThreadData) t = nullptr;
    ThreadRecord* g = AllocThreadRecord();
    if (!g) return false;
    g->pos.owner = g;
    g->thread_index = 0xFF;
    g->game_ply = 0;
    g->ply = 1;
    g->move_store[0].move = MOVE_END;
    g->stack[0].list = g->stack[0].next = &g->move_store[0];
    g->stack[1].list = g->stack[1].next = &g->move_store[1];
    g->undo[0].move = 0;
    CTD = g;
    return true;
}

static void Shutdown() {
    KillThreadPool(SearchData.threads);
    HashFree();
    FreeThreadRecord(CTD);
    CTD = nullptr;
    CloseLogFile();
}

int TeskMain(int argc, char** argv) {
    IgnoreClosedOutput();
    srand((unsigned)(TimeOfDayMicros() / 1000));
    if (!CreateGameRecord()) {
        ShowMessage("info string cannot allocate the game record");
        return 1;
    }
    InitBoardTables();
    InitKPK();
    InitSearchData();
    InitControlBlock();
    SetDefaultSettings();
    Personality = DefaultPersonality;

    PBlock.uci = 1;
    int mode = MODE_ENGINE;
    if (!ParseCommandLine(argc, argv, &mode)) return 1;
    KeepCommandLineLimits();

    SearchData.threads = (uint8_t)Personality.Threads;
    if (CreateThreadPool(Personality.Threads) != 0) {
        ShowMessage("info string cannot create the search threads");
        return 1;
    }
    SearchData.hash_mb = Personality.Hash;
    if (!HashInitFitting()) {
        ShowMessage("info string cannot allocate the hash table");
        return 1;
    }
    Personality.Hash = SearchData.hash_mb;  // the size that could be had
    if (Personality.Log && !fdlog && !OpenLogFile()) Personality.Log = 0;
    DefaultPersonality = Personality;
    if (Personality.ConfigFilePath[0]) LoadConfigFile();
    SetSearchParams();
    SetEvalParams();
    Personality.params_changed = 0;

    const bool ran = RunMode(mode);
    Shutdown();
    return ran && !ToolWasUnavailable() ? 0 : 1;
}
