// Hash resizing as an interface sees it: the built engine is driven over its
// pipes; each new size is set with "setoption" and timed until the "readyok"
// of the "isready" behind it, then a "go wtime 2000 btime 2000" is timed
// until its "bestmove" (it must come within its 2 s clock). The start-up
// with the largest size is timed until the first "readyok" as well.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/bench/bench.h"
#include "tests/e2e_child.h"

namespace {

// Sends text and waits for a line starting with prefix; the seconds it took,
// or -1 when none came.
double Timed(EngineChild& e, const std::string& text, const char* prefix, std::vector<std::string>* lines) {
    const double start = GetTime();
    Send(e, text);
    std::string got = WaitFor(e, prefix, 120000, lines);
    return got.empty() ? -1.0 : GetTime() - start;
}

bool Said(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

}  // namespace

int HashBench(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 0; i < argc; i++) sizes.push_back(atoi(argv[i]));
    if (sizes.empty()) sizes = {256, 1024, 16384};
    for (int mb : sizes) {
        if (mb < 1 || mb > 16384) {
            fprintf(stderr, "usage: hash [megabytes 1..16384 ...]\n");
            return 1;
        }
    }
    printf("hash resize, %d processors, %.1f GB of memory available\n", ProcessorCount(),
           (double)AvailableMemory() / (1 << 30));
    EngineChild e = StartEngine({"-hash", "1"}, MakeTempDir());
    std::vector<std::string> lines;
    if (Timed(e, "uci\nisready\n", "readyok", &lines) < 0) {
        fprintf(stderr, "the engine did not start\n");
        return 1;
    }
    int status = 0;
    for (int mb : sizes) {
        lines.clear();
        const double resize = Timed(e, "setoption name Hash value " + std::to_string(mb) + "\nisready\n", "readyok", &lines);
        const bool done = Said(lines, "info string allocated " + std::to_string(mb) + " Mbytes");
        lines.clear();
        Timed(e, "ucinewgame\nisready\n", "readyok", &lines);
        const double search = Timed(e, "position startpos\ngo wtime 2000 btime 2000\n", "bestmove", &lines);
        printf("  %5d MB: ready in %7.3f s%s; go wtime 2000 answered in %.3f s%s\n", mb, resize,
               done ? "" : " (NOT resized: not enough memory)", search, search >= 0 && search < 2.0 ? "" : "  LATE");
        fflush(stdout);
        if (resize < 0 || search < 0 || search >= 2.0) status = 1;
    }
    Send(e, "quit\n");
    WaitExit(e, 120000);

    const int top = sizes.back();
    EngineChild f = StartEngine({"-hash", std::to_string(top)}, MakeTempDir());
    lines.clear();
    const double startup = Timed(f, "isready\n", "readyok", &lines);
    printf("  start-up with -hash %d: ready in %.3f s (0.3 s of it the speed calibration)%s\n", top, startup,
           Said(lines, "info string allocated " + std::to_string(top) + " Mbytes") ? "" : " (smaller table)");
    Send(f, "quit\n");
    WaitExit(f, 120000);
    return status;
}
