// The console command language for games and analysis.
//
// Commands run on the main thread, one per call from the input layer.
// Searches are only requested here; the top-level loop runs and reports them.
// A command that changes the game record or uses the pool's records first
// ends a running search and lets the loop's report of it go out
// (FinishSearch), so that no thread reads the game record while it changes
// and the report belongs to the position that was searched.
#include "uci/console.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/output.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "board/attacks.h"
#include "board/display.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/perft.h"
#include "board/pgn.h"
#include "board/position.h"
#include "board/see.h"
#include "board/tables.h"
#include "book/polyglot.h"
#include "eval/display.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "uci/console_set.h"
#include "uci/input.h"
#include "uci/loop.h"
#include "uci/uci.h"

// ---------------------------------------------------------------------------
// Helpers

void SplitConsoleLine(const char* line, ConsoleWords* words) {
    memset(words, 0, sizeof *words);
    const char* p = line;
    for (int i = 0; i < CONSOLE_WORDS; i++) {
        while (*p == ' ' || *p == '\t') p++;
        if (!*p) break;
        size_t n = 0;
        while (*p && *p != ' ' && *p != '\t') {
            if (n < (size_t)CONSOLE_WORD_LEN) words->w[i][n++] = *p;
            p++;
        }
    }
}

// Moves made on the game record leave its search ply at the root.
static void GameMakeMove(Move m) {
    MakeMove(&CTD->pos, m);
    CTD->ply = 1;
}

static void GameUnmakeMove() {
    UnmakeMove(&CTD->pos);
    CTD->ply = 1;
}

// The position after a move or a take-back: the board, or the evaluation
// breakdown while the debug switch is on.
static void ShowPosition() {
    if (PBlock.debug)
        ShowEvalInfo();
    else
        ShowBoard(&CTD->pos);
}

static void ResetClocks() { SearchData.wtime = SearchData.btime = SearchData.move_time; }

// A private copy of the game (position and history up to the current move)
// for commands that walk through moves without touching the game record.
static ThreadRecord* GameCopy() {
    static ThreadRecord* copy = nullptr;
    if (!copy) copy = AllocThreadRecord();
    if (!copy) {
        ShowMessage("not enough memory for a copy of the game");
        return nullptr;
    }
    const ThreadRecord* g = CTD;
    copy->pos = g->pos;
    copy->pos.owner = copy;
    memcpy(copy->undo, g->undo, sizeof(UndoEntry) * (size_t)(g->game_ply + 1));
    copy->game_ply = g->game_ply;
    copy->ply = 1;
    copy->last_move = g->last_move;
    return copy;
}

// ---------------------------------------------------------------------------
// Typed moves, take-back and replay

// A typed move: any form IsValidMove reads, else standard algebraic
// notation as other programs write it ("Rf5" when the other rook that could
// go there is pinned).
static void TypedMove(const char* text) {
    Move m;
    if (ThreadsAreBusy()) {
        // The game record must not be touched while the pool searches: the
        // first match is made on a copy.
        ThreadRecord* c = GameCopy();
        if (!c || !ReadMoveText(&c->pos, text)) return;
    } else if (!ReadMoveText(&CTD->pos, text)) {
        return;
    }
    FinishSearch();
    // The search's report may have played a move of its own (self-play):
    // the text is matched again against the position as it is now.
    if (!(m = ReadMoveText(&CTD->pos, text))) {
        ShowMessageF("move %s does not fit the position after the engine's move", text);
        return;
    }
    if (!CanAddGameMove(&CTD->pos)) {
        ShowMessageF("the game has reached %d plies: no more moves can be added", (int)MAX_GAME_PLY);
        return;
    }
    ShowMessageF("%d. move %s", CTD->game_ply / 2 + 1, text);
    // A move that leaves the stored continuation ends it.
    bool replayed = CTD->undo[CTD->game_ply].move == m;
    GameMakeMove(m);
    if (!replayed) CTD->undo[CTD->game_ply].move = 0;
    ShowPosition();
}

static void TakeBack() {
    FinishSearch();
    if (CTD->game_ply <= 0) return;
    GameUnmakeMove();
    ShowPosition();
}

