#include "search/timecontrol.h"

#include "platform/platform.h"
#include "search/records.h"

double search_start = 0.0;

// Keeps the elapsed time up to date; the stop decisions come with the time
// control proper.
void SearchTimecheck() { SearchData.elapsed.store(GetTime() - search_start, std::memory_order_relaxed); }
