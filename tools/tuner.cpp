#include "tools/tuner.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/output.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "board/position.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/iterate.h"
#include "search/params.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "tools/epd.h"
#include "tools/registry.h"
#include "uci/input.h"

FILE* fdtune = nullptr;

// Longest line kept by the sampler and by the error function (the rest of a
// longer line is passed over, never read as a line of its own).
enum : int { SAMPLE_LINE_MAX = 3900, EPD_LINE_MAX = 254 };
// Positions whose score is beyond this are left out: the game was decided.
enum : int { DECIDED_SCORE = 900 };
// The error function polls the input after every so many positions.
enum : int { POLL_MASK = 255 };

// A line of a tuning file that holds a position to score: no comment, the
// EPD fields (to rec) and a game result (white's view, to *result). Other
// lines are passed over without a word.
static bool TuningLine(const char* text, EpdRecord* rec, double* result) {
    if (text[0] == ';' || text[0] == '#' || text[0] == ' ') return false;
    if (!Parse_EPD(text, rec)) return false;
    *result = EpdLineResult(text);
    return *result >= 0.0;
}

// Names a line whose position SetPosition refused (its result set).
static void ReportRefusedLine(int set, int line_number, const char* file, const char* text) {
    // Castling rights of a missing king or rook: the position is not the one
    // the game had, so it does not count either.
    ShowMessageF("line %d of %s skipped (%s): %s", line_number, file,
                 set == -2 ? "not a legal position" : "castling rights without their king or rook", text);
}

bool RandPick(const char* src, const char* dst, int pct, bool report) {
    if (SameFile(src, dst)) {
        ShowMessageF("%s is the sample file itself: no sample is drawn from it", src);
        return false;
    }
    FILE* in = OpenInputFile(src, "r");
    if (!in) {
        ShowMessageF("cannot open %s: %s", src, OpenFailure(errno));
        return false;
    }
    FILE* out = fopen(dst, "w");
    if (!out) {
        fclose(in);
        ShowMessageF("cannot write %s", dst);
        return false;
    }
    std::string line;
    int line_number = 0;
    bool usable = false;
    while (ReadFileLine(in, line, SAMPLE_LINE_MAX)) {
        line_number++;
        if (report || !usable) {
            // The line as the error function will read it.
            const std::string head = line.substr(0, EPD_LINE_MAX);
            EpdRecord rec;
            double result;
            Position scratch;
            memset(&scratch, 0, sizeof scratch);
            if (TuningLine(head.c_str(), &rec, &result)) {
                const int set = SetPosition(&scratch, rec.fen.c_str(), !report);
                if (set >= 0) usable = true;
                else if (report) ReportRefusedLine(set, line_number, src, head.c_str());
            }
        }
        if (rand() % 100 < pct) {
            fputs(line.c_str(), out);
            fputc('\n', out);
        }
    }
    fclose(in);
    fclose(out);
    if (report && !usable) ShowMessageF("%s holds no position to tune with (a legal position with a game result)", src);
    return usable;
}

double WinProbability(double s) { return 1.0 / (1.0 + pow(10.0, -s / 400.0)); }

double EpdLineResult(const char* line) {
    const char* c9 = strstr(line, " c9 ");
    if (!c9) return -1.0;
    std::string after(c9 + 4, strnlen(c9 + 4, 255));
    if (after.find("1-0") != std::string::npos) return 1.0;
    if (after.find("0-1") != std::string::npos) return 0.0;
    if (after.find("1/2") != std::string::npos) return 0.5;
    return -1.0;
}

bool KeptForTuningFile(double result, int ce, int c6) {
    if (result == 1.0 && (c6 < -150 || c6 - ce < -50)) return false;
    if (result == 0.0 && (c6 > 150 || c6 - ce > 50)) return false;
    return true;
}

bool CountsForError(double result, int c6) {
    if (result == 0.0 && WinProbability(c6) > 0.7) return false;
    if (result == 1.0 && WinProbability(c6) < 0.3) return false;
    return true;
}

int SearchScore() {
    PrepareNewSearch();
    SearchIterations();
    const int s = ThreadData[0] ? ThreadData[0]->score.load() : 0;
    SearchData.best_score = (int16_t)s;
    return s;
}

