#include "tools/epd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/output.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "board/display.h"
#include "board/pgn.h"
#include "board/position.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/info.h"
#include "search/iterate.h"
#include "search/params.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
// The one call up to the protocol floor: commands typed during a run (such as
// "quit") are served between positions and while the pool searches.
#include "uci/input.h"

const char* const UNSOLVED_FILE = "unsolved.epd";

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsOpcodeSeparator(char c) { return c == ' ' || c == '\t' || c == ';' || c == '\r' || c == '\n'; }

std::string Trimmed(const char* b, const char* e) {
    while (b < e && (IsBlank(*b) || *b == '\r' || *b == '\n')) b++;
    while (e > b && (IsBlank(e[-1]) || e[-1] == '\r' || e[-1] == '\n')) e--;
    return std::string(b, (size_t)(e - b));
}

// The words of an opcode value, split at any of the separator characters.
std::vector<std::string> SplitWords(const std::string& text, const char* separators) {
    std::vector<std::string> words;
    std::string w;
    for (char c : text) {
        if (strchr(separators, c)) {
            if (!w.empty()) words.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty()) words.push_back(w);
    return words;
}

// The legal move of the game position that a word names, 0 for none: any
// form a typed move may take, or standard algebraic notation as other
// programs write it (which leaves out a twin piece that is pinned).
Move MoveOfWord(const std::string& word) { return ReadMoveText(&CTD->pos, word.c_str()); }

// Running totals of a suite.
struct SuiteTotals {
    int positions = 0;
    int correct = 0;
    int points = 0;
    int max_points = 0;
    double nodes = 0.0;
    double time = 0.0;
    double depth_sum = 0.0;
    double bf_sum = 0.0;
};

// Searches the game position under the command line's limits: deep searches
// with the pool, shallow ones on the main thread. With poll_input set, typed
// commands are served meanwhile.
void SearchPosition(int position_number, bool poll_input) {
    SearchDataRecord& sd = SearchData;
    if (sd.use_hash) HashClear();
    PrepareNewSearch();
    if (sd.depth_limit > 5 && sd.node_limit - 1 > 99998) {
        StartSearch();
        while (ThreadsAreBusy()) {
            SearchTimecheck();
            if (poll_input) UserInput();
            if (!sd.stop) SleepMs(5);
        }
        // The time checks above run only while the pool searches: the time
        // of the whole search is taken now that it has ended.
        GetElapsedTime();
    } else {
        SearchIterations();
        if (ThreadData[0]) sd.best_score = ThreadData[0]->score.load();
        GetElapsedTime();
        if (position_number % 256 == 255) {
            SearchTimecheck();
            if (poll_input) UserInput();
        }
    }
}

// Judges the search's move against the opcodes; writes the position to the
// unsolved file when there is no answer to judge it by.
void Judge(const EpdRecord& rec, FILE* unsolved, SuiteTotals* t) {
    const SearchDataRecord& sd = SearchData;
    const Move played = sd.pv[1];
    const bool searched = sd.best_depth > 0;
    if (!rec.bm.empty()) {
        // A move written twice ("Nf3 g1f3") is still one correct answer.
        for (const std::string& w : SplitWords(rec.bm, " \t,;\"")) {
            Move m = MoveOfWord(w);
            if (m && m == played) {
                t->correct++;
                break;
            }
        }
    } else if (!rec.am.empty()) {
        Move m = MoveOfWord(rec.am);
        if (m) {
            if (m != played) t->correct++;
        } else if (searched) {
            fprintf(unsolved, "%s\n", rec.fen.c_str());
        }
    } else if (searched) {
        fprintf(unsolved, "%s\n", rec.fen.c_str());
    }

    if (rec.c0.find('=') != std::string::npos) {
        int best = 0;
        bool any = false, scored = false;
        for (const std::string& w : SplitWords(rec.c0, " \t,\"")) {
            size_t eq = w.find('=');
            if (eq == std::string::npos) continue;
            int value = atoi(w.c_str() + eq + 1);
            if (!any || value > best) best = value;
            any = true;
            if (!scored) {
                Move m = MoveOfWord(w.substr(0, eq));
                if (m && m == played) {
                    t->points += value;
                    scored = true;
                }
            }
        }
        t->max_points += best;
    }
}

void PrintTotals(const SuiteTotals& t) {
    const int n = t.positions;
    const double rate = t.nodes / (0.01 + t.time);
    const double avg_nodes = n > 0 ? (double)((uint64_t)t.nodes / (uint64_t)n) : 0.0;
    const double avg_bf = n > 0 ? t.bf_sum / n : 0.0;
    const double avg_depth = n > 0 ? t.depth_sum / n : 0.0;
    ShowMessageF("%d / %d correct best moves", t.correct, n);
    ShowMessageF("total nodes= %0.0f", t.nodes);
    ShowMessageF("total time= %0.2f seconds", t.time);
    ShowMessageF("avg depth= %0.1f", avg_depth);
    ShowMessageF("avg nodes= %0.1f", avg_nodes);
    ShowMessageF("node_rate= %0.0f", rate);
    ShowMessageF("avg bf= %0.2f", avg_bf);
    ShowMessageF("score= %d / %d", t.points, t.max_points);
    ShowMessage("");
}

}  // namespace