// The next move of the stored continuation, when there is one that fits.
static Move NextStoredMove() {
    Move m = CTD->undo[CTD->game_ply].move;
    if (!m) return 0;
    if (!CanAddGameMove(&CTD->pos) || !IsGeneratedLegalMove(&CTD->pos, m)) {
        CTD->undo[CTD->game_ply].move = 0;
        ShowMessage("the stored continuation does not fit the position; it ends here");
        return 0;
    }
    return m;
}

static void Replay() {
    FinishSearch();
    Move m = NextStoredMove();
    if (!m) return;
    char text[16];
    ShowMessageF("%d%s move %s", CTD->game_ply / 2 + 1, CTD->pos.side == WHITE ? "." : "...", MoveToStr(m, text));
    GameMakeMove(m);
    ShowPosition();
}

static void Jump(const char* arg) {
    FinishSearch();
    long n = strtol(arg, nullptr, 10);
    while (CTD->game_ply > 0) GameUnmakeMove();
    while (CTD->game_ply < n) {
        Move m = NextStoredMove();
        if (!m) break;
        GameMakeMove(m);
    }
    ShowBoard(&CTD->pos);
}

// ---------------------------------------------------------------------------
// Positions

static void NewGame() {
    FinishSearch();
    SetPosition(&CTD->pos, START_FEN);
    ShowBoard(&CTD->pos);
    ResetClocks();
}

static void Fen(const char* line) {
    FinishSearch();
    // The position text follows the command word and one separator; a text
    // that is refused leaves the game as it was (SetPosition says why).
    const char* text = line;
    while (*text == ' ' || *text == '\t') text++;
    text += 3;
    if (*text) text++;
    SetPosition(&CTD->pos, text);
    ShowBoard(&CTD->pos);
}

static void GetEpd(const char* id) {
    FinishSearch();
    std::string taken;
    if (FILE* f = OpenInputFile("test.epd", "r")) {
        char search[96];
        snprintf(search, sizeof search, "id \"%.78s\"", id);
        std::string line;
        while (ReadFileLine(f, line, 1022)) {
            if (line.empty() || line[0] == ';' || line[0] == ' ') continue;
            if (line.find(search) != std::string::npos) {
                taken = line;
                break;
            }
        }
        fclose(f);
    } else {
        ShowMessageF("get: cannot open test.epd: %s", OpenFailure(errno));
    }
    ShowMessage(taken.c_str());
    if (taken.size() >= 9) SetPosition(&CTD->pos, taken.c_str());
    ShowBoard(&CTD->pos);
    HashClear();
}

// ---------------------------------------------------------------------------
// Searches

static void Analyse(const char* arg) {
    SearchDataRecord& sd = SearchData;
    // The limits below are read by a running search: it ends first (and is
    // reported), as a new "go" ends the running search in UCI mode.
    FinishSearch();
    sd.move_time = ANALYSIS_MOVE_TIME;
    sd.depth_limit = 66;
    sd.limit_kind = 1;
    long n = strtol(arg, nullptr, 10);
    if (n >= 1 && n <= 65) sd.depth_limit = (uint8_t)n;
    if (sd.use_hash <= 1) HashClear();
    sd.request = 3;
}

static void SelfPlay() {
    selfplay = 1;
    Personality.Ponder = 0;
    SearchData.request = 1;
}

// The principal variation stored in the table, from the game position.
static void ShowTablePv() {
    ThreadRecord* c = GameCopy();
    if (!c) return;
    Move pv[MAX_PLY + 2] = {0};
    // The root of a search has no entry of its own in the table: when the
    // last search was one of this position, its best move starts the line.
    ThreadRecord* master = SearchData.threads ? ThreadData[0] : nullptr;
    if (master && !ThreadsAreBusy() && master->pos.key == c->pos.key) pv[1] = SearchData.pv[1];
    RetrievePV(&c->pos, 1, pv);
    std::string text;
    int made = 0;
    for (int i = 1; i <= 66 && pv[i]; i++) {
        char s[4][16];
        GenMoveStrings(&c->pos, pv[i], s[0], s[1], s[2], s[3]);
        text += s[1];
        text += ' ';
        MakeMove(&c->pos, pv[i]);
        made++;
    }
    WriteStraight(("PV: " + text + "\n\n").c_str());
    ShowBoard(&c->pos);
    while (made-- > 0) UnmakeMove(&c->pos);
}

