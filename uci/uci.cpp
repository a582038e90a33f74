#include "uci/uci.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/output.h"
#include "base/settings.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/tables.h"
#include "eval/display.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/records.h"
#include "search/tt.h"
#include "uci/input.h"
#include "uci/options.h"

const char* const version = "Tesk 4.0";
int uci_debug = 1;

// ---------------------------------------------------------------------------
// Moves and positions

char* UciMoveText(Move m, char* buf) {
    if (m == 0) {
        strcpy(buf, "0000");
        return buf;
    }
    memcpy(buf, square_name[MoveFrom(m)], 2);
    memcpy(buf + 2, square_name[MoveTo(m)], 2);
    int n = 4;
    if (int p = PromoPiece(m)) buf[n++] = piece_letters[1][p];
    buf[n] = 0;
    return buf;
}

static std::vector<std::string> SplitWords(const char* text) {
    std::vector<std::string> words;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t') p++;
        if (!*p) break;
        const char* q = p;
        while (*q && *q != ' ' && *q != '\t') q++;
        words.emplace_back(p, (size_t)(q - p));
        p = q;
    }
    return words;
}

bool SetGameFen(const char* fen) {
    // A refused text leaves the position as it was; SetPosition says why.
    return SetPosition(&CTD->pos, fen) != -2;
}

// ---------------------------------------------------------------------------
// Commands

bool SearchInProgress() {
    // A search that has ended but is not reported yet still counts: what
    // waits for it must not run ahead of its "bestmove" line.
    return ThreadsAreBusy() > 0 || SearchData.search_mode.load() != 0;
}

bool UciCommandMayRun(const char* line, bool searching) {
    if (!searching) return true;
    const char* word = GetFirstToken(line);
    if (!strcmp(word, "position") || !strcmp(word, "setoption")) return false;
    if (!strcmp(word, "go") || !strcmp(word, "ucinewgame")) {
        // Both end whatever runs before they do anything else.
        SearchData.stop = STOP_CONSOLE;
        return false;
    }
    return true;
}

// Waits until no pool thread works. "stop" spins a little first, since the
// threads notice the stop flag within microseconds; then it sleeps 1 ms at a
// time like every other wait.
static void WaitUntilIdle(bool spin_first) {
    int spins = spin_first ? 20000 : 0;
    while (ThreadsAreBusy()) {
        if (spins > 0) {
            spins--;
            SpinLock::Pause();
        } else {
            SleepMs(1);
        }
    }
}

static void UciUci() {
    // Typed in the console while a search runs: its threads read the mode.
    RelaxedStore(PBlock.uci, (uint16_t)1);
    ShowMessageF("id name %s", version);
    ShowMessage("id author Quillon");
    PrintUciOptions();
    ShowMessage("uciok");
}

static void UciIsReady() {
    while (!PBlock.ready) SleepMs(1);
    ShowMessage("readyok");
}

// Finds a keyword in text; returns the text after it, or nullptr.
static const char* After(const char* text, const char* keyword) {
    const char* p = strstr(text, keyword);
    return p ? p + strlen(keyword) : nullptr;
}

static void UciSetOption(const char* args) {
    PBlock.ready = 0;
    std::string name, value;
    const char* n = strstr(args, "name");
    const char* v = strstr(args, "value");
    if (n && (!v || n < v)) {
        const char* ns = n + 4;
        const char* ne = v ? v : ns + strlen(ns);
        while (*ns == ' ' || *ns == '\t') ns++;
        while (ne > ns && (ne[-1] == ' ' || ne[-1] == '\t')) ne--;
        name.assign(ns, (size_t)(ne - ns));
        if (name.size() > MAX_OPTION_NAME) name.resize(MAX_OPTION_NAME);
        if (name.empty()) {
            ShowMessage("info string setoption: expected name <id> [value <x>]");
        } else if (!IsKnownOption(name.c_str())) {
            // Names are case-sensitive; a misspelt one would otherwise be
            // dropped without a word.
            ShowMessageF("info string unknown option %s", name.c_str());
        } else if (v) {
            const char* vs = v + 5;
            while (*vs == ' ' || *vs == '\t') vs++;
            value.assign(vs);
            if (value.size() > MAX_OPTION_VALUE) value.resize(MAX_OPTION_VALUE);
            UCI_SetOption(name.c_str(), value.c_str());
        } else if (IsButtonOption(name.c_str())) {
            // Interfaces press a button with its name alone.
            UCI_SetOption(name.c_str(), "");
        } else {
            ShowMessageF("info string setoption: no value given for %s", name.c_str());
        }
    } else {
        ShowMessage("info string setoption: expected name <id> [value <x>]");
    }
    DefaultPersonality = Personality;
    PBlock.ready = 1;
    Personality.params_changed = 1;
}

