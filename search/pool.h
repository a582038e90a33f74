// The pool of search threads: creation and shutdown, the command-byte
// protocol that starts searches and table clears, and the collection of the
// threads' counters.
#pragma once
#include <cstdint>

// Command bytes of a pool thread's record.
enum : uint8_t {
    CMD_IDLE = 0,      // waiting
    CMD_SEARCH = 1,    // run one search, back to 0 when it is over
    CMD_CLEAR = 2,     // clear this thread's share of the table, back to 0 when done
    CMD_END = 'c',     // end the thread
    CMD_ENDED = 'd'    // the thread has ended
};

// Creates n pool threads (0..128) and waits until each has published its
// ready, idle record in ThreadData. Returns 0, or an error code (the threads
// already made are ended again and their slots cleared).
int CreateThreadPool(int n);
// Ends the n pool threads: stops any running search, waits for each thread to
// finish, frees the records and clears their ThreadData slots.
void KillThreadPool(int n);
// Wakes the pool for one search (thread 0 first, the helpers 5 ms later).
void StartSearch();
// Sums the threads' counters into SearchData. The caller holds spinlock2 or
// no search runs.
void Collect();