static void ShowSearchParameters() {
    FinishSearch();
    SetSearchParams();
    ShowSearchParams();
}

// Asked now and then during a perft count: a "." or a "quit" typed meanwhile
// ends it. The "." is used up; "quit" stays queued and ends the engine after
// the count.
static bool PerftInterrupted() {
    ReadWaitingInput();
    return TakeQueuedCommand(".") || FindQueuedCommand("quit");
}

double ConsolePerft(int depth) {
    if (depth < 0) depth = 0;
    if (depth > 20) depth = 20;
    FinishSearch();
    SearchDataRecord& sd = SearchData;
    ThreadRecord* t = sd.threads ? ThreadData[0] : nullptr;
    if (!t) {
        ShowMessage("perft needs a search thread (Threads is 0)");
        return 0;
    }
    // The count is no search: a waiting request keeps waiting, nothing is reported.
    uint8_t request = sd.request;
    sd.request = 0;
    PrepareNewSearch();
    sd.search_mode = 0;
    sd.request = request;
    InitSearchThreads();
    bool complete = true;
    if (depth == 0)
        CountUp(t->nodes);
    else
        complete = PerftUntil(t, t->pos.side, 1, depth, PerftInterrupted);
    GetElapsedTime();
    if (!complete) ShowMessage("perft stopped before the end of the count");
    double elapsed = sd.elapsed;
    double nodes = (double)t->nodes.load(std::memory_order_relaxed);
    ShowMessageF("visited %0.0f nodes in %0.3f seconds, nps= %0.0f", nodes, elapsed, nodes / (elapsed + 0.001));
    return nodes;
}

// Exchange values of the attacked pieces, square by square.
static void ShowSwaps() {
    Position p = CTD->pos;
    const Bitboard occ = p.bb[0] | p.bb[8];
    std::string text;
    for (int sq = 0; sq < 64; sq++) {
        int code = p.board[sq];
        if (!code) continue;
        int attacker = PieceColor(code) ^ 1;
        if (!SqAtakd(&p, sq, attacker)) continue;
        int v = swapoff1(&p, attacker, NO_SQ, sq, occ, 0);
        char line[64];
        snprintf(line, sizeof line, "sq= %s, swap= %4d\n", square_name[sq], v);
        text += line;
    }
    WriteStraight(text.c_str());
}

// The book moves of the game position and the one the book would pick (not
// played).
static void ListBookMoves() {
    const char* file = Personality.OwnBook_File;
    if (!file[0]) {
        ShowMessage("book: no book (OwnBook_File is not set)");
        return;
    }
    FILE* f = OpenInputFile(file, "rb");
    if (!f) {
        ShowMessageF("book: no book: cannot open %s: %s", file, OpenFailure(errno));
        return;
    }
    fclose(f);
    // On a copy: the probe's legality test touches the position for a
    // moment, and a search may be starting from the game record.
    if (ThreadRecord* c = GameCopy()) PG_GetBookMove(&c->pos);
    ShowMessage("");
}

// ---------------------------------------------------------------------------
// PGN games

void WritePgnGame(FILE* f) {
    ThreadRecord* c = GameCopy();
    if (!c) return;
    const int plies = c->game_ply;
    while (c->game_ply > 0) UnmakeMove(&c->pos);
    fputs("[Event \"Unknown\"]\n", f);
    char epd[128], fen[128];
    MakeEPD(&c->pos, epd);
    MakeFEN(&c->pos, fen);
    if (strcmp(epd, START_FEN) != 0 || c->pos.fifty != 0 || FullMoveNumber(&c->pos) != 1) {
        // A game that does not start from the start position names its first position.
        fprintf(f, "[SetUp \"1\"]\n[FEN \"%s\"]\n", fen);
    }
    fputs("\n", f);
    for (int i = 0; i < plies; i++) {
        Move m = c->undo[c->game_ply].move;
        char san[16];
        fputs(SanMove(&c->pos, m, san, true), f);
        fputc(' ', f);
        if ((i + 1) % 11 == 0) fputc('\n', f);
        MakeMove(&c->pos, m);
    }
    fputs("*\n\n", f);
}

