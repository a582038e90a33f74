// The transposition table: store and probe, bounds, mate-score shifts, the
// replacement rule, validation of torn entries, sizes, clearing shares, the
// fill sample and principal variations read back from the table.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "board/makemove.h"
#include "search/search.h"
#include "search/tt.h"
#include "test_util.h"

namespace {

// A move from coordinate text (no promotion).
Move Coord(const char* s) { return MakeMoveCode((s[0] - 'a') + 8 * (s[1] - '1'), (s[2] - 'a') + 8 * (s[3] - '1')); }

class Table : public BoardTest {
protected:
    ThreadRecord* t = nullptr;
    void SetUp() override {
        BoardTest::SetUp();
        SearchData.threads = 1;
        SearchData.use_hash = 1;
        SearchData.hash_mb = 1;
        SearchData.hash_age = 1;
        ASSERT_EQ(HashInit(), 1);
        t = NewTestRecord();
        SetTestPosition(t, START_FEN);
    }
    void TearDown() override {
        FreeThreadRecord(t);
        SearchData.hash_age = 0;
    }
    // A position record whose key is k, for driving the table directly.
    Position WithKey(uint64_t k, int fifty = 0) {
        Position p = t->pos;
        p.key = k;
        p.fifty = (uint8_t)fifty;
        return p;
    }
    bool Probe(const Position& p, HashEntry* e) { return HashProbe(&p, e) != nullptr; }
};

TEST_F(Table, SizesAndAddressing) {
    EXPECT_EQ(entries, 65536u);
    EXPECT_EQ(mask, 65535u);
    EXPECT_EQ(HashSlots(), 65552u);
    EXPECT_EQ(HashBucket(0x10), whitetable + 0x10);
    EXPECT_EQ(HashBucket(0x11), blacktable - 0x11);
    // Black buckets run from the back; the one nearest the end reaches into
    // the spare entries.
    EXPECT_EQ(HashBucket(0xFFFF), hashtable + 1);
    EXPECT_EQ(HashBucket(0x1), hashtable + 65535);
    // A size that is not a power of two: the mask comes from the largest
    // power of two below it.
    SearchData.hash_mb = 3;
    ASSERT_EQ(HashInit(), 1);
    EXPECT_EQ(entries, 3u * 65536u);
    EXPECT_EQ(mask, 131071u);
}

TEST_F(Table, SizeZeroHasOneBucket) {
    SearchData.hash_mb = 0;
    ASSERT_EQ(HashInit(), 1);
    EXPECT_EQ(entries, 0u);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(HashSlots(), 16u);
    EXPECT_EQ(HashBucket(0x123456789ABCDEF0ULL), hashtable);
    EXPECT_EQ(HashBucket(0x123456789ABCDEF1ULL), hashtable);
    // Storing and probing stay inside the 16 slots (checked by the sanitizer builds).
    for (uint64_t k = 1; k < 200; k++) {
        Position p = WithKey(k * 0x9E3779B97F4A7C15ULL);
        HashStore(&p, 1, 5, 0x0102, (int)k, -10001, 10001);
        HashEntry e;
        EXPECT_TRUE(Probe(p, &e));
    }
    HashFull();
    EXPECT_EQ(SearchData.hashfull.load(), 0.0);
}

TEST_F(Table, ALargeNewTableIsEmptyToItsLastSlotAndUsableAtBothEnds) {
    // 200 MB: its pages are brought in by several threads at once.
    Position a = WithKey(0x0BADCAFE00000000ULL);
    HashStore(&a, 1, 5, 0x0102, 33, -10001, 10001);
    HashFull();
    SearchData.hashfull = 0.5;
    SearchData.hash_mb = 200;
    ASSERT_EQ(HashInit(), 1);
    EXPECT_EQ(entries, 200u * 65536u);
    EXPECT_EQ(HashSlots(), 200u * 65536u + 16u);
    EXPECT_EQ(SearchData.hashfull.load(), 0.0) << "a new table is empty";
    uint64_t dirty = 0;
    for (uint64_t i = 0; i < HashSlots(); i++) dirty += (hashtable[i].w[0] | hashtable[i].w[1]) != 0;
    EXPECT_EQ(dirty, 0u);
    HashEntry e;
    EXPECT_FALSE(Probe(a, &e)) << "an entry of the old table survived";
    // The first white bucket, the last one, and the black bucket in the spare slots.
    for (uint64_t k : {0x0ULL, mask & ~1ULL, 0x1ULL, (mask & ~1ULL) | 1}) {
        Position p = WithKey(0x7700000000000000ULL | k);
        HashStore(&p, 1, 4, 0x0304, 21, -10001, 10001);
        ASSERT_TRUE(Probe(p, &e)) << k;
        EXPECT_EQ(e.score, 21);
    }
    // Every bucket lies inside the new table.
    EXPECT_LE(HashBucket(mask & ~1ULL) + 4, hashtable + HashSlots());
    EXPECT_LE(HashBucket(0x1) + 4, hashtable + HashSlots());
    EXPECT_GE(HashBucket(mask | 1), hashtable);
}

TEST_F(Table, BoundsAndRoundTrip) {
    Position p = WithKey(0x1234567800000010ULL);
    HashEntry e;
    EXPECT_FALSE(Probe(p, &e));
    HashStore(&p, 3, 7, 0x0C1C, 50, 10, 100);
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.bound, BOUND_EXACT);
    EXPECT_EQ(e.move, 0x0C1C);
    EXPECT_EQ(e.score, 50);
    EXPECT_EQ(e.depth, 7);
    EXPECT_EQ(e.age, 1);
    HashStore(&p, 3, 7, 0x0C1C, 10, 10, 100);
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.bound, BOUND_UPPER);
    HashStore(&p, 3, 7, 0x0C1C, 100, 10, 100);
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.bound, BOUND_LOWER);
    // The other side to move has a bucket of its own.
    Position q = WithKey(p.key | 1);
    EXPECT_FALSE(Probe(q, &e));
    SearchData.use_hash = 0;
    EXPECT_FALSE(Probe(p, &e));
    SearchData.use_hash = 1;
}

