// The transposition table shared by all search threads without locks.
//
// Each 16-byte entry carries a check word over the key's high half, the move
// and the score, so that an entry torn by two threads writing at once is not
// trusted. An entry is held as two 64-bit words, each read and written
// atomically; a probe reads both words once into a private copy, validates
// that copy and uses only it. Buckets are four consecutive entries:
// white-to-move positions fill the table from the front, black-to-move
// positions from the back.
#pragma once
#include <cstdint>
#include "board/types.h"

struct HashEntry {
    uint32_t key_low;
    uint32_t check;
    uint16_t move;
    int16_t score;   // mate scores stored relative to the node
    int8_t depth;
    uint8_t bound;   // BOUND_UPPER, BOUND_LOWER or BOUND_EXACT
    uint8_t age;
    uint8_t fifty;
};
static_assert(sizeof(HashEntry) == 16, "table entries are 16 bytes");

// One table slot as it lies in the shared memory: two words accessed atomically.
struct HashSlot {
    uint64_t w[2];
};
static_assert(sizeof(HashSlot) == 16, "table slots are 16 bytes");

enum : int { BOUND_UPPER = 1, BOUND_LOWER = 2, BOUND_EXACT = 3 };

// Scores below -9599 or above 9598 are mate (or tablebase) scores; the table
// stores them relative to the node and the probe turns them back.
inline bool IsMateScore(int s) { return s < -9599 || s > 9598; }
inline int ScoreToTable(int s, int ply) { return s < -9599 ? s - ply : s > 9598 ? s + ply : s; }
inline int ScoreFromTable(int s, int ply) { return s < -9599 ? s + ply : s > 9598 ? s - ply : s; }

extern HashSlot* hashtable;  // entries + 16 slots
extern uint32_t entries;     // Hash megabytes x 65536
extern uint64_t mask;        // (largest power of two not above entries) - 1
extern HashSlot* whitetable;
extern HashSlot* blacktable;

// The check word of an entry for a key, a move and a stored score.
inline uint32_t HashCheck(uint64_t key, Move move, int stored_score) {
    return (uint32_t)(key >> 32) ^ ((uint32_t)move << 16) ^ (uint32_t)(stored_score + 15000);
}

// First slot of the bucket of a key.
inline HashSlot* HashBucket(uint64_t key) {
    uint64_t i = key & mask;
    return (key & 1) ? blacktable - i : whitetable + i;
}

// Reads one slot into a private copy.
HashEntry HashRead(const HashSlot* slot);

// Makes the table SearchData.hash_mb megabytes; the first call also makes
// the position keys. The new memory is had before the old table is let go,
// and it comes zeroed: its pages are brought in once, in parallel over the
// machine's processors. 1 on success (an empty table); 0 when the memory
// cannot be had: the old table, if there is one, stays as it was and
// SearchData.hash_mb names its size again.
int HashInit();
// Start-up: the table of SearchData.hash_mb megabytes or, when that cannot be
// had, of the largest size halved from it that can (said in an "info string"
// line). 0 when not even 1 MB can be had.
int HashInitFitting();
// A new size while no search runs: 1 when the table now has mb megabytes
// (nothing happens when it has them already); 0 when they cannot be had: the
// old table stays and an "info string" line says so.
int HashResize(int mb);
// Releases the table (shutdown).
void HashFree();
// Clears the whole table (with several pool threads each clears its share);
// refused while a pool thread is busy or when the table is not in use.
void HashClear();
// Zeroes the share of pool thread `index` out of `threads` (the pool threads'
// part of HashClear).
void HashClearShare(int index, int threads);
// Looks up the position: returns the slot and fills *out with the validated
// copy of its entry, or returns nullptr when there is no valid entry.
HashSlot* HashProbe(const Position* pos, HashEntry* out);
// Sets the age of a probed entry, unless another thread has rewritten the
// slot since the probe read it.
void HashRefreshAge(HashSlot* slot, const HashEntry& seen, int age);
// Stores a search result under the replacement rule.
void HashStore(const Position* pos, int ply, int depth, Move move, int score, int alpha, int beta);
// Sets SearchData.hashfull from a sample of the table.
void HashFull();
// Extends the variation pv from index ply on with the table's moves, making
// and taking back the moves on the position.
void RetrievePV(Position* pos, int ply, Move* pv);
// Asks the processor to fetch the bucket of a key.
inline void HashPrefetch(uint64_t key) {
    if (hashtable) __builtin_prefetch(HashBucket(key));
}
// Number of table slots allocated (entries + 16), 0 without a table.
uint64_t HashSlots();