static void SaveGame() {
    FILE* f = fopen("tmp.pgn", "a");
    if (!f) {
        ShowMessage("save: cannot open tmp.pgn");
        return;
    }
    WritePgnGame(f);
    fclose(f);
}

namespace {

// One game being loaded: the move text reader and how the load went.
struct PgnLoad {
    PgnReader reader;
    bool failed = false;
    bool full = false;  // the game reached the history limit
};

// One word of move text: move numbers, results and annotation glyphs are
// passed over; a move is made, or the load ends.
bool PgnWord(PgnLoad& r, const char* w) {
    const char* text = PgnMoveText(w);
    if (!text) return true;
    if (!CanAddGameMove(&CTD->pos)) {
        ShowMessageF("the game is longer than %d plies: the rest is not loaded", (int)MAX_GAME_PLY);
        r.full = true;
        return false;
    }
    Move m = ReadMoveText(&CTD->pos, text);
    if (!m) {
        ShowMessageF("can't parse move '%s'", text);
        r.failed = true;
        return false;
    }
    GameMakeMove(m);
    return true;
}

// Feeds characters of move text; false once the load must end.
bool PgnFeed(PgnLoad& r, const char* s, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (PgnReadChar(r.reader, s[i]) == PGN_TOKEN_WORD && !PgnWord(r, r.reader.word.c_str())) return false;
    return true;
}

}  // namespace

void LoadPgnGame(const char* file, const char* which) {
    FinishSearch();
    FILE* f = OpenInputFile(file, "r");
    if (!f) {
        ShowMessageF("load: cannot open %s: %s", file, OpenFailure(errno));
        ResetClocks();
        return;
    }
    // The game record as setting a position changes it, put back when the
    // game names a first position that is refused (no move is made before).
    ThreadRecord* g = CTD;
    const Position old_pos = g->pos;
    const UndoEntry old_undo[2] = {g->undo[0], g->undo[1]};
    const int16_t old_game_ply = g->game_ply, old_ply = g->ply;
    const uint16_t old_last_move = g->last_move;
    SetPosition(&g->pos, START_FEN);

    // The game wanted: a number, the first game, or the game holding a text.
    int wanted = 1;
    const char* text = "";
    if (isdigit((unsigned char)which[0])) {
        long n = strtol(which, nullptr, 10);
        wanted = n >= 1 && n <= 1000 ? (int)n : 1;
    } else if (which[0]) {
        text = which;
        wanted = 0;  // not found yet
    }

    PgnLoad r;
    bool found = wanted > 0;
    int game = 0;  // games are counted from 1; each "[Event " line starts one
    bool moves_seen = false;
    bool line_start = true, skip_line = false, refused = false;
    char buf[1024];
    while (fgets(buf, sizeof buf, f)) {
        size_t n = strlen(buf);
        bool line_end = n > 0 && buf[n - 1] == '\n';
        if (line_start) {
            const char* p = buf;
            while (*p == ' ' || *p == '\t') p++;
            skip_line = false;
            if (!PgnInComment(r.reader)) {
                if (strstr(buf, "[Event ")) {
                    game++;
                    if (wanted > 0 && game > wanted) break;  // the game wanted is over
                } else if (game == 0 && isalnum((unsigned char)*p)) {
                    game = 1;  // move text before any "[Event " tag: a game without tags
                }
                skip_line = PgnClassifyLine(r.reader, buf) != PGN_LINE_MOVES;
            }
        }
        if (!found && strstr(buf, text)) {
            found = true;
            wanted = game;
        }
        if (game == wanted && line_start && skip_line && !moves_seen) {
            // A game from a set-up position names it in a FEN tag (one of
            // the tags of a line).
            std::string name, value;
            for (const char* p = buf; !refused && PgnNextTag(&p, &name, &value);)
                if (name == "FEN" && SetPosition(&g->pos, value.c_str()) == -2) refused = true;
            if (refused) break;
        }
        line_start = line_end;
        if (!found || game != wanted || skip_line) continue;
        moves_seen = true;
        if (!PgnFeed(r, buf, n)) break;
    }
    if (refused) {
        // Its moves belong to a position that cannot be set: the game is
        // not loaded and the game record stays as it was.
        fclose(f);
        g->pos = old_pos;
        g->undo[0] = old_undo[0];
        g->undo[1] = old_undo[1];
        g->game_ply = old_game_ply;
        g->ply = old_ply;
        g->last_move = old_last_move;
        ShowMessageF("load: the FEN tag of game %d in %s is refused; the game is not loaded", game, file);
        ShowBoard(&g->pos);
        ResetClocks();
        return;
    }
    if (!r.failed && !r.full && PgnEndOfText(r.reader) == PGN_TOKEN_WORD) PgnWord(r, r.reader.word.c_str());
    fclose(f);
    if (!found)
        ShowMessageF("load: no game in %s holds %s", file, text);
    else if (!moves_seen && game < wanted)
        ShowMessageF("load: %s has no game %d", file, wanted);
    CTD->undo[CTD->game_ply].move = 0;
    ShowBoard(&CTD->pos);
    ResetClocks();
}