static void UciNewGame() {
    PBlock.ready = 0;
    SearchData.stop = STOP_CONSOLE;
    WaitUntilIdle(false);
    SearchData.limit_kind = 0;
    SearchData.increment = 0.0;
    SearchData.move_time = 60.0;
    CTD->game_ply = 0;
    SearchData.wtime = SearchData.btime = 60.0;
    HashClear();
    PBlock.ready = 1;
    SearchData.hash_age = 0;
}

static void UciPosition(const char* args) {
    std::string text(args);
    size_t moves_at = text.find("moves");
    std::string head = text.substr(0, moves_at);
    const char* fen;
    std::string fen_text;
    if (head.find("startpos") != std::string::npos) {
        fen = START_FEN;
    } else {
        size_t f = head.find("fen");
        if (f == std::string::npos) {
            ShowMessage("info string position: startpos or fen expected");
            return;
        }
        fen_text = head.substr(f + 3);
        fen = fen_text.c_str();
    }
    if (!SetGameFen(fen)) return;

    ThreadRecord* g = CTD;
    if (moves_at != std::string::npos) {
        std::vector<std::string> moves = SplitWords(text.c_str() + moves_at + 5);
        for (const std::string& word : moves) {
            // Some interfaces write the promotion piece in upper case (a7a8Q).
            std::string move_text = word;
            if (move_text.size() == 5 && strchr("QRBN", move_text[4]))
                move_text[4] = (char)tolower((unsigned char)move_text[4]);
            if (g->game_ply >= MAX_GAME_PLY) {
                ShowMessageF("info string position: the game is longer than %d plies, moves from %s on ignored",
                             (int)MAX_GAME_PLY, word.c_str());
                break;
            }
            Move legal[MAX_LEGAL_MOVES];
            int n = GenerateLegalMoves(&g->pos, legal);
            Move found = 0;
            for (int i = 0; i < n && !found; i++) {
                char buf[8];
                if (move_text == UciMoveText(legal[i], buf)) found = legal[i];
            }
            if (!found) {
                ShowMessageF("info string position: illegal move %s, the moves from it on are ignored", word.c_str());
                break;
            }
            MakeMove(&g->pos, found);
            g->ply = 1;
        }
    }
    g->ply = 1;
    g->undo[g->game_ply].move = 0;
}

// The number after a "go" keyword, or nullptr when the line ends there.
static const char* GoValue(const char* args, const char* keyword) {
    const char* p = After(args, keyword);
    if (!p) return nullptr;
    const char* v = GetFirstToken(p);
    if (!*v) {
        ShowMessageF("info string go: %s needs a value", keyword);
        return nullptr;
    }
    return v;
}

// The depth and node limits every "go" starts from: none, unless the command
// line set them ("-d", "-n") for the whole run.
static uint8_t go_depth_limit = 66;
static uint64_t go_node_limit = 0;

void KeepCommandLineLimits() {
    // As for "go depth": a search answers with a move, so at least one iteration.
    go_depth_limit = SearchData.depth_limit < 1 ? 1 : SearchData.depth_limit;
    go_node_limit = SearchData.node_limit;
}

