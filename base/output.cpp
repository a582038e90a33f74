#include "base/output.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/settings.h"
#include "platform/platform.h"

FILE* fdlog = nullptr;
SpinLock spinlock1;

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