// ---------------------------------------------------------------------------
// The command table

void ConsoleCommand(const char* line) {
    ConsoleWords words;
    SplitConsoleLine(line, &words);
    const char* cmd = words.w[0];
    const char* arg = words.w[1];
    SearchDataRecord& sd = SearchData;

    if (!strcmp(cmd, "new")) {
        NewGame();
    } else if (!strcmp(cmd, "fen")) {
        Fen(line);
    } else if (!strcmp(cmd, "quit")) {
        sd.stop = STOP_CONSOLE;
        PBlock.quit = 1;
    } else if (!strcmp(cmd, "mv")) {
        sd.request = 1;
    } else if (!strcmp(cmd, "go") || !strcmp(cmd, "an")) {
        Analyse(arg);
    } else if (!strcmp(cmd, ".")) {
        sd.stop = STOP_CONSOLE;
    } else if (!strcmp(cmd, "bd")) {
        if (PBlock.debug) FinishSearch();
        ShowPosition();
    } else if (!strcmp(cmd, "self")) {
        SelfPlay();
    } else if (!strcmp(cmd, "get")) {
        GetEpd(arg);
    } else if (!strcmp(cmd, "pv")) {
        ShowTablePv();
    } else if (!strcmp(cmd, "trace")) {
        FinishSearch();
        long d = strtol(arg, nullptr, 10);
        PBlock.trace = (int16_t)(d < 0 ? 0L : d > (long)MAX_PLY ? (long)MAX_PLY : d);
    } else if (!strcmp(cmd, "ev")) {
        FinishSearch();
        ShowEvalInfo();
    } else if (!strcmp(cmd, "sp")) {
        ShowEvalParams();
    } else if (!strcmp(cmd, "lmr")) {
        ShowSearchParameters();
    } else if (!strcmp(cmd, "undo") || !strcmp(cmd, "[")) {
        TakeBack();
    } else if (!strcmp(cmd, "]")) {
        Replay();
    } else if (!strcmp(cmd, "load")) {
        ShowMessageF("loading %s, tag %s\n", words.w[1], words.w[2]);
        LoadPgnGame(words.w[1], words.w[2]);
    } else if (!strcmp(cmd, "save")) {
        SaveGame();
    } else if (!strcmp(cmd, "jump")) {
        Jump(arg);
    } else if (!strcmp(cmd, "edit")) {
        FinishSearch();
        EditBoard();
    } else if (!strcmp(cmd, "book")) {
        ListBookMoves();
    } else if (!strcmp(cmd, "tag")) {
        PBlock.tag = CTD->pos.key;
    } else if (!strcmp(cmd, "tune")) {
        FinishSearch();
        ConsoleTune(words.w[1], words.w[2], words.w[3]);
    } else if (!strcmp(cmd, "perft")) {
        long d = strtol(arg, nullptr, 10);
        ConsolePerft(d < 0 ? 0 : d > 20 ? 20 : (int)d);
    } else if (!strcmp(cmd, "swap")) {
        ShowSwaps();
    } else if (!strcmp(cmd, "set")) {
        FinishSearch();
        ConsoleSet(words.w[1], words.w[2], words.w[3], words.w[4]);
    } else if (!strcmp(cmd, "move")) {
        TypedMove(arg);
    } else {
        TypedMove(cmd);
    }
}