static void UciGo(const char* args) {
    SearchDataRecord& sd = SearchData;
    PBlock.ready = 0;
    sd.stop = STOP_CONSOLE;
    // Each "go" is complete in itself: a limit it does not name is not in
    // force, whatever an earlier "go" asked for. The clock or "movetime"
    // decide.
    sd.limit_kind = 0;
    sd.infinite = 0;
    sd.depth_limit = go_depth_limit;
    sd.node_limit = go_node_limit;
    sd.increment = 0.0;
    const char* v;
    if ((v = GoValue(args, "wtime"))) sd.wtime = atof(v) < 0 ? 0.0 : atof(v) * 0.001;
    if ((v = GoValue(args, "btime"))) sd.btime = atof(v) < 0 ? 0.0 : atof(v) * 0.001;
    if ((v = GoValue(args, "winc")) && CTD->pos.side == WHITE) sd.increment = atof(v) < 0 ? 0.0 : atof(v) * 0.001;
    if ((v = GoValue(args, "binc")) && CTD->pos.side == BLACK) sd.increment = atof(v) < 0 ? 0.0 : atof(v) * 0.001;
    if ((v = GoValue(args, "movestogo"))) {
        long n = strtol(v, nullptr, 10);
        sd.limit_kind = 40;
        sd.movestogo = (int16_t)(n < 0 ? 0 : n > 32767 ? 32767 : n);
    }
    if ((v = GoValue(args, "depth"))) {
        long d = strtol(v, nullptr, 10);
        sd.limit_kind = 1;
        // Depth 0 would only score the root and name no move: the smallest
        // search that answers with a move is one iteration.
        sd.depth_limit = (uint8_t)(d < 1 ? 1 : d > 66 ? 66 : d);
        sd.move_time = 1e7;
    }
    if ((v = GoValue(args, "nodes"))) {
        long long n = strtoll(v, nullptr, 10);
        // A node limit of 0 would mean none: with the move time of a node
        // search the search would never end. The smallest search is 1 node.
        if (n < 1) n = 1;
        if (n > 1000000000000000000LL) n = 1000000000000000000LL;
        int r = rand() % 80;
        // Computed in 128 bits: no node count can overflow the jitter.
        __int128 jitter = (__int128)n * (40 - r) / 1000;
        sd.limit_kind = 1;
        sd.node_limit = (uint64_t)(n + (long long)jitter);
        sd.move_time = 1e7;
    }
    if ((v = GoValue(args, "movetime"))) {
        sd.limit_kind = 1;
        sd.increment = 0.0;
        sd.move_time = atof(v) < 0 ? 0.0 : atof(v) * 0.001;
    }
    if (strstr(args, "infinite")) {
        sd.increment = 0.0;
        sd.node_limit = 0;
        sd.depth_limit = 66;
        sd.limit_kind = 1;
        sd.move_time = 1e7;
        sd.infinite = 1;
    }
    sd.request = strstr(args, "ponder") ? 2 : 1;
    PBlock.ready = 1;
}

void StopSearch() {
    if (SearchData.search_mode) SearchData.search_mode = 1;
    SearchData.stop = STOP_NORMAL;
    PBlock.ready = 0;
    WaitUntilIdle(true);
    PBlock.ready = 1;
}

void UciCommand(const char* line_in) {
    std::string line(line_in);
    size_t lf = line.find('\n');
    if (lf != std::string::npos) line.resize(lf);
    if (line.empty()) return;
    if (uci_debug) LogMessageF("CMD: %s", line.c_str());

    const char* text = line.c_str();
    std::string word = GetFirstToken(text);
    // The argument text: what follows the command word and one separator.
    const char* args = strstr(text, word.c_str()) + word.size();
    if (*args) args++;

    if (word == "uci")
        UciUci();
    else if (word == "isready")
        UciIsReady();
    else if (word == "setoption")
        UciSetOption(args);
    else if (word == "debug")
        uci_debug = 1;
    else if (word == "_show") {
        ShowSearchParams();
        ShowEvalParams();
    } else if (word == "ucinewgame")
        UciNewGame();
    else if (word == "position")
        UciPosition(args);
    else if (word == "go")
        UciGo(args);
    else if (word == "ponderhit") {
        uint8_t two = 2;
        SearchData.search_mode.compare_exchange_strong(two, 1);
    } else if (word == "stop")
        StopSearch();
    else if (word == "quit") {
        SearchData.stop = STOP_CONSOLE;
        PBlock.quit = 1;
    }
}