double EpdError(const char* file, int create, PositionScorer score, bool* written) {
    if (written) *written = false;
    // The file that "-mktune" filters is read once: a pipe serves as well.
    FILE* in = OpenInputFile(file, "r", create != 0);
    if (!in) {
        if (create) ShowMessageF("cannot open the tuning file %s: %s", file, OpenFailure(errno));
        return 1.0;
    }
    FILE* out = nullptr;
    if (create) {
        if (SameFile(file, "tune_new.epd")) {
            ShowMessage("tune_new.epd cannot be made from itself");
            fclose(in);
            return 1.0;
        }
        ShowMessage("Creating file tune_new.epd");
        out = fopen("tune_new.epd", "w");
        if (!out) {
            ShowMessage("cannot write tune_new.epd");
            fclose(in);
            return 1.0;
        }
    }
    SetSearchParams();
    SetEvalParams();
    SearchData.use_hash = 0;

    double sum = 0.0;
    int n = 0, positions = 0, line_number = 0;
    std::string line;
    EpdRecord rec;
    // The error-only form reads the samples of a run, whose refused lines
    // the sampler has named once in the user's file.
    const bool quiet = !create;
    // Commands are read between positions, but not from the file being read
    // when that is standard input itself ("/dev/stdin").
    const bool poll_input = !IsStandardInput(in);
    while (ReadFileLine(in, line, EPD_LINE_MAX)) {
        line_number++;
        const char* text = line.c_str();
        double result;
        if (!TuningLine(text, &rec, &result)) continue;
        const int ce = atoi(rec.ce.c_str());
        const int c6 = rec.c6.empty() ? ce : atoi(rec.c6.c_str());

        const int set = SetPosition(&CTD->pos, rec.fen.c_str(), quiet);
        if (set < 0) {
            // The lines after a refused position still count.
            if (!quiet) ReportRefusedLine(set, line_number, file, text);
            continue;
        }

        positions++;
        const int s = score();
        if ((positions & POLL_MASK) == POLL_MASK) {
            SearchTimecheck();
            if (poll_input) UserInput();
        }
        const bool quit = PBlock.quit != 0;
        SearchData.search_mode = 0;
        if (std::abs(s) > DECIDED_SCORE) {
            if (quit) break;
            continue;
        }
        if (CTD->pos.side == BLACK) result = 1.0 - result;

        if (out) {
            if (!KeptForTuningFile(result, ce, c6)) {
                if (quit) break;
                continue;
            }
            fputs(text, out);
            fputc('\n', out);
        }
        if (CountsForError(result, c6)) {
            sum += fabs(WinProbability(s) - result);
            n++;
        }
        if (quit) break;
    }
    fclose(in);
    if (out) {
        const bool complete = CloseWrittenFile(out);
        if (!complete) ShowMessage("cannot write tune_new.epd in full");
        if (written) *written = complete;
    }
    return n ? sum / n : 0.0;
}

double Process_EPD_File(const char* file, int create, bool* written) {
    if (written) *written = false;
    if (!ThreadData[0]) {
        ShowMessage("the tuning error needs a search thread (Threads is 0)");
        return 1.0;
    }
    return EpdError(file, create, SearchScore, written);
}

// ---------------------------------------------------------------------------
// The "-tune" passes

int ProbeDistance(double x) {
    const int h = RoundToWord(0.03 * fabs(x) + 1.0);
    return h < 1 ? 1 : h;
}

double GradientStep(double g, double lr, double x) {
    const double scale = fabs(x) + 6.0;
    const double limit = 0.025 * scale;
    double step = -g * lr * scale;
    if (step > limit) step = limit;
    if (step < -limit) step = -limit;
    return step;
}

double NextLearningRate(double lr, double average, double max) {
    const double r = 100.0 * (0.2 * max + 0.8 * average);
    if (r < 0.75) return lr * 1.05;
    if (r > 1.25) return lr * 0.95;
    return lr;
}

// A line of the passes: on standard output and in "tune.log".
static void Report(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void Report(const char* fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf - 1, fmt, ap);
    va_end(ap);
    strcat(buf, "\n");
    WriteStraight(buf);
    if (fdtune) fputs(buf, fdtune);
}

void TuneEvalParams() {
    double lr = TUNE_START_RATE, average = 0.0, max = 0.0;
    for (int pass = 0; pass < TUNE_PASSES && !PBlock.quit; pass++) {
        RandPick(PBlock.epd_file, "junk.epd", 10);
        Report("pass= %d, k0= %0.3e, avg_lr= %0.1f, max_lr= %0.1f\n", pass, lr, 100.0 * average, 100.0 * max);
        int count = 0;
        for (int i = 0; i < nParams; i++) {
            ParamEntry& e = ParamList[i];
            if (!e.selected) continue;
            count++;
            *e.param = RoundToWord(e.value);
            Report("** %s = %d", e.name, *e.param);
        }
        const double err = Process_EPD_File("junk0.epd", 0);
        Report("\nerr= %0.5f\n\n", err);
        if (fdtune) fflush(fdtune);

        double sum = 0.0;
        max = 0.0;
        for (int i = 0; i < nParams; i++) {
            ParamEntry& e = ParamList[i];
            if (!e.selected) continue;
            const double x = e.value;
            const int p = *e.param;
            const int h = ProbeDistance(x);
            *e.param = RoundToWord(p - h);
            const double e1 = Process_EPD_File("junk.epd", 0);
            *e.param = RoundToWord(p + h);
            const double e2 = Process_EPD_File("junk.epd", 0);
            *e.param = (int16_t)p;
            const double g = (e2 - e1) / (2.0 * h);
            e.work = g;
            const double step = GradientStep(g, lr, x);
            e.value = x + step;
            const double a = fabs(g * lr);
            sum += a;
            if (a > max) max = a;
            Report("p1=%4d/%6.5f, p2=%4d/%6.5f, g=%10.2e, lr=%5.2f, x=%5.1f, p=%6.1f", p - h, e1, p + h, e2, g,
                   100.0 * g * lr, step, e.value);
        }
        average = count ? sum / count : 0.0;
        lr = NextLearningRate(lr, average, max);
        WriteStraight("\n");
        if (fdtune) fputc('\n', fdtune);
    }
}