// Mate scores are stored relative to the node and come back relative to the
// probing node, with one threshold (beyond -9599 / 9598) both ways.
TEST_F(Table, MateScoresShiftByPly) {
    struct Case {
        int score, ply, stored;
    } cases[] = {{9990, 5, 9995}, {-9990, 5, -9995}, {9598, 5, 9598}, {9599, 5, 9604},
                 {-9599, 5, -9599}, {-9600, 5, -9605}, {9795, 5, 9800}, {0, 9, 0}};
    uint64_t k = 0x4444444400000040ULL;
    for (const auto& c : cases) {
        Position p = WithKey(k += 0x20000);
        HashStore(&p, c.ply, 4, 0, c.score, -10001, 10001);
        HashEntry e;
        ASSERT_TRUE(Probe(p, &e));
        EXPECT_EQ(e.score, c.stored) << c.score;
        EXPECT_EQ(ScoreFromTable(e.score, c.ply), c.score);
    }
    // A mate found 3 plies below a node at ply 5 is 3 plies below it at ply 9 too.
    EXPECT_EQ(ScoreFromTable(ScoreToTable(9992, 5), 9), 9988);
    EXPECT_EQ(ScoreFromTable(ScoreToTable(-9993, 6), 2), -9997);
}

TEST_F(Table, SameKeyKeepsDeeperResultUnlessFiftyMoved) {
    Position p = WithKey(0x5555555500000100ULL, 10);
    HashEntry e;
    HashStore(&p, 1, 9, 0x0101, 30, -10001, 10001);
    HashStore(&p, 1, 5, 0x0202, 40, -10001, 10001);  // 9 - 3 > 5: kept
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.depth, 9);
    EXPECT_EQ(e.move, 0x0101);
    HashStore(&p, 1, 6, 0x0202, 40, -10001, 10001);  // 9 - 3 = 6: replaced
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.depth, 6) << "a result 3 plies shallower must replace the entry";
    HashStore(&p, 1, 12, 0x0303, 1, -10001, 10001);  // deeper: replaced
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.depth, 12) << "a deeper result must replace the entry";
    Position earlier = WithKey(p.key, 9);  // a lower fifty-move counter does not let a shallow result in
    HashStore(&earlier, 1, 1, 0x0404, 2, -10001, 10001);
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.depth, 12) << "a result 11 plies shallower must not replace the entry";
    Position later = WithKey(p.key, 11);  // higher fifty-move counter: replaced even when shallow
    HashStore(&later, 1, 1, 0x0404, 2, -10001, 10001);
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.depth, 1);
    EXPECT_EQ(e.fifty, 11);
}

