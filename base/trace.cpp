#include "base/trace.h"

#include <cstdio>

#include "base/output.h"
#include "platform/platform.h"

// The open file and what was written last.
static FILE* trace_file = nullptr;
static bool trace_failed = false;
static int trace_last_ply = 0;
static int trace_last_depth = -1;
static SpinLock trace_lock;

void TraceWrite(int ply, int iteration, int node_depth, const char* move_text) {
    SpinGuard g(trace_lock);
    if (!trace_file) {
        if (trace_failed) return;
        trace_file = fopen("trace.txt", "w");
        if (!trace_file) {
            trace_failed = true;
            ShowMessage("info string cannot open trace.txt; no search trace is written");
            return;
        }
    }
    if (iteration != trace_last_depth) {
        // A new iteration, or a new search starting again from depth 1.
        fprintf(trace_file, "\n\nSEARCH DEPTH= %d\n", iteration);
        trace_last_depth = iteration;
    }
    if (ply <= trace_last_ply) fprintf(trace_file, "\n%*s", (ply - 1) * 9, "");
    fprintf(trace_file, "(%2d)%s ", node_depth, move_text);
    trace_last_ply = ply;
    fflush(trace_file);
}
