#include "uci/input.h"

#include <cstring>
#include <deque>

#include "base/output.h"
#include "base/settings.h"
#include "platform/platform.h"
#include "uci/console.h"
#include "uci/uci.h"

// Complete lines waiting to run, oldest first. Each line is kept whole, so no
// character inside a line can split it into two commands.
static std::deque<std::string> queue;
// The characters of a line whose end has not arrived yet.
static std::string pending;
// The line being assembled has grown past MAX_INPUT_LINE: it is dropped when
// its end arrives.
static bool pending_too_long = false;
static bool input_ended = false;

static void FinishLine() {
    if (pending_too_long) {
        ShowMessageF("info string input line longer than %d characters ignored", (int)MAX_INPUT_LINE);
    } else {
        // A carriage return ends the command ("\r\n" line ends).
        size_t cr = pending.find('\r');
        if (cr != std::string::npos) pending.resize(cr);
        if (!pending.empty()) queue.push_back(pending);
    }
    pending.clear();
    pending_too_long = false;
}

void QueueInputBytes(const char* bytes, size_t n) {
    for (size_t i = 0; i < n; i++) {
        char c = bytes[i];
        if (c == '\n' || c == '\0') {
            FinishLine();
        } else if (!pending_too_long) {
            if (pending.size() >= (size_t)MAX_INPUT_LINE) {
                pending_too_long = true;
                pending.clear();
                pending.shrink_to_fit();
            } else {
                pending.push_back(c);
            }
        }
    }
}

void EndOfInput() {
    if (input_ended) return;
    if (!pending.empty() || pending_too_long) FinishLine();
    input_ended = true;
}

void ReadWaitingInput() {
    static char buf[65536];
    // Read while something waits, but leave it in the pipe while the queue is
    // full; it is read once the queue has room again.
    while (!input_ended && queue.size() < (size_t)MAX_QUEUED_LINES) {
        int ready = InputReady(0);
        if (ready == 0) return;
        long got = ready < 0 ? -1 : ReadInput(buf, sizeof buf);
        if (got <= 0) {
            // End of input, or a descriptor that cannot be read any more.
            EndOfInput();
            return;
        }
        QueueInputBytes(buf, (size_t)got);
        if ((size_t)got < sizeof buf) return;
    }
}

void WaitForInput(int ms) {
    if (input_ended || queue.size() >= (size_t)MAX_QUEUED_LINES) {
        SleepMs(ms);
        return;
    }
    if (InputReady(ms) < 0) SleepMs(ms);
}

bool InputEnded() { return input_ended; }

int QueuedCommands() { return (int)queue.size(); }

void ResetInput() {
    queue.clear();
    pending.clear();
    pending_too_long = false;
    input_ended = false;
}

static std::deque<std::string>::iterator QueuedCommand(const char* word) {
    for (auto it = queue.begin(); it != queue.end(); ++it)
        if (!strcmp(GetFirstToken(it->c_str()), word)) return it;
    return queue.end();
}

bool FindQueuedCommand(const char* word) { return QueuedCommand(word) != queue.end(); }

bool TakeQueuedCommand(const char* word) {
    auto it = QueuedCommand(word);
    if (it == queue.end()) return false;
    queue.erase(it);
    return true;
}

bool PopQueuedCommand(std::string& line) {
    if (queue.empty()) return false;
    line = queue.front();
    queue.pop_front();
    return true;
}

bool GetInputLine(std::string& line) {
    for (;;) {
        ReadWaitingInput();
        if (PopQueuedCommand(line)) return true;
        if (input_ended) return false;
        WaitForInput(10);
    }
}

const char* GetFirstToken(const char* text) {
    static char token[128];
    size_t n = 0;
    while (*text == ' ' || *text == '\t') text++;
    while (n < sizeof token - 1) {
        char c = text[n];
        if (c == 0 || c == '\n' || c == '\r' || c == ' ' || c == '\t') break;
        token[n++] = c;
    }
    token[n] = 0;
    return token;
}

int UserInput() {
    ReadWaitingInput();
    return RunQueuedCommand();
}

int RunQueuedCommand() {
    if (queue.empty()) return 0;
    if (PBlock.uci) {
        // Commands run in arrival order; one that must wait for the search to
        // end stays queued while the commands behind it that may run now
        // ("stop", "isready", "ponderhit", "quit"...) are served. Whether a
        // search runs is read once: should it end while the queue is looked
        // through, a later command must not run ahead of the ones that wait.
        const bool searching = SearchInProgress();
        for (auto it = queue.begin(); it != queue.end(); ++it) {
            if (!UciCommandMayRun(it->c_str(), searching)) continue;
            std::string line = std::move(*it);
            queue.erase(it);
            UciCommand(line.c_str());
            return 1;
        }
        return 0;
    }
    std::string line = std::move(queue.front());
    queue.pop_front();
    if (line == "uci")
        UciCommand(line.c_str());
    else if (!line.empty())
        ConsoleCommand(line.c_str());
    return 1;
}