TEST_F(Table, ReplacementInAFullBucket) {
    const uint64_t base = 0x0000000000000200ULL;  // white bucket 0x200
    auto key = [&](int j) { return base + (uint64_t)j * 0x10000; };
    int depths[4] = {10, 10, 12, 12};
    for (int j = 0; j < 4; j++) {
        Position p = WithKey(key(j));
        HashStore(&p, 1, depths[j], (Move)(j + 1), j, -10001, 10001);
    }
    HashSlot* b = HashBucket(key(0));
    for (int j = 0; j < 4; j++) EXPECT_EQ(HashRead(&b[j]).move, j + 1);
    Position n = WithKey(key(4));
    HashStore(&n, 1, 2, 0x0505, 0, -10001, 10001);  // 10 - 7 > 2: nothing stored
    HashEntry e;
    EXPECT_FALSE(Probe(n, &e));
    HashStore(&n, 1, 3, 0x0505, 0, -10001, 10001);  // the shallowest, first of the ties
    ASSERT_TRUE(Probe(n, &e));
    EXPECT_EQ(HashRead(&b[0]).key_low, (uint32_t)key(4));
    EXPECT_EQ(HashRead(&b[2]).depth, 12);
    // An entry of an older search is replaced first: entry 0 when its age
    // differs, else the first of the others.
    SearchData.hash_age = 2;
    Position m = WithKey(key(5));
    HashStore(&m, 1, 1, 0x0606, 0, -10001, 10001);
    EXPECT_EQ(HashRead(&b[0]).move, 0x0606);
    Position o = WithKey(key(6));
    HashStore(&o, 1, 1, 0x0707, 0, -10001, 10001);
    EXPECT_EQ(HashRead(&b[1]).move, 0x0707);
    EXPECT_EQ(HashRead(&b[0]).move, 0x0606);
}

// A slot whose check word does not match its move and score is not trusted;
// only the first slot with the key's low half is looked at.
TEST_F(Table, TornEntriesAreRejected) {
    Position p = WithKey(0x7777777700000300ULL);
    HashStore(&p, 1, 5, 0x0A0B, 77, -10001, 10001);
    HashEntry e;
    ASSERT_TRUE(Probe(p, &e));
    HashSlot* s = HashBucket(p.key);
    // Another writer's second word (different move) over the first writer's first word.
    HashEntry other = HashRead(s);
    other.move = 0x0C0D;
    uint64_t w1 = (uint64_t)other.move | ((uint64_t)(uint16_t)other.score << 16) |
                  ((uint64_t)(uint8_t)other.depth << 32) | ((uint64_t)other.bound << 40) |
                  ((uint64_t)other.age << 48) | ((uint64_t)other.fifty << 56);
    s->w[1] = w1;
    EXPECT_FALSE(Probe(p, &e));
    // A key that shares the low half but not the high half.
    HashStore(&p, 1, 5, 0x0A0B, 77, -10001, 10001);
    Position q = WithKey(p.key ^ 0x0100000000000000ULL);
    EXPECT_FALSE(Probe(q, &e));
}

TEST_F(Table, AgeRefresh) {
    Position p = WithKey(0x3333333300000400ULL);
    HashStore(&p, 1, 5, 0x0A0B, 77, -10001, 10001);
    HashEntry e;
    HashSlot* s = HashProbe(&p, &e);
    ASSERT_NE(s, nullptr);
    HashRefreshAge(s, e, 7);
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.age, 7);
    EXPECT_EQ(e.move, 0x0A0B);
    // A slot rewritten since the probe keeps the new writer's entry.
    HashEntry stale = e;
    SearchData.hash_age = 3;
    HashStore(&p, 1, 9, 0x0C0D, 5, -10001, 10001);
    HashRefreshAge(s, stale, 9);
    ASSERT_TRUE(Probe(p, &e));
    EXPECT_EQ(e.move, 0x0C0D);
    EXPECT_EQ(e.age, 3);
}

TEST_F(Table, ClearingSharesCoverTheTable) {
    // 65552 slots over 3 threads: 21850, 21850 and 21852.
    memset((void*)hashtable, 0xAB, HashSlots() * sizeof(HashSlot));
    HashClearShare(1, 3);
    auto zero = [](uint64_t i) { return hashtable[i].w[0] == 0 && hashtable[i].w[1] == 0; };
    EXPECT_FALSE(zero(21849));
    EXPECT_TRUE(zero(21850));
    EXPECT_TRUE(zero(43699));
    EXPECT_FALSE(zero(43700));
    HashClearShare(2, 3);
    EXPECT_TRUE(zero(65551));
    EXPECT_FALSE(zero(21849));
    HashClearShare(0, 3);
    for (uint64_t i = 0; i < HashSlots(); i++) ASSERT_TRUE(zero(i)) << i;
    // More threads than slots: the last thread clears everything.
    SearchData.hash_mb = 0;
    ASSERT_EQ(HashInit(), 1);
    memset((void*)hashtable, 0xAB, HashSlots() * sizeof(HashSlot));
    for (int i = 0; i < 20; i++) HashClearShare(i, 20);
    for (uint64_t i = 0; i < HashSlots(); i++) EXPECT_TRUE(zero(i)) << i;
}

