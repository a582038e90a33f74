#include "search/info.h"

void TraceMove(Position* pos, Move m) {
    (void)pos;
    (void)m;
}
