// Runs the built engine as a child process with pipes on its standard input
// and output, for end-to-end tests that hold a UCI conversation with it.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "scratch_dir.h"

// The time limits below only catch a hung engine. A sanitizer build runs
// several times slower (more so with other tests running beside it).
#ifdef TESK_SLOW_BUILD
constexpr int kTimeScale = 5;
#else
constexpr int kTimeScale = 1;
#endif

struct EngineChild {
    pid_t pid = -1;
    int to_engine = -1;    // its standard input
    int from_engine = -1;  // its standard output
    std::string pending;   // bytes read but not yet returned as lines
    std::vector<std::string> lines;  // every line read so far
};

// Starts the engine with the given arguments in directory dir; with
// address_space set, the engine may map at most that many bytes in all.
inline EngineChild StartEngine(const std::vector<std::string>& args, const std::string& dir,
                               uint64_t address_space = 0) {
    EngineChild c;
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return c;
    c.pid = fork();
    if (c.pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[0]);
        close(in[1]);
        close(out[0]);
        close(out[1]);
        if (chdir(dir.c_str()) != 0) _exit(127);
        if (address_space) {
            rlimit r{(rlim_t)address_space, (rlim_t)address_space};
            if (setrlimit(RLIMIT_AS, &r) != 0) _exit(127);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(TESK_BINARY));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TESK_BINARY, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    c.to_engine = in[1];
    c.from_engine = out[0];
    signal(SIGPIPE, SIG_IGN);
    return c;
}

inline void Send(EngineChild& c, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(c.to_engine, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += (size_t)n;
    }
}

inline void CloseInput(EngineChild& c) {
    if (c.to_engine >= 0) close(c.to_engine);
    c.to_engine = -1;
}

// The next output line, waiting at most timeout_ms; false on timeout or end.
inline bool ReadLine(EngineChild& c, std::string& line, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms * kTimeScale);
    for (;;) {
        size_t nl = c.pending.find('\n');
        if (nl != std::string::npos) {
            line = c.pending.substr(0, nl);
            c.pending.erase(0, nl + 1);
            c.lines.push_back(line);
            return true;
        }
        int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                               std::chrono::steady_clock::now())
                       .count();
        if (left <= 0) return false;
        pollfd p{c.from_engine, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        char buf[4096];
        ssize_t n = read(c.from_engine, buf, sizeof buf);
        if (n <= 0) return false;
        c.pending.append(buf, (size_t)n);
    }
}

// Reads lines until one starts with prefix; returns it, or "" on timeout.
// The lines passed over are appended to skipped when it is given.
inline std::string WaitFor(EngineChild& c, const std::string& prefix, int timeout_ms = 20000,
                           std::vector<std::string>* skipped = nullptr) {
    std::string line;
    while (ReadLine(c, line, timeout_ms)) {
        if (line.compare(0, prefix.size(), prefix) == 0) return line;
        if (skipped) skipped->push_back(line);
    }
    return "";
}

// Waits for the child to end; its exit status, or -1 when it had to be killed.
inline int WaitExit(EngineChild& c, int timeout_ms = 20000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms * kTimeScale);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(c.pid, &status, WNOHANG);
        if (r == c.pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(c.pid, SIGKILL);
            waitpid(c.pid, &status, 0);
            if (c.from_engine >= 0) close(c.from_engine);
            return -1;
        }
        usleep(2000);
    }
    // Collect what is left of the output.
    std::string line;
    while (ReadLine(c, line, 100)) {
    }
    if (c.from_engine >= 0) close(c.from_engine);
    c.from_engine = -1;
    CloseInput(c);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}
