#include "search/tt.h"

#include <cstring>

#include "base/output.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/makemove.h"
#include "platform/platform.h"
#include "search/records.h"

HashSlot* hashtable = nullptr;
uint32_t entries = 0;
uint64_t mask = 0;
HashSlot* whitetable = nullptr;
HashSlot* blacktable = nullptr;

static uint64_t PackWord0(const HashEntry& e) { return (uint64_t)e.key_low | ((uint64_t)e.check << 32); }

static uint64_t PackWord1(const HashEntry& e) {
    return (uint64_t)e.move | ((uint64_t)(uint16_t)e.score << 16) | ((uint64_t)(uint8_t)e.depth << 32) |
           ((uint64_t)e.bound << 40) | ((uint64_t)e.age << 48) | ((uint64_t)e.fifty << 56);
}

static void UnpackWord1(uint64_t w, HashEntry* e) {
    e->move = (uint16_t)w;
    e->score = (int16_t)(uint16_t)(w >> 16);
    e->depth = (int8_t)(uint8_t)(w >> 32);
    e->bound = (uint8_t)(w >> 40);
    e->age = (uint8_t)(w >> 48);
    e->fifty = (uint8_t)(w >> 56);
}

HashEntry HashRead(const HashSlot* slot) {
    HashEntry e;
    uint64_t w0 = __atomic_load_n(&slot->w[0], __ATOMIC_RELAXED);
    uint64_t w1 = __atomic_load_n(&slot->w[1], __ATOMIC_RELAXED);
    e.key_low = (uint32_t)w0;
    e.check = (uint32_t)(w0 >> 32);
    UnpackWord1(w1, &e);
    return e;
}

static void HashWrite(HashSlot* slot, const HashEntry& e) {
    __atomic_store_n(&slot->w[0], PackWord0(e), __ATOMIC_RELAXED);
    __atomic_store_n(&slot->w[1], PackWord1(e), __ATOMIC_RELAXED);
}

// The key-low half and the age of a slot, read without the rest.
static uint32_t SlotKeyLow(const HashSlot* s) { return (uint32_t)__atomic_load_n(&s->w[0], __ATOMIC_RELAXED); }

uint64_t HashSlots() { return hashtable ? (uint64_t)entries + 16 : 0; }

void HashFree() {
    FreeLarge(hashtable, HashSlots() * sizeof(HashSlot));
    hashtable = whitetable = blacktable = nullptr;
    entries = 0;
    mask = 0;
}

namespace {

// Below this size the calling thread brings the pages in alone.
constexpr uint64_t kParallelTouchBytes = 64ull << 20;
constexpr uint64_t kTouchStep = 4096;

struct TouchShare {
    char* begin;
    char* end;
};

// Brings in the pages of one share by writing one byte of each: the system
// hands out each page zeroed on that first touch.
void TouchPages(void* arg) {
    const TouchShare* s = static_cast<const TouchShare*>(arg);
    for (volatile char* p = s->begin; p < s->end; p += kTouchStep) *p = 0;
}

// Brings in the pages of fresh memory in parallel over the processors, so
// that no search later waits for them one page fault at a time.
void TouchInParallel(void* base, uint64_t bytes) {
    enum : int { MAX_TOUCH_THREADS = 128 };
    int n = ProcessorCount();
    if (n > MAX_TOUCH_THREADS) n = MAX_TOUCH_THREADS;
    if (bytes < kParallelTouchBytes || n < 2) n = 1;
    TouchShare shares[MAX_TOUCH_THREADS];
    ThreadHandle helpers[MAX_TOUCH_THREADS] = {};
    // Shares of whole 2 MB steps, so that no huge page is split between two threads.
    const uint64_t unit = 2ull << 20;
    const uint64_t share = (bytes / (uint64_t)n + unit - 1) / unit * unit;
    char* const start = static_cast<char*>(base);
    for (int i = 0; i < n; i++) {
        uint64_t b = (uint64_t)i * share, e = b + share;
        if (b > bytes) b = bytes;
        if (e > bytes || i == n - 1) e = bytes;
        shares[i] = {start + b, start + e};
    }
    for (int i = 1; i < n; i++) helpers[i] = StartThread(TouchPages, &shares[i]);
    TouchPages(&shares[0]);
    for (int i = 1; i < n; i++) {
        if (helpers[i])
            JoinThread(helpers[i]);
        else
            TouchPages(&shares[i]);  // no thread to be had: this one does it
    }
}

// Whether the system can back `bytes` more with memory once `freed` bytes
// have been given back (no answer from the system counts as yes).
bool MemoryWillFit(uint64_t bytes, uint64_t freed) {
    const uint64_t available = AvailableMemory();
    if (available == 0) return true;
    // Room left for the rest of the engine and of the system.
    const uint64_t reserve = 64ull << 20;
    return bytes + reserve <= available + freed;
}

}  // namespace

