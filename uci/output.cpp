#include "uci/output.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "board/position.h"
#include "search/records.h"
#include "uci/settings.h"

FILE* fdlog = nullptr;

static const char LOG_NAME[] = "tesk.log";
// Log-only lines carry whole input lines ("CMD: ...").
enum : int { MAX_LOG_LINE = 16384 };

// Writes one unit of text (which carries its own line ends) to standard
// output and, when logging is on, to the log. The caller holds spinlock1.
static void WriteUnit(const char* text, size_t len) {
    fwrite(text, 1, len, stdout);
    fflush(stdout);
    // The Log word may be changed by the main thread while others print.
    if (RelaxedLoad(Personality.Log) && fdlog) {
        fwrite(text, 1, len, fdlog);
        fflush(fdlog);
    }
}

void ShowMessage(const char* text) {
    std::string line(text);
    line += '\n';
    SpinGuard g(spinlock1);
    WriteUnit(line.data(), line.size());
}

void ShowMessageF(const char* fmt, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    ShowMessage(buf);
}

bool OpenLogFile() {
    if (fdlog) return true;  // already open: keep writing to the same file
    if (FileExists(LOG_NAME) && remove(LOG_NAME) != 0) {
        ShowMessage("log file in use.");
        RelaxedStore(Personality.Log, (int16_t)0);
        return false;
    }
    FILE* f = fopen(LOG_NAME, "w");
    if (!f) {
        ShowMessage("info string cannot open the log file tesk.log");
        return false;
    }
    SpinGuard g(spinlock1);  // printers read fdlog under the lock
    fdlog = f;
    return true;
}

void LogMessage(const char* text) {
    SpinGuard g(spinlock1);
    if (RelaxedLoad(Personality.Log) && fdlog) {
        fputs(text, fdlog);
        fputc('\n', fdlog);
        fflush(fdlog);
    }
}

void LogMessageF(const char* fmt, ...) {
    char buf[MAX_LOG_LINE];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    LogMessage(buf);
}

void WriteStraight(const char* text) {
    SpinGuard g(spinlock1);
    fputs(text, stdout);
    fflush(stdout);
}

void CloseLogFile() {
    SpinGuard g(spinlock1);
    if (fdlog) fclose(fdlog);
    fdlog = nullptr;
}

void ShowBoard(const Position* pos) {
    char fen[128];
    MakeEPD(pos, fen);
    std::string text(fen);
    text += '\n';
    for (int rank = 7; rank >= 0; rank--) {
        text += ' ';
        for (int file = 0; file < 8; file++) {
            int code = pos->board[rank * 8 + file];
            char c;
            if (code == 0)
                c = ((file & 1) == (rank & 1)) ? '+' : '-';
            else if (code < 8)
                c = "?PNBRQK?"[code & 7];
            else
                c = "?onbrqk?"[code & 7];
            text += ' ';
            text += c;
        }
        text += '\n';
    }
    text += pos->side ? "black" : "white";
    text += "\n\n";
    SpinGuard g(spinlock1);
    WriteUnit(text.data(), text.size());
}
