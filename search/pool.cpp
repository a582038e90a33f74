#include "search/pool.h"

#include <cerrno>
#include <cstring>
#include <thread>

#include "search/iterate.h"
#include "search/records.h"
#include "search/tt.h"

static ThreadHandle thread[128];
// The pool's own pointers to its records (ThreadData is the published view).
static ThreadRecord* pool_record[128];
// Per slot: 0 starting, 1 record published, 2 the record could not be allocated.
static std::atomic<uint8_t> slot_state[128];

static void SearchThreadFunc(void* arg) {
    const int i = (int)(intptr_t)arg;
    ThreadRecord* t = AllocThreadRecord();  // zero-filled, its position and move lists ready
    if (!t) {
        slot_state[i].store(2, std::memory_order_release);
        return;
    }
    t->thread_index = (uint8_t)i;
    t->seed = (uint32_t)i * 123u;
    t->command.store(CMD_IDLE, std::memory_order_relaxed);
    pool_record[i] = t;
    ThreadData[i] = t;
    slot_state[i].store(1, std::memory_order_release);

    for (;;) {
        const uint8_t c = t->command.load(std::memory_order_acquire);
        if (c == CMD_SEARCH) {
            PoolThreadSearch(t);
            t->command.store(CMD_IDLE, std::memory_order_release);
            SleepMs(1);
        } else if (c == CMD_CLEAR) {
            HashClearShare(i, SearchData.threads.load(std::memory_order_relaxed));
            t->command.store(CMD_IDLE, std::memory_order_release);
            SleepMs(1);
        } else if (c > 'Z') {
            t->command.store(CMD_ENDED, std::memory_order_release);
            return;
        } else {
            SleepMs(1);
        }
    }
}

// Ends thread i (its record published or not) and frees what it owned.
static void EndThread(int i) {
    ThreadRecord* t = slot_state[i].load(std::memory_order_acquire) == 1 ? pool_record[i] : nullptr;
    if (t) {
        t->command.store(CMD_END, std::memory_order_release);
        while (t->command.load(std::memory_order_acquire) != CMD_ENDED) std::this_thread::yield();
    }
    JoinThread(thread[i]);
    thread[i] = 0;
    FreeThreadRecord(t);
    pool_record[i] = nullptr;
    if (ThreadData[i] == t) ThreadData[i] = nullptr;
    slot_state[i].store(0, std::memory_order_relaxed);
}

int CreateThreadPool(int n) {
    if (n < 0) n = 0;
    if (n > 128) n = 128;
    for (int i = 0; i < n; i++) {
        if (thread[i]) EndThread(i);  // a thread of an earlier pool that was never ended
        ThreadData[i] = nullptr;
        slot_state[i].store(0, std::memory_order_relaxed);
    }
    int made = 0, error = 0;
    for (; made < n; made++) {
        thread[made] = StartThread(SearchThreadFunc, (void*)(intptr_t)made);
        if (!thread[made]) {
            error = EAGAIN;
            break;
        }
    }
    // Wait until every thread made has published its record or given up.
    for (int i = 0; i < made; i++) {
        uint8_t s;
        while ((s = slot_state[i].load(std::memory_order_acquire)) == 0) std::this_thread::yield();
        if (s == 2 && !error) error = ENOMEM;
    }
    if (error) {
        for (int i = 0; i < made; i++) EndThread(i);
        return error;
    }
    return 0;
}

void KillThreadPool(int n) {
    if (n > 128) n = 128;
    SearchData.stop.store(STOP_QUIT, std::memory_order_relaxed);
    for (;;) {
        bool busy = false;
        for (int i = 0; i < n; i++)
            if (pool_record[i] && pool_record[i]->command.load(std::memory_order_acquire) != CMD_IDLE) busy = true;
        if (!busy) break;
        SleepMs(1);
    }
    for (int i = 0; i < n; i++)
        if (thread[i]) EndThread(i);
}

void StartSearch() {
    const int n = SearchData.threads.load(std::memory_order_relaxed);
    if (n < 1 || !ThreadData[0]) return;
    ThreadData[0]->command.store(CMD_SEARCH, std::memory_order_release);
    if (n < 2) return;
    SleepMs(5);
    const int now = SearchData.threads.load(std::memory_order_relaxed);
    if (now < 2) return;
    for (int i = 1; i < now && i < 128; i++)
        if (ThreadData[i]) ThreadData[i]->command.store(CMD_SEARCH, std::memory_order_release);
}

void Collect() {
    SearchDataRecord& sd = SearchData;
    sd.nodes = sd.eval_probes = sd.eval_hits = sd.hash_probes = sd.hash_hits = 0;
    sd.pawn_probes = sd.pawn_hits = sd.tb_hits = 0;
    const int n = sd.threads.load(std::memory_order_relaxed);
    for (int i = 0; i < n; i++) {
        const ThreadRecord* t = ThreadData[i];
        if (!t) continue;
        sd.nodes += t->nodes.load(std::memory_order_relaxed);
        sd.eval_probes += t->eval_probes.load(std::memory_order_relaxed);
        sd.eval_hits += t->eval_hits.load(std::memory_order_relaxed);
        sd.hash_probes += t->hash_probes.load(std::memory_order_relaxed);
        sd.hash_hits += t->hash_hits.load(std::memory_order_relaxed);
        sd.pawn_probes += t->pawn_probes.load(std::memory_order_relaxed);
        sd.pawn_hits += t->pawn_hits.load(std::memory_order_relaxed);
        sd.tb_hits += t->tb_hits.load(std::memory_order_relaxed);
    }
}