int HashInit() {
    if (hashtable == nullptr && !keys_made) MakeKeys();
    int mb = SearchData.hash_mb < 0 ? 0 : SearchData.hash_mb;
    const uint32_t new_entries = (uint32_t)mb * 65536u;
    const uint64_t bytes = ((uint64_t)new_entries + 16) * sizeof(HashSlot);
    const uint64_t old_bytes = HashSlots() * sizeof(HashSlot);
    HashSlot* table = nullptr;
    // Address space alone is not memory: a size the system cannot back would
    // end the engine once its pages were touched.
    if (MemoryWillFit(bytes, old_bytes)) table = static_cast<HashSlot*>(AllocLarge(bytes));
    if (!table) {
        if (hashtable) SearchData.hash_mb = (int16_t)(entries / 65536u);
        return 0;
    }
    HashFree();
    hashtable = table;
    entries = new_entries;
    uint64_t p = 1;
    while (2 * p <= entries) p *= 2;
    mask = p - 1;
    whitetable = hashtable;
    blacktable = hashtable + entries;
    TouchInParallel(hashtable, bytes);
    SearchData.hashfull.store(0.0, std::memory_order_relaxed);
    ShowMessageF("info string allocated %d Mbytes for hash table", mb);
    return 1;
}

int HashInitFitting() {
    for (;;) {
        if (HashInit()) return 1;
        const int mb = SearchData.hash_mb;
        if (mb <= 1) return 0;
        ShowMessageF("info string cannot allocate %d Mbytes for hash table, trying %d", mb, mb / 2);
        SearchData.hash_mb = (int16_t)(mb / 2);
    }
}

int HashResize(int mb) {
    if (hashtable && mb == SearchData.hash_mb) return 1;
    SearchData.hash_mb = (int16_t)mb;
    if (!HashInit()) {
        if (hashtable)
            ShowMessageF("info string cannot allocate %d Mbytes for hash table, it keeps its %d Mbytes", mb,
                         (int)SearchData.hash_mb);
        else
            ShowMessageF("info string cannot allocate %d Mbytes for hash table", mb);
        return 0;
    }
    // A table of 1 MB or more is used again.
    SearchData.use_hash.store(mb >= 1 ? 1 : 0, std::memory_order_relaxed);
    return 1;
}

void HashClearShare(int index, int threads) {
    if (!hashtable || threads <= 0 || index < 0 || index >= threads) return;
    uint64_t total = (uint64_t)entries + 16;
    uint64_t share = total / (uint64_t)threads;
    uint64_t begin = (uint64_t)index * share;
    uint64_t end = index == threads - 1 ? total : begin + share;
    if (end > begin) memset((void*)(hashtable + begin), 0, (end - begin) * sizeof(HashSlot));
}

void HashClear() {
    if (!SearchData.use_hash.load(std::memory_order_relaxed) || !hashtable) return;
    if (ThreadsAreBusy()) return;
    int n = SearchData.threads.load(std::memory_order_relaxed);
    if (n <= 0) return;
    if (n == 1) {
        HashClearShare(0, 1);
    } else {
        for (int i = 0; i < n; i++)
            if (ThreadData[i]) ThreadData[i]->command.store(2, std::memory_order_release);
        while (ThreadsAreBusy()) SleepMs(1);
    }
    SearchData.hashfull.store(0.0, std::memory_order_relaxed);
}

