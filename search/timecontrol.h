// Search preparation, time control and strength limiting.
#pragma once

// Clock reading (GetTime) at the start of the current search.
extern double search_start;
// Updates SearchData.elapsed and may set the stop flag.
void SearchTimecheck();