int Parse_EPD(const char* line, EpdRecord* rec) {
    *rec = EpdRecord();
    const char* p = line;
    std::string fields[4];
    for (std::string& f : fields) {
        while (IsBlank(*p) || *p == '\r' || *p == '\n') p++;
        const char* b = p;
        while (*p && !IsBlank(*p) && *p != '\r' && *p != '\n') p++;
        if (p == b) return 0;
        f.assign(b, (size_t)(p - b));
    }
    rec->fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];

    struct Opcode {
        const char* name;
        std::string* value;
    };
    const Opcode opcodes[] = {{"bm", &rec->bm}, {"am", &rec->am}, {"id", &rec->id},
                              {"ce", &rec->ce}, {"c0", &rec->c0}, {"c6", &rec->c6}};
    while (*p) {
        while (*p && IsOpcodeSeparator(*p)) p++;
        const char* b = p;
        while (*p && !IsOpcodeSeparator(*p)) p++;
        if (p == b) break;
        const size_t len = (size_t)(p - b);
        for (const Opcode& op : opcodes) {
            if (len != strlen(op.name) || strncmp(b, op.name, len) != 0) continue;
            const char* end = strchr(p, ';');
            if (!end) end = p + strlen(p);
            *op.value = Trimmed(p, end);
            p = *end ? end + 1 : end;
            break;
        }
    }
    return 1;
}

bool Analyze_EPD_File() {
    SearchDataRecord& sd = SearchData;
    const char* file = PBlock.epd_file;
    if (SameFile(file, UNSOLVED_FILE)) {
        ShowMessageF("%s is the file the analysis writes (%s): choose another name for the suite", file,
                     UNSOLVED_FILE);
        return false;
    }
    // Read once from start to end: a pipe serves as well as a file.
    FILE* in = OpenInputFile(file, "r", true);
    if (!in) {
        ShowMessageF("cannot open the test suite %s: %s", file, OpenFailure(errno));
        return false;
    }
    FILE* unsolved = fopen(UNSOLVED_FILE, "w");
    if (!unsolved) {
        fclose(in);
        ShowMessageF("cannot open %s for writing", UNSOLVED_FILE);
        return false;
    }
    // A suite read from standard input itself ("/dev/stdin") leaves it alone:
    // reading commands there would take lines of the suite.
    const bool poll_input = !IsStandardInput(in);
    ShowMessageF("Analyzing %s...", file);
    SetSearchParams();
    SetEvalParams();
    if (sd.depth_limit < 3) sd.use_hash = 0;

    SuiteTotals totals;
    std::string line;
    int line_number = 0;
    bool quit = false;
    while (!quit && ReadFileLine(in, line)) {
        line_number++;
        if (line.size() <= 9 || line[0] == ' ' || line[0] == '#' || line[0] == ';') continue;
        EpdRecord rec;
        if (!Parse_EPD(line.c_str(), &rec)) continue;
        if (SetPosition(&CTD->pos, rec.fen.c_str()) == -2) {
            ShowMessageF("%s line %d skipped: not a legal position", file, line_number);
            continue;
        }
        const int n = ++totals.positions;
        const bool verbose = PBlock.noise != 9999.0;
        if (verbose) {
            ShowMessageF("pos= %d", n);
            ShowMessage(line.c_str());
            ShowBoard(&CTD->pos);
        }

        SearchPosition(n, poll_input);
        if (PBlock.quit) quit = true;

        Collect();
        totals.nodes += (double)sd.nodes;
        totals.time += sd.elapsed;
        totals.depth_sum += sd.best_depth;
        totals.bf_sum += EffectiveBranchingFactor();
        Judge(rec, unsolved, &totals);

        if (verbose) {
            char mv[16];
            const double nodes = (double)sd.nodes, elapsed = sd.elapsed;
            DisplaySearchInfo(0, 1, sd.best_depth, sd.best_score, sd.pv);
            ShowMessageF("move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps", MoveToStr(sd.pv[1], mv),
                         elapsed, (int)sd.best_score, nodes, 0.001 * nodes / (elapsed + 0.001));
            ShowMessage("");
        }
        sd.search_mode = 0;
    }
    PrintTotals(totals);
    fclose(in);
    if (!CloseWrittenFile(unsolved)) {
        ShowMessageF("cannot write %s in full", UNSOLVED_FILE);
        return false;
    }
    return true;
}