HashSlot* HashProbe(const Position* pos, HashEntry* out) {
    if (!SearchData.use_hash.load(std::memory_order_relaxed) || !hashtable) return nullptr;
    uint64_t key = pos->key;
    uint32_t low = (uint32_t)key;
    HashSlot* b = HashBucket(key);
    for (int i = 0; i < 4; i++) {
        if (SlotKeyLow(&b[i]) != low) continue;
        HashEntry e = HashRead(&b[i]);
        // Only the first slot whose key half matches is considered.
        if (e.key_low != low || e.check != HashCheck(key, e.move, e.score)) return nullptr;
        *out = e;
        return &b[i];
    }
    return nullptr;
}

void HashRefreshAge(HashSlot* slot, const HashEntry& seen, int age) {
    if (seen.age == (uint8_t)age) return;
    HashEntry e = seen;
    uint64_t expected = PackWord1(seen);
    e.age = (uint8_t)age;
    __atomic_compare_exchange_n(&slot->w[1], &expected, PackWord1(e), false, __ATOMIC_RELAXED,
                                __ATOMIC_RELAXED);
}

void HashStore(const Position* pos, int ply, int depth, Move move, int score, int alpha, int beta) {
    if (!SearchData.use_hash.load(std::memory_order_relaxed) || !hashtable) return;
    int bound = BOUND_UPPER;
    if (score > alpha) bound = score < beta ? BOUND_EXACT : BOUND_LOWER;
    int stored = ScoreToTable(score, ply);
    uint64_t key = pos->key;
    uint32_t low = (uint32_t)key;
    uint8_t age = (uint8_t)SearchData.hash_age;
    HashSlot* b = HashBucket(key);
    HashSlot* slot = nullptr;
    for (int i = 0; i < 4; i++) {
        if (SlotKeyLow(&b[i]) == low) {
            HashEntry e = HashRead(&b[i]);
            if (e.depth - 3 > depth && pos->fifty <= e.fifty) return;
            slot = &b[i];
            break;
        }
    }
    if (!slot) {
        HashEntry e[4];
        for (int i = 0; i < 4; i++) e[i] = HashRead(&b[i]);
        for (int i = 0; i < 4 && !slot; i++)
            if (e[i].age != age) slot = &b[i];
        if (!slot) {
            int s = 0;
            for (int i = 1; i < 4; i++)
                if (e[i].depth < e[s].depth) s = i;
            if (e[s].depth - 7 > depth) return;
            slot = &b[s];
        }
    }
    HashEntry n;
    n.key_low = low;
    n.move = move;
    n.score = (int16_t)stored;
    n.check = HashCheck(key, move, n.score);
    n.depth = (int8_t)depth;
    n.bound = (uint8_t)bound;
    n.age = age;
    n.fifty = pos->fifty;
    HashWrite(slot, n);
}

void HashFull() {
    SearchData.hashfull.store(0.0, std::memory_order_relaxed);
    if (!hashtable || entries <= 2999) return;
    uint8_t age = (uint8_t)SearchData.hash_age;
    uint64_t first = entries / 2 - 500;
    int count = 0;
    for (uint64_t i = first; i < first + 1000; i++)
        if (HashRead(&hashtable[i]).age == age) count++;
    SearchData.hashfull.store(count * 0.001, std::memory_order_relaxed);
}

void RetrievePV(Position* pos, int ply, Move* pv) {
    if (ply < 1 || ply >= MAX_PLY) return;
    Move m = pv[ply];
    if (m == 0) {
        if (!SearchData.use_hash.load(std::memory_order_relaxed)) return;
        HashEntry e;
        if (!HashProbe(pos, &e)) return;
        m = e.move;
        pv[ply + 1] = 0;
        if (e.depth < 1 || m == 0) return;
        if (RepeatedOrRunOut(pos)) return;
    }
    int s = pos->side;
    if (!HashMoveIsLegal(pos, s, m) || !MoveIsLegal(pos, s, m)) {
        pv[ply] = 0;
        return;
    }
    pv[ply] = m;
    MakeMove(pos, m);
    if (ply + 1 <= 66) RetrievePV(pos, ply + 1, pv);
    UnmakeMove(pos);
}