TEST_F(Table, ClearAndFillLevel) {
    HashFull();
    EXPECT_EQ(SearchData.hashfull.load(), 0.0);
    for (uint64_t i = entries / 2 - 500; i < entries / 2 + 250; i++) {
        HashEntry e{};
        e.age = 1;
        hashtable[i].w[1] = (uint64_t)e.age << 48;
    }
    HashFull();
    EXPECT_DOUBLE_EQ(SearchData.hashfull.load(), 0.75);
    SearchData.hash_age = 2;
    HashFull();
    EXPECT_EQ(SearchData.hashfull.load(), 0.0);
    SearchData.hash_age = 1;
    HashClear();
    HashFull();
    EXPECT_EQ(SearchData.hashfull.load(), 0.0);
    for (uint64_t i = 0; i < HashSlots(); i++) ASSERT_EQ(hashtable[i].w[1], 0u);
}

// Several threads storing and probing the same few buckets: every entry a
// probe accepts is one that some thread wrote for that key.
TEST_F(Table, ConcurrentStoresNeverYieldForeignEntries) {
    const int kThreads = 4, kRounds = 20000;
    std::atomic<int> bad{0};
    std::vector<std::thread> pool;
    for (int th = 0; th < kThreads; th++)
        pool.emplace_back([&, th]() {
            Position p = t->pos;
            for (int r = 0; r < kRounds; r++) {
                uint64_t k = 0x0ABC000000000800ULL + ((uint64_t)((r * 7 + th) % 16) << 32) + (uint64_t)(r % 3) * 0x10000;
                p.key = k;
                Move m = (Move)(k >> 32);
                int score = (int)((k >> 32) % 5000);
                HashStore(&p, 1, r % 30, m, score, -10001, 10001);
                HashEntry e;
                uint64_t k2 = 0x0ABC000000000800ULL + ((uint64_t)((r * 5 + th) % 16) << 32) + (uint64_t)(r % 3) * 0x10000;
                p.key = k2;
                if (HashProbe(&p, &e) && (e.move != (Move)(k2 >> 32) || e.score != (int)((k2 >> 32) % 5000)))
                    bad++;
            }
        });
    for (auto& th : pool) th.join();
    EXPECT_EQ(bad.load(), 0);
}

// The variation is read back from the table: moves that are legal, as far as
// the entries reach; the best move given at ply 1 is taken as it is.
TEST_F(Table, RetrievePV) {
    Position* pos = &t->pos;
    const char* line[] = {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5"};
    Move moves[5];
    for (int i = 0; i < 5; i++) {
        moves[i] = Coord(line[i]);
        HashStore(pos, i + 1, 5 - i, moves[i], 0, -10001, 10001);
        MakeMove(pos, moves[i]);
    }
    for (int i = 0; i < 5; i++) UnmakeMove(pos);
    Move pv[PV_SIZE] = {};
    RetrievePV(pos, 1, pv);
    for (int i = 0; i < 5; i++) EXPECT_EQ(pv[i + 1], moves[i]) << i;
    EXPECT_EQ(pv[6], 0);
    EXPECT_EQ(t->ply, 1);
    EXPECT_EQ(t->game_ply, 0);
    // A given first move that the table does not know.
    Move d4 = Coord("d2d4");
    memset(pv, 0, sizeof pv);
    pv[1] = d4;
    RetrievePV(pos, 1, pv);
    EXPECT_EQ(pv[1], d4);
    EXPECT_EQ(pv[2], 0);
    // An illegal move in the table ends the variation.
    HashStore(pos, 1, 5, MakeMoveCode(4, 28), 0, -10001, 10001);  // Ke1-e4
    memset(pv, 0, sizeof pv);
    RetrievePV(pos, 1, pv);
    EXPECT_EQ(pv[1], 0);
}

}  // namespace
