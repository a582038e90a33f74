#include "tablebase/tbcore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/output.h"

// ---------------------------------------------------------------------------
// Material keys

const uint64_t MaterialKey[2][6] = {
    {0, 0xEC0ADE190C0F6003ULL, 0xD2FB81862830191FULL, 0xAADC1A2BE446234DULL, 0x985DEB9FC49333F9ULL,
     0xA3EC1ABC71E90863ULL},
    {0, 0xA24F0F571BB202E7ULL, 0xBAEB854CD3259441ULL, 0xD5A4C95928F2FBE3ULL, 0xFD7866B439B94495ULL,
     0xD6E4E47D24962951ULL},
};

uint64_t material_key_from_counts(const int counts[16], bool mirror) {
    uint64_t key = 0;
    for (int type = 1; type <= 5; type++) {
        key += (uint64_t)counts[type] * MaterialKey[mirror ? 1 : 0][type];
        key += (uint64_t)counts[type + 8] * MaterialKey[mirror ? 0 : 1][type];
    }
    return key;
}

// ---------------------------------------------------------------------------
// Registry state

TBHashEntry TB_hash[1 << TBHASHBITS][HSHMAX];
TBEntry_piece TB_piece[TBMAX_PIECE];
TBEntry_pawn TB_pawn[TBMAX_PAWN];
int TBnum_piece = 0, TBnum_pawn = 0;
unsigned TB_LARGEST = 0;
uint64_t TB_generation = 0;
DTZTableEntry DTZ_table[DTZ_ENTRIES];

static bool initialized = false;
static std::vector<std::string> paths;

Mutex* TableLoadingLock() {
    static Mutex* const lock = CreateMutex();
    return lock;
}

Mutex* DtzCacheLock() {
    static Mutex* const lock = CreateMutex();
    return lock;
}

int tb_num_paths() { return (int)paths.size(); }
const char* tb_path(int i) { return i >= 0 && i < (int)paths.size() ? paths[(size_t)i].c_str() : ""; }

// ---------------------------------------------------------------------------
// Little-endian fields of the headers (the file gives no alignment).

static inline uint32_t Read16(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }
static inline uint32_t Read32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
static inline uint32_t Read24(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16);
}

// ---------------------------------------------------------------------------
// Numbering of positions

int8_t offdiag[64];
uint8_t flipdiag[64];
uint8_t triangle[64];
uint8_t lower[64];
uint8_t diag[64];
int16_t KK_idx[10][64];
uint8_t ptwist[64];
uint8_t flap[64];
int32_t binomial[5][64];
int32_t pawnidx[5][24];
int32_t pfactor[5][4];

static inline int FileOf(int sq) { return sq & 7; }
static inline int RankOf(int sq) { return sq >> 3; }

void init_indices() {
    // The triangle a1-d1-d4: b1 c1 d1 c2 d2 d3 off the diagonal, then a1 b2 c3 d4.
    static const int kTriangleSquares[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};
    int cls[64];
    for (int sq = 0; sq < 64; sq++) cls[sq] = -1;
    for (int t = 0; t < 10; t++) cls[kTriangleSquares[t]] = t;

    int below = 0;
    for (int sq = 0; sq < 64; sq++) {
        const int f = FileOf(sq), r = RankOf(sq);
        offdiag[sq] = (int8_t)(f == r ? 0 : r > f ? 1 : -1);
        flipdiag[sq] = (uint8_t)(8 * f + r);
        int mf = f > 3 ? 7 - f : f, mr = r > 3 ? 7 - r : r;
        if (mr > mf) {
            int x = mf;
            mf = mr;
            mr = x;
        }
        triangle[sq] = (uint8_t)cls[8 * mr + mf];
        diag[sq] = (uint8_t)(f == r ? f : f + r == 7 ? 8 + r : 0);
        if (f > r) lower[sq] = (uint8_t)below++;  // rank by rank, file upward
        else if (f == r) lower[sq] = (uint8_t)(28 + f);
    }
    for (int sq = 0; sq < 64; sq++)
        if (offdiag[sq] > 0) lower[sq] = lower[flipdiag[sq]];

    auto adjacent = [](int a, int b) {
        int df = FileOf(a) - FileOf(b), dr = RankOf(a) - RankOf(b);
        return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
    };
    int idx = 0;
    for (int t = 0; t < 10; t++) {
        const int k1 = kTriangleSquares[t];
        for (int k2 = 0; k2 < 64; k2++) {
            KK_idx[t][k2] = -1;
            if (adjacent(k1, k2)) continue;  // the square itself too
            if (t >= 6 && offdiag[k2] >= 0) continue;
            KK_idx[t][k2] = (int16_t)idx++;
        }
    }
    for (int t = 6; t < 10; t++) {
        const int k1 = kTriangleSquares[t];
        for (int k2 = 0; k2 < 64; k2++)
            if (offdiag[k2] == 0 && !adjacent(k1, k2)) KK_idx[t][k2] = (int16_t)idx++;
    }

    for (int sq = 0; sq < 64; sq++) {
        const int f = FileOf(sq), r = RankOf(sq);
        if (r == 0 || r == 7) {
            ptwist[sq] = flap[sq] = 0;
            continue;
        }
        ptwist[sq] = (uint8_t)(f < 4 ? 47 - 2 * (r - 1) - 12 * f : 46 - 2 * (r - 1) - 12 * (7 - f));
        flap[sq] = (uint8_t)(6 * (f < 4 ? f : 7 - f) + (r - 1));
    }

    for (int k = 0; k < 5; k++)
        for (int n = 0; n < 64; n++) binomial[k][n] = subfactor(k + 1, n);

    for (int p = 0; p < 5; p++) {
        for (int file = 0; file < 4; file++) {
            int32_t sum = 0;
            for (int j = 6 * file; j < 6 * file + 6; j++) {
                pawnidx[p][j] = sum;
                const int sq = 8 * (j % 6 + 1) + j / 6;
                sum += p == 0 ? 1 : binomial[p - 1][ptwist[sq]];
            }
            pfactor[p][file] = sum;
        }
    }
}

int32_t subfactor(int k, int n) {
    if (k < 0 || n < k) return 0;
    if (k == 0) return 1;
    int32_t f = n, l = 1;
    for (int i = 1; i < k; i++) {
        f *= n - i;
        l *= i + 1;
    }
    return f / l;
}

void fill_norm_piece(int num, int enc_type, uint8_t* norm, const uint8_t* pieces) {
    for (int i = 0; i < num; i++) norm[i] = 0;
    norm[0] = (uint8_t)(enc_type == 0 ? 3 : 2);
    for (int i = norm[0]; i < num; i += norm[i])
        for (int j = i; j < num && pieces[j] == pieces[i]; j++) norm[i]++;
}

void fill_norm_pawn(const uint8_t pawns[2], int num, uint8_t* norm, const uint8_t* pieces) {
    for (int i = 0; i < num; i++) norm[i] = 0;
    norm[0] = pawns[0];
    if (pawns[1]) norm[pawns[0]] = pawns[1];
    for (int i = pawns[0] + pawns[1]; i < num; i += norm[i])
        for (int j = i; j < num && pieces[j] == pieces[i]; j++) norm[i]++;
}

// The weight of the group at index i, the product of the sizes of the
// digits placed so far; the group then takes its squares from the n free ones.
static inline bool NextGroupFactor(uint64_t* factor, const uint8_t* norm, int* i, int* n, uint64_t* f) {
    if (norm[*i] == 0) return false;
    factor[*i] = *f;
    *f *= (uint64_t)subfactor(norm[*i], *n);
    *n -= norm[*i];
    *i += norm[*i];
    return true;
}

uint64_t calc_factors_piece(uint64_t* factor, int num, int order, const uint8_t* norm, int enc_type) {
    static const uint64_t pivfac[3] = {31332, 0, 462};
    int n = 64 - norm[0];
    uint64_t f = 1;
    bool lead_placed = false;
    for (int i = norm[0], k = 0; i < num || k == order; k++) {
        if (k == order) {
            factor[0] = f;
            f *= pivfac[enc_type];
            lead_placed = true;
        } else if (!NextGroupFactor(factor, norm, &i, &n, &f)) {
            return 0;
        }
    }
    return lead_placed ? f : 0;
}

uint64_t calc_factors_pawn(uint64_t* factor, int num, int order, int order2, const uint8_t* norm, int file) {
    int i = norm[0];
    if (order2 < 15) i += norm[i];
    int n = 64 - i;
    uint64_t f = 1;
    bool lead_placed = false, other_placed = order2 >= 15;
    for (int k = 0; i < num || k == order || k == order2; k++) {
        if (k == order) {
            factor[0] = f;
            f *= (uint64_t)pfactor[norm[0] - 1][file];
            lead_placed = true;
        } else if (k == order2) {
            factor[norm[0]] = f;
            f *= (uint64_t)subfactor(norm[norm[0]], 48 - norm[0]);
            other_placed = true;
        } else if (!NextGroupFactor(factor, norm, &i, &n, &f)) {
            return 0;
        }
    }
    return lead_placed && other_placed ? f : 0;
}

static inline void SortAscending(int* pos, int n) {
    for (int i = 1; i < n; i++)
        for (int j = i; j > 0 && pos[j - 1] > pos[j]; j--) {
            int x = pos[j];
            pos[j] = pos[j - 1];
            pos[j - 1] = x;
        }
}

// The digit of the t equal pieces from index i on: their squares in rising
// order, each numbered among the squares that the earlier pieces leave free,
// less `below` squares that none of them can stand on.
static inline bool GroupDigit(int i, int t, int* pos, int below, uint64_t* digit) {
    SortAscending(pos + i, t);
    uint64_t s = 0;
    for (int m = i; m < i + t; m++) {
        int c = 0;
        for (int l = 0; l < i; l++) c += pos[m] > pos[l];
        const int n = pos[m] - c - below;
        if (n < 0) return false;  // a pawn on the first rank
        s += (uint64_t)binomial[m - i][n];
    }
    *digit = s;
    return true;
}

// The digits of the groups from index i on.
static inline bool EncodeGroups(int i, int num, const uint8_t* norm, int* pos, const uint64_t* factor,
                                uint64_t* idx) {
    while (i < num) {
        const int t = norm[i];
        uint64_t digit;
        if (t < 1 || t > 5 || i + t > num || !GroupDigit(i, t, pos, 0, &digit)) return false;
        *idx += digit * factor[i];
        i += t;
    }
    return true;
}

uint64_t encode_piece(int enc_type, int num, const uint8_t* norm, int* pos, const uint64_t* factor) {
    if (pos[0] & 4)
        for (int i = 0; i < num; i++) pos[i] ^= 7;
    if (pos[0] & 0x20)
        for (int i = 0; i < num; i++) pos[i] ^= 0x38;
    const int lead = enc_type == 0 ? 3 : 2;
    int i = 0;
    while (i < num && offdiag[pos[i]] == 0) i++;
    if (i < lead && offdiag[pos[i]] > 0)
        for (int j = 0; j < num; j++) pos[j] = flipdiag[pos[j]];

    uint64_t idx;
    if (enc_type == 0) {
        const int a = pos[1] > pos[0];
        const int b = (pos[2] > pos[0]) + (pos[2] > pos[1]);
        if (offdiag[pos[0]])
            idx = (uint64_t)(triangle[pos[0]] * 63 * 62 + (pos[1] - a) * 62 + (pos[2] - b));
        else if (offdiag[pos[1]])
            idx = (uint64_t)(6 * 63 * 62 + diag[pos[0]] * 28 * 62 + lower[pos[1]] * 62 + pos[2] - b);
        else if (offdiag[pos[2]])
            idx = (uint64_t)(6 * 63 * 62 + 4 * 28 * 62 + diag[pos[0]] * 7 * 28 + (diag[pos[1]] - a) * 28 +
                             lower[pos[2]]);
        else
            idx = (uint64_t)(6 * 63 * 62 + 4 * 28 * 62 + 4 * 7 * 28 + diag[pos[0]] * 7 * 6 +
                             (diag[pos[1]] - a) * 6 + (diag[pos[2]] - b));
    } else {
        const int k = KK_idx[triangle[pos[0]]][pos[1]];
        if (k < 0) return NO_INDEX;  // kings side by side
        idx = (uint64_t)k;
    }
    idx *= factor[0];
    if (!EncodeGroups(lead, num, norm, pos, factor, &idx)) return NO_INDEX;
    return idx;
}

uint64_t encode_pawn(const uint8_t pawns[2], int num, const uint8_t* norm, int* pos, const uint64_t* factor) {
    if (pos[0] & 4)
        for (int i = 0; i < num; i++) pos[i] ^= 7;
    const int lead = pawns[0];
    for (int i = 1; i < lead; i++)
        for (int j = i + 1; j < lead; j++)
            if (ptwist[pos[i]] < ptwist[pos[j]]) {
                int x = pos[i];
                pos[i] = pos[j];
                pos[j] = x;
            }
    const int t = lead - 1;
    uint64_t idx = (uint64_t)pawnidx[t][flap[pos[0]]];
    for (int i = t; i > 0; i--) idx += (uint64_t)binomial[t - i][ptwist[pos[i]]];
    idx *= factor[0];

    int i = lead;
    if (pawns[1]) {
        // The other colour's pawns, on the 48 squares of ranks 2 to 7.
        const int n = norm[i];
        uint64_t digit;
        if (n < 1 || n > 5 || i + n > num || !GroupDigit(i, n, pos, 8, &digit)) return NO_INDEX;
        idx += digit * factor[i];
        i += n;
    }
    if (!EncodeGroups(i, num, norm, pos, factor, &idx)) return NO_INDEX;
    return idx;
}

// ---------------------------------------------------------------------------
// Compressed value tables

// Entries of the fast code table: bits 0-5 the code length, 6-17 the symbol,
// 18-25 its values minus one; length 0 for the two entries that are no code
// of up to FAST_CODE_BITS bits: FAST_LONG, the beginning of a longer code
// (only in a table whose longest code is longer), and FAST_NO_SYMBOL, a short
// code whose symbol does not exist. Entries of the skip table: bits 0-3 the
// bits of the whole codes at the start of a stretch, 4-15 their values.
enum : uint32_t { FAST_LONG = 0, FAST_NO_SYMBOL = 1u << 6 };

void free_pairs(PairsData* d) { free(d); }

// Values per symbol, children before parents; false when a symbol refers
// to one that does not exist, to itself or round in a circle, or stands for
// more than 256 values.
static bool ComputeSymbolLengths(PairsData* d) {
    const uint32_t n = d->num_syms;
    std::vector<uint8_t> state(n, 0);  // 0 new, 1 on the path, 2 done
    std::vector<uint32_t> stack;
    stack.reserve(64);
    for (uint32_t s0 = 0; s0 < n; s0++) {
        if (state[s0] == 2) continue;
        stack.push_back(s0);
        state[s0] = 1;
        while (!stack.empty()) {
            const uint32_t s = stack.back();
            const uint32_t w = Read24(d->sympat + 3 * s);
            const uint32_t left = w & 0xFFF, right = w >> 12;
            if (right == 0xFFF) {
                d->symlen[s] = 0;
                state[s] = 2;
                stack.pop_back();
                continue;
            }
            if (left >= n || right >= n) return false;
            bool pushed = false;
            for (uint32_t c : {left, right}) {
                if (state[c] == 1) return false;  // a circle
                if (state[c] == 0) {
                    state[c] = 1;
                    stack.push_back(c);
                    pushed = true;
                    break;
                }
            }
            if (pushed) continue;
            const int len = d->symlen[left] + d->symlen[right] + 1;
            if (len > 255) return false;
            d->symlen[s] = (uint8_t)len;
            state[s] = 2;
            stack.pop_back();
        }
    }
    return true;
}

PairsData* setup_pairs(const uint8_t* data, const uint8_t* end, uint64_t tb_size, uint64_t size[3],
                       const uint8_t** next, uint8_t* flags, bool wdl) {
    size[0] = size[1] = size[2] = 0;
    const uint64_t room = end > data ? (uint64_t)(end - data) : 0;
    if (room < 2) return nullptr;
    *flags = data[0];
    if (data[0] & PAIRS_SINGLE_VALUE) {
        if (wdl && data[1] > 4) return nullptr;  // not a WDL value
        PairsData* d = static_cast<PairsData*>(calloc(1, sizeof(PairsData)));
        if (!d) return nullptr;
        d->idxbits = 0;
        d->min_len = wdl ? data[1] : 0;
        d->tb_size = tb_size;
        *next = data + 2;
        return d;
    }
    if (room < 12) return nullptr;
    const int blocksize = data[1], idxbits = data[2];
    const uint32_t extra = data[3], real = Read32(data + 4);
    const int max_len = data[8], min_len = data[9];
    if (blocksize < 2 || blocksize > 24 || idxbits < 1 || idxbits > 32) return nullptr;
    if (min_len < 1 || max_len > 32 || min_len > max_len) return nullptr;
    const int h = max_len - min_len + 1;
    if (room < 12 + 2 * (uint64_t)h) return nullptr;
    const uint32_t num_syms = Read16(data + 10 + 2 * h);
    if (num_syms == 0 || num_syms > 4096) return nullptr;
    const uint64_t header = 12 + 2 * (uint64_t)h + 3 * (uint64_t)num_syms + (num_syms & 1);
    if (room < header) return nullptr;

    PairsData* d = static_cast<PairsData*>(malloc(sizeof(PairsData) + 4 * (size_t)h + 4 * ((size_t)1 << FAST_CODE_BITS) +
                                                  2 * ((size_t)1 << SKIP_CODE_BITS) + num_syms));
    if (!d) return nullptr;
    memset(d, 0, sizeof(PairsData));
    d->base = reinterpret_cast<uint32_t*>(d + 1);
    d->fast = d->base + h;
    d->skip = reinterpret_cast<uint16_t*>(d->fast + (1 << FAST_CODE_BITS));
    d->symlen = reinterpret_cast<uint8_t*>(d->skip + (1 << SKIP_CODE_BITS));
    d->blocksize = blocksize;
    d->idxbits = idxbits;
    d->min_len = min_len;
    d->max_len = max_len;
    d->num_syms = num_syms;
    d->offset = data + 10;
    d->sympat = data + 12 + 2 * h;
    d->tb_size = tb_size;
    d->index_entries = (tb_size + (1ULL << idxbits) - 1) >> idxbits;
    d->real_blocks = real;
    d->size_entries = real + extra;
    *next = data + header;

    if (!ComputeSymbolLengths(d)) {
        free(d);
        return nullptr;
    }
    d->base[h - 1] = 0;
    for (int i = h - 2; i >= 0; i--)
        d->base[i] = (d->base[i + 1] + Read16(d->offset + 2 * i) - Read16(d->offset + 2 * (i + 1))) / 2;
    for (int i = 0; i < h; i++) d->base[i] <<= 32 - (min_len + i);  // min_len + i >= 1

    // A code that fits into the first n bits of the stream is decided by
    // them alone: the comparisons with the bases of its length and the
    // shorter ones read no further (the search ends at the last base, 0).
    // Its length (0: not decided, -1: no such symbol) and symbol:
    auto code_at = [d, min_len, num_syms](uint32_t stream, int n, uint32_t* sym) {
        int l = 0;
        while (stream < d->base[l]) l++;
        if (l + min_len > n) return 0;
        *sym = Read16(d->offset + 2 * l) + ((stream - d->base[l]) >> (32 - (l + min_len)));
        return *sym < num_syms ? l + min_len : -1;
    };
    for (uint32_t v = 0; v < (1u << FAST_CODE_BITS); v++) {
        uint32_t sym = 0;
        const int l = code_at(v << (32 - FAST_CODE_BITS), FAST_CODE_BITS, &sym);
        d->fast[v] = l > 0 ? (uint32_t)l | sym << 6 | (uint32_t)d->symlen[sym] << 18 : l < 0 ? FAST_NO_SYMBOL : FAST_LONG;
    }
    for (uint32_t v = 0; v < (1u << SKIP_CODE_BITS); v++) {
        int bits = 0;
        uint32_t values = 0, sym = 0;
        for (int l; bits < SKIP_CODE_BITS && (l = code_at(v << (32 - SKIP_CODE_BITS + bits), SKIP_CODE_BITS - bits, &sym)) > 0;) {
            bits += l;
            values += d->symlen[sym] + 1u;
        }
        d->skip[v] = (uint16_t)(bits | values << 4);  // at most 12 codes of 256 values
    }

    size[0] = 6 * d->index_entries;
    size[1] = 2 * (uint64_t)d->size_entries;
    size[2] = (uint64_t)real << blocksize;
    return d;
}

int decompress_pairs(const PairsData* d, uint64_t idx) {
    if (!d->idxbits) return d->min_len;
    if (idx >= d->tb_size) return -1;

    const uint64_t mainidx = idx >> d->idxbits;
    int64_t litidx = (int64_t)(idx & ((1ULL << d->idxbits) - 1)) - (int64_t)(1ULL << (d->idxbits - 1));
    const uint8_t* entry = d->indextable + 6 * mainidx;
    uint32_t block = Read32(entry);
    litidx += Read16(entry + 4);
    if (block >= d->size_entries) return -1;
    // Mostly the value lies in the named block: fetch it while the sizes are read.
    if (block < d->real_blocks) __builtin_prefetch(d->data + ((uint64_t)block << d->blocksize));

    if (litidx < 0) {
        do {
            if (block == 0) return -1;
            block--;
            litidx += (int64_t)Read16(d->sizetable + 2 * block) + 1;
        } while (litidx < 0);
    } else {
        while (litidx > (int64_t)Read16(d->sizetable + 2 * block)) {
            litidx -= (int64_t)Read16(d->sizetable + 2 * block) + 1;
            if (++block >= d->size_entries) return -1;
        }
    }
    if (block >= d->real_blocks) return -1;

    // The stream is read big-endian from the block: at each step the 57 or
    // more bits from bit `at` on, with bits past the block's end read as 0.
    const uint8_t* ptr = d->data + ((uint64_t)block << d->blocksize);
    const uint32_t block_bytes = 1u << d->blocksize;
    const int min_len = d->min_len;
    const uint32_t* base = d->base;
    const uint8_t* offset = d->offset;
    uint64_t at = 0;
    uint32_t sym;
    for (;;) {
        const uint64_t byte = at >> 3;
        uint64_t window;
        if (byte + 8 <= block_bytes) {
            memcpy(&window, ptr + byte, 8);
            window = __builtin_bswap64(window);
        } else if (byte < block_bytes) {
            window = 0;
            for (uint64_t i = byte; i < block_bytes; i++) window |= (uint64_t)ptr[i] << (56 - 8 * (i - byte));
        } else {
            return -1;  // ran off the block
        }
        window <<= at & 7;
        // Whole codes before the wanted value are passed over in stretches;
        // the 57 bits hold four of them (48 bits) and the next lookup.
        bool skipped = false;
        for (int k = 0; k < 4; k++) {
            const uint32_t skip = d->skip[window >> (64 - SKIP_CODE_BITS)];
            const int bits = (int)(skip & 15);
            if (!bits || litidx < (int64_t)(skip >> 4)) break;
            litidx -= (int64_t)(skip >> 4);
            window <<= bits;
            at += (uint64_t)bits;
            skipped = true;
        }
        if (skipped) continue;  // reload: a long code needs 32 bits
        const uint32_t entry = d->fast[window >> (64 - FAST_CODE_BITS)];
        int l = (int)(entry & 63);
        int64_t count;
        if (l != 0) {
            sym = (entry >> 6) & 0xFFF;
            count = (int64_t)(entry >> 18) + 1;
        } else {
            // A code naming no symbol, or a longer code: its length lies
            // between FAST_CODE_BITS + 1 (or the shortest) and the longest,
            // where the last base, 0, ends the search. A table whose codes all
            // fit into FAST_CODE_BITS bits has no longer ones.
            if (entry != FAST_LONG || d->max_len <= FAST_CODE_BITS) return -1;
            const uint32_t code = (uint32_t)(window >> 32);
            l = FAST_CODE_BITS + 1 > min_len ? FAST_CODE_BITS + 1 - min_len : 0;
            while (code < base[l]) l++;
            sym = Read16(offset + 2 * l) + ((code - base[l]) >> (32 - (l + min_len)));
            l += min_len;
            if (sym >= d->num_syms) return -1;
            count = (int64_t)d->symlen[sym] + 1;
        }
        if (litidx < count) break;
        litidx -= count;
        at += (uint64_t)l;
    }
    while (d->symlen[sym] != 0) {
        const uint32_t w = Read24(d->sympat + 3 * sym);
        const uint32_t left = w & 0xFFF;
        if (litidx < (int64_t)d->symlen[left] + 1) {
            sym = left;
        } else {
            litidx -= (int64_t)d->symlen[left] + 1;
            sym = w >> 12;
        }
    }
    return d->sympat[3 * sym];
}

// ---------------------------------------------------------------------------
// Table set-up

namespace {

// A cursor over the mapped file that never moves past its end.
struct FileCursor {
    const uint8_t* start;
    uint64_t length;
    uint64_t at;
    bool Has(uint64_t n) const { return at <= length && n <= length - at; }
    const uint8_t* Ptr() const { return start + at; }
    const uint8_t* End() const { return start + length; }
    bool Skip(uint64_t n) {
        if (!Has(n)) return false;
        at += n;
        return true;
    }
    void PadEven() { at += at & 1; }
    bool Align64() {
        const uint64_t to = (at + 63) & ~63ULL;
        if (to > length) return false;
        at = to;
        return true;
    }
};

void ReportCorrupt(const char* name, const char* suffix, const char* what) {
    fprintf(stderr, "Corrupted table %s%s: %s.\n", name, suffix, what);
}

// Whether a piece list fits the table: valid codes, the table's material,
// one king each, equal pieces side by side and a leading group of lead
// distinct unique pieces.
bool PiecesFit(const TBEntry* e, const uint8_t* pieces, int lead) {
    int counts[16] = {};
    for (int i = 0; i < e->num; i++) {
        const int c = pieces[i];
        if ((c & 7) == 0 || (c & 7) == 7) return false;
        counts[c]++;
    }
    if (counts[6] != 1 || counts[14] != 1) return false;
    if (material_key_from_counts(counts, false) != e->key) return false;
    for (int i = 0; i < e->num; i++)
        for (int j = i + 2; j < e->num; j++)
            if (pieces[j] == pieces[i] && pieces[j - 1] != pieces[i]) return false;
    for (int i = 0; i < lead; i++)
        if (counts[pieces[i]] != 1) return false;
    return true;
}

// Whether a pawn table's piece list starts with the leading pawns (and the
// other colour's pawns right after them).
bool PawnsLead(const uint8_t pawns[2], const uint8_t* pieces, int lead_code) {
    if (pieces[0] != lead_code) return false;
    for (int i = 0; i < pawns[0]; i++)
        if (pieces[i] != lead_code) return false;
    for (int i = pawns[0]; i < pawns[0] + pawns[1]; i++)
        if (pieces[i] != (lead_code ^ 8)) return false;
    return true;
}

}  // namespace

static void FreePairsArray(PairsData** p, int n) {
    for (int i = 0; i < n; i++) {
        free_pairs(p[i]);
        p[i] = nullptr;
    }
}

void free_wdl_tables(TBEntry* e) {
    if (e->has_pawns) {
        TBEntry_pawn* p = static_cast<TBEntry_pawn*>(e);
        for (TBPawnFile& f : p->file) FreePairsArray(f.precomp, 2);
    } else {
        FreePairsArray(static_cast<TBEntry_piece*>(e)->precomp, 2);
    }
    unmap_file(e->data, e->mapping);
    e->data = nullptr;
    e->mapping = 0;
}

void free_dtz_tables(TBEntry* e) {
    if (e->has_pawns) {
        DTZEntry_pawn* p = static_cast<DTZEntry_pawn*>(e);
        for (DTZPawnFile& f : p->file) FreePairsArray(&f.precomp, 1);
    } else {
        FreePairsArray(&static_cast<DTZEntry_piece*>(e)->precomp, 1);
    }
    unmap_file(e->data, e->mapping);
    e->data = nullptr;
    e->mapping = 0;
}

TBEntry* new_dtz_entry(const TBEntry* w) {
    TBEntry* e = w->has_pawns ? static_cast<TBEntry*>(new (std::nothrow) DTZEntry_pawn())
                              : static_cast<TBEntry*>(new (std::nothrow) DTZEntry_piece());
    if (!e) return nullptr;
    e->key = w->key;
    e->num = w->num;
    e->symmetric = w->symmetric;
    e->has_pawns = w->has_pawns;
    if (w->has_pawns) {
        static_cast<DTZEntry_pawn*>(e)->pawns[0] = static_cast<const TBEntry_pawn*>(w)->pawns[0];
        static_cast<DTZEntry_pawn*>(e)->pawns[1] = static_cast<const TBEntry_pawn*>(w)->pawns[1];
    } else {
        static_cast<DTZEntry_piece*>(e)->enc_type = static_cast<const TBEntry_piece*>(w)->enc_type;
    }
    return e;
}

void delete_dtz_entry(TBEntry* e) {
    if (!e) return;
    free_dtz_tables(e);
    if (e->has_pawns) delete static_cast<DTZEntry_pawn*>(e);
    else delete static_cast<DTZEntry_piece*>(e);
}

// Places the index, size and block areas of the value tables behind the
// headers, in order; false when the file is too short for them.
static bool PlaceAreas(FileCursor& c, PairsData** tables, uint64_t (*sizes)[3], int n) {
    for (int i = 0; i < n; i++) {
        tables[i]->indextable = c.Ptr();
        if (!c.Skip(sizes[i][0])) return false;
    }
    for (int i = 0; i < n; i++) {
        tables[i]->sizetable = c.Ptr();
        if (!c.Skip(sizes[i][1])) return false;
    }
    for (int i = 0; i < n; i++) {
        if (sizes[i][2] == 0) continue;
        if (!c.Align64()) return false;
        tables[i]->data = c.Ptr();
        if (!c.Skip(sizes[i][2])) return false;
    }
    return true;
}

// The piece list of one value table from a description (pieces in the
// low nibbles for s = 0, the high ones for s = 1, after `skip` order bytes),
// with its group sizes, digit weights and number of indices. A pawn table's
// lists all start with the leading pawns of lead_code (file a's first piece
// of table 0, which the probes go by). Returns what is wrong, or nullptr.
static const char* SetUpPieceList(const TBEntry* e, const uint8_t* desc, int skip, int s, int order, int order2,
                                  int file, int lead_code, uint8_t* pieces, uint8_t* norm, uint64_t* factor,
                                  uint64_t* size) {
    const int num = e->num;
    for (int i = 0; i < num; i++) pieces[i] = (uint8_t)(s ? desc[i + skip] >> 4 : desc[i + skip] & 0x0F);
    if (!e->has_pawns) {
        const int enc_type = static_cast<const TBEntry_piece*>(e)->enc_type;
        if (!PiecesFit(e, pieces, enc_type == 0 ? 3 : 2)) return "piece description does not fit the material";
        fill_norm_piece(num, enc_type, norm, pieces);
        *size = calc_factors_piece(factor, num, order, norm, enc_type);
    } else {
        const uint8_t* pawns = static_cast<const TBEntry_pawn*>(e)->pawns;
        if (!PiecesFit(e, pieces, 0) || !PawnsLead(pawns, pieces, lead_code))
            return "piece description does not fit the material";
        if ((pawns[1] != 0) == (order2 >= 15) || order == order2) return "pawn order out of range";
        fill_norm_pawn(pawns, num, norm, pieces);
        *size = calc_factors_pawn(factor, num, order, order2, norm, file);
    }
    return *size ? nullptr : "piece order out of range";
}

static inline int Nibble(uint8_t byte, int s) { return s ? byte >> 4 : byte & 0x0F; }

// A mapped file's piece descriptions: one per table side s < sides, for one
// file or four (pawn tables), each into the record's lists that slot(f, s)
// names; the number of indices of each into size[f][s].
struct PieceListSlot {
    uint8_t* pieces;
    uint8_t* norm;
    uint64_t* factor;
};
template <class SlotOf>
static const char* ReadDescriptions(FileCursor& c, const TBEntry* e, int sides, SlotOf slot, uint64_t (*size)[2]) {
    const int num = e->num;
    const int skip = e->has_pawns && static_cast<const TBEntry_pawn*>(e)->pawns[1] ? 2 : 1;
    const int groups = e->has_pawns ? 4 : 1;
    if (!c.Has((uint64_t)groups * (uint64_t)(num + skip))) return "piece description cut short";
    const int lead_code = c.Ptr()[skip] & 0x0F;
    for (int f = 0; f < groups; f++) {
        const uint8_t* desc = c.Ptr();
        for (int s = 0; s < sides; s++) {
            const PieceListSlot l = slot(f, s);
            const int order = Nibble(desc[0], s);
            const int order2 = skip == 2 ? Nibble(desc[1], s) : 15;
            const char* why =
                SetUpPieceList(e, desc, skip, s, order, order2, f, lead_code, l.pieces, l.norm, l.factor, &size[f][s]);
            if (why) return why;
        }
        c.Skip((uint64_t)(num + skip));
    }
    c.PadEven();
    return nullptr;
}

// The value tables' headers, one after the other; false on a bad one.
static bool ReadPairsHeaders(FileCursor& c, int n, const uint64_t* tb_size, bool wdl, PairsData** tables,
                             uint64_t (*sizes)[3], uint8_t* flags, int* made) {
    for (int i = 0; i < n; i++) {
        const uint8_t* next = nullptr;
        tables[i] = setup_pairs(c.Ptr(), c.End(), tb_size[i], sizes[i], &next, &flags[i], wdl);
        if (!tables[i]) return false;
        (*made)++;
        c.at = (uint64_t)(next - c.start);
    }
    return true;
}

// The layout byte after the signature, with the checks that need no more.
static const char* ReadLayout(FileCursor& c, const TBEntry* e, int* files, bool* split) {
    if (!c.Has(5)) return "shorter than its header";
    const uint8_t head = c.start[4];
    *split = head & 1;
    *files = (head & 2) ? 4 : 1;
    if ((head & 2) && !e->has_pawns) return "a pawn layout in a table without pawns";
    if (e->num > TBPIECES) return "too many pieces";
    c.at = 5;
    return nullptr;
}

// The areas of a file's value tables, unless something is wrong already:
// then, or when the areas do not fit, the file is reported and the value
// tables made so far are released.
static bool PlaceOrReport(FileCursor& c, PairsData** tables, uint64_t (*sizes)[3], int n, int made, const char* why,
                          const char* name, const char* suffix, const char** why_out) {
    if (!why && !PlaceAreas(c, tables, sizes, n)) why = "shorter than its tables";
    if (!why) return true;
    FreePairsArray(tables, made);
    ReportCorrupt(name, suffix, why);
    if (why_out) *why_out = why;
    return false;
}

bool init_table_wdl(TBEntry* entry, const char* name, const char** why_out) {
    FileCursor c{entry->data, entry->mapping, 0};
    PairsData* tables[8] = {};
    uint64_t sizes[8][3] = {}, tb_size[4][2] = {};
    uint8_t flags[8];
    int files = 1, made = 0;
    bool split = false;
    const char* why = ReadLayout(c, entry, &files, &split);
    const int sides = split ? 2 : 1;
    if (!why) {
        why = entry->has_pawns
                  ? ReadDescriptions(c, entry, sides,
                                     [entry](int f, int s) {
                                         TBPawnFile& p = static_cast<TBEntry_pawn*>(entry)->file[f];
                                         return PieceListSlot{p.pieces[s], p.norm[s], p.factor[s]};
                                     },
                                     tb_size)
                  : ReadDescriptions(c, entry, sides,
                                     [entry](int, int s) {
                                         TBEntry_piece* p = static_cast<TBEntry_piece*>(entry);
                                         return PieceListSlot{p->pieces[s], p->norm[s], p->factor[s]};
                                     },
                                     tb_size);
    }
    // Table sizes in file order: file by file, table 0 before table 1.
    uint64_t order[8];
    for (int f = 0; f < files; f++)
        for (int s = 0; s < sides; s++) order[f * sides + s] = tb_size[f][s];
    const int n = files * sides;
    if (!why && !ReadPairsHeaders(c, n, order, true, tables, sizes, flags, &made)) why = "bad value table header";
    if (!PlaceOrReport(c, tables, sizes, n, made, why, name, ".rtbw", why_out)) return false;
    if (!entry->has_pawns) {
        TBEntry_piece* e = static_cast<TBEntry_piece*>(entry);
        e->precomp[0] = tables[0];
        e->precomp[1] = split ? tables[1] : nullptr;
    } else {
        TBEntry_pawn* e = static_cast<TBEntry_pawn*>(entry);
        for (int f = 0; f < 4; f++)
            for (int s = 0; s < 2; s++) e->file[f].precomp[s] = f < files && s < sides ? tables[f * sides + s] : nullptr;
    }
    return true;
}

// The four value maps of a DTZ table behind its headers.
static bool ReadMaps(FileCursor& c, const uint8_t* map, uint16_t* map_idx) {
    for (int i = 0; i < 4; i++) {
        if (!c.Has(1)) return false;
        const uint8_t n = *c.Ptr();
        if (!c.Has(1 + (uint64_t)n)) return false;
        const uint64_t idx = (uint64_t)(c.Ptr() - map) + 1;
        if (idx > 0xFFFF) return false;
        map_idx[i] = (uint16_t)idx;
        c.Skip(1 + (uint64_t)n);
    }
    return true;
}

bool init_table_dtz(TBEntry* entry, const char* name, const char** why_out) {
    FileCursor c{entry->data, entry->mapping, 0};
    PairsData* tables[4] = {};
    uint64_t sizes[4][3] = {}, tb_size[4][2] = {};
    uint8_t flags[4] = {};
    int files = 1, made = 0;
    bool split = false;
    const char* why = ReadLayout(c, entry, &files, &split);
    if (!why) {
        why = entry->has_pawns
                  ? ReadDescriptions(c, entry, 1,
                                     [entry](int f, int) {
                                         DTZPawnFile& p = static_cast<DTZEntry_pawn*>(entry)->file[f];
                                         return PieceListSlot{p.pieces, p.norm, p.factor};
                                     },
                                     tb_size)
                  : ReadDescriptions(c, entry, 1,
                                     [entry](int, int) {
                                         DTZEntry_piece* p = static_cast<DTZEntry_piece*>(entry);
                                         return PieceListSlot{p->pieces, p->norm, p->factor};
                                     },
                                     tb_size);
    }
    uint64_t order[4];
    for (int f = 0; f < files; f++) order[f] = tb_size[f][0];
    if (!why && !ReadPairsHeaders(c, files, order, false, tables, sizes, flags, &made)) why = "bad value table header";
    // The value maps of each file whose header says it has them.
    const uint8_t* map = c.Ptr();
    uint16_t map_idx[4][4] = {};
    for (int f = 0; f < files && !why; f++)
        if ((flags[f] & DTZ_HAS_MAPS) && !ReadMaps(c, map, map_idx[f])) why = "value maps cut short";
    // A symmetric pawn table is probed with the colours turned so that white
    // is to move, and that side is compared with the stored one: stored for
    // black, every probe would search the successors, which are probed the
    // same way, without end. A symmetric table without pawns is read whatever
    // its stored side says (only other tables compare it).
    for (int f = 0; f < files && !why; f++)
        if (entry->symmetric && entry->has_pawns && (flags[f] & DTZ_STM_BLACK))
            why = "symmetric table stored for black to move";
    c.PadEven();
    if (!PlaceOrReport(c, tables, sizes, files, made, why, name, ".rtbz", why_out)) return false;
    if (!entry->has_pawns) {
        DTZEntry_piece* e = static_cast<DTZEntry_piece*>(entry);
        e->precomp = tables[0];
        e->flags = flags[0];
        e->map = map;
        for (int i = 0; i < 4; i++) e->map_idx[i] = map_idx[0][i];
    } else {
        DTZEntry_pawn* e = static_cast<DTZEntry_pawn*>(entry);
        for (int f = 0; f < 4; f++) {
            e->file[f].precomp = f < files ? tables[f] : nullptr;
            e->flags[f] = f < files ? flags[f] : 0;
            for (int i = 0; i < 4; i++) e->map_idx[f][i] = map_idx[f][i];
        }
        e->map = map;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Files

// The folders of the path list that have been reported as unreadable in
// this registration (their files are not reported one by one).
static std::vector<bool> folder_reported;

FileHandle open_tb(const char* name, const char* suffix, bool report, std::string* path) {
    enum { MAX_PATH_LEN = 255 };
    char file[MAX_PATH_LEN + 1];
    for (size_t i = 0; i < paths.size(); i++) {
        const std::string& dir = paths[i];
        const size_t stem = dir.size() + 1 + strlen(name);
        if (stem >= MAX_PATH_LEN) return NO_FILE;  // no room: the search ends here
        snprintf(file, sizeof file, "%s/%s%s", dir.c_str(), name, suffix);  // a suffix that does not fit is cut
        int error = 0;
        FileHandle f = OpenReadOnly(file, &error);
        if (f != NO_FILE) {
            if (path) *path = file;
            return f;
        }
        if (!report || error == ENOENT || error == ENOTDIR) continue;
        if (i < folder_reported.size() && folder_reported[i]) continue;
        // Whether the folder itself is the trouble: then every name tried in
        // it fails alike, and it is reported once.
        if (!FileExists((dir + "/.").c_str())) {
            if (i < folder_reported.size()) folder_reported[i] = true;
            fprintf(stderr, "Could not read folder %s: %s.\n", dir.c_str(), strerror(error));
            ShowMessageF("info string cannot read tablebase folder %s: %s", dir.c_str(), strerror(error));
        } else {
            fprintf(stderr, "Could not open %s: %s.\n", file, OpenFailure(error));
            ShowMessageF("info string cannot use table file %s: %s", file, OpenFailure(error));
        }
    }
    return NO_FILE;
}

// Maps an open table file; on failure reports it on standard error and
// returns nullptr with what is wrong in *why.
static const uint8_t* MapTableFile(FileHandle f, const char* name, const char* suffix, uint64_t* mapping,
                                   const char** why) {
    uint64_t size = 0;
    MapStatus status = MAP_DONE;
    int error = 0;
    const void* p = MapOpenFile(f, &size, &status, &error);
    switch (status) {
    case MAP_DONE: break;
    case MAP_STAT_FAILED: fprintf(stderr, "fstat: %s\n", strerror(error)); break;
    case MAP_NOT_REGULAR: fprintf(stderr, "Could not mmap() %s%s: not a regular file.\n", name, suffix); break;
    case MAP_EMPTY: fprintf(stderr, "Could not mmap() %s%s: the file is empty.\n", name, suffix); break;
    case MAP_REFUSED: fprintf(stderr, "Could not mmap() %s%s: %s.\n", name, suffix, strerror(error)); break;
    }
    *why = status == MAP_NOT_REGULAR ? "not a regular file"
           : status == MAP_EMPTY     ? "the file is empty"
                                     : strerror(error);
    *mapping = p ? size : 0;
    return static_cast<const uint8_t*>(p);
}

const uint8_t* map_file(const char* name, const char* suffix, uint64_t* mapping, bool* found) {
    *mapping = 0;
    FileHandle f = open_tb(name, suffix);
    *found = f != NO_FILE;
    if (f == NO_FILE) return nullptr;
    const char* why = nullptr;
    const uint8_t* p = MapTableFile(f, name, suffix, mapping, &why);
    CloseFile(f);
    return p;
}

void unmap_file(const uint8_t* data, uint64_t mapping) {
    if (!data) return;
    if (!UnmapFile(data, mapping)) fprintf(stderr, "munmap: %s\n", strerror(errno));
}

// ---------------------------------------------------------------------------
// Registry

static void ReleaseTables() {
    for (int i = 0; i < TBnum_piece; i++) free_wdl_tables(&TB_piece[i]);
    for (int i = 0; i < TBnum_pawn; i++) free_wdl_tables(&TB_pawn[i]);
    for (DTZTableEntry& d : DTZ_table) {
        delete_dtz_entry(d.entry);
        d = DTZTableEntry{0, 0, nullptr};
    }
    for (auto& bucket : TB_hash)
        for (TBHashEntry& h : bucket) {
            h.key.store(0, std::memory_order_relaxed);
            h.ptr = nullptr;
        }
    for (int i = 0; i < TBnum_piece; i++) TB_piece[i].ready.store(0, std::memory_order_relaxed);
    for (int i = 0; i < TBnum_pawn; i++) TB_pawn[i].ready.store(0, std::memory_order_relaxed);
    TBnum_piece = TBnum_pawn = 0;
    TB_LARGEST = 0;
    paths.clear();
}

// Free slots of a key's bucket.
static int FreeSlots(uint64_t key) {
    int n = 0;
    for (const TBHashEntry& h : TB_hash[key >> (64 - TBHASHBITS)]) n += h.ptr == nullptr;
    return n;
}

static void add_to_hash(TBEntry* entry, uint64_t key) {
    for (TBHashEntry& h : TB_hash[key >> (64 - TBHASHBITS)])
        if (!h.ptr) {
            h.ptr = entry;
            h.key.store(key, std::memory_order_relaxed);
            return;
        }
}

TBEntry* init_tb(const char* name) {
    int counts[16] = {};
    int colour = 0;
    for (const char* s = name; *s; s++) {
        switch (*s) {
        case 'P': counts[1 | colour]++; break;
        case 'N': counts[2 | colour]++; break;
        case 'B': counts[3 | colour]++; break;
        case 'R': counts[4 | colour]++; break;
        case 'Q': counts[5 | colour]++; break;
        case 'K': counts[6 | colour]++; break;
        case 'v': colour = 8; break;
        default: break;
        }
    }
    int num = 0;
    for (int c : counts) num += c;
    if (num > TBPIECES || counts[6] != 1 || counts[14] != 1) {
        fprintf(stderr, "Table %s is not a table of up to %d pieces with one king each; skipped.\n", name, TBPIECES);
        return nullptr;
    }
    const uint64_t key = material_key_from_counts(counts, false);
    const uint64_t key2 = material_key_from_counts(counts, true);
    const bool has_pawns = counts[1] || counts[9];

    // Both keys must find room before the table takes a record.
    if (key == key2 ? FreeSlots(key) < 1
                    : (key >> (64 - TBHASHBITS)) == (key2 >> (64 - TBHASHBITS)) ? FreeSlots(key) < 2
                                                                              : FreeSlots(key) < 1 || FreeSlots(key2) < 1) {
        fprintf(stderr, "HSHMAX too low! Table %s skipped.\n", name);
        return nullptr;
    }
    TBEntry* entry;
    if (!has_pawns) {
        if (TBnum_piece == TBMAX_PIECE) {
            fprintf(stderr, "TBMAX_PIECE limit too low! Table %s skipped.\n", name);
            return nullptr;
        }
        TBEntry_piece* e = &TB_piece[TBnum_piece++];
        int unique = 0;
        for (int c : counts) unique += c == 1;
        e->enc_type = unique >= 3 ? 0 : 2;
        e->precomp[0] = e->precomp[1] = nullptr;
        entry = e;
    } else {
        if (TBnum_pawn == TBMAX_PAWN) {
            fprintf(stderr, "TBMAX_PAWN limit too low! Table %s skipped.\n", name);
            return nullptr;
        }
        TBEntry_pawn* e = &TB_pawn[TBnum_pawn++];
        uint8_t p0 = (uint8_t)counts[1], p1 = (uint8_t)counts[9];
        if (p1 > 0 && (p0 == 0 || p1 < p0)) {
            uint8_t x = p0;
            p0 = p1;
            p1 = x;
        }
        e->pawns[0] = p0;
        e->pawns[1] = p1;
        for (TBPawnFile& f : e->file) f.precomp[0] = f.precomp[1] = nullptr;
        entry = e;
    }
    entry->data = nullptr;
    entry->mapping = 0;
    entry->key = key;
    entry->ready.store(0, std::memory_order_relaxed);
    entry->num = (uint8_t)num;
    entry->symmetric = key == key2;
    entry->has_pawns = has_pawns;
    if ((unsigned)num > TB_LARGEST) TB_LARGEST = (unsigned)num;
    add_to_hash(entry, key);
    if (key2 != key) add_to_hash(entry, key2);
    return entry;
}

// Takes back the registration of the last table registered.
static void UnregisterLast(TBEntry* e) {
    for (auto& bucket : TB_hash)
        for (TBHashEntry& h : bucket)
            if (h.ptr == e) {
                h.key.store(0, std::memory_order_relaxed);
                h.ptr = nullptr;
            }
    if (e->has_pawns) TBnum_pawn--;
    else TBnum_piece--;
    TB_LARGEST = 0;
    for (int i = 0; i < TBnum_piece; i++)
        if (TB_piece[i].num > TB_LARGEST) TB_LARGEST = TB_piece[i].num;
    for (int i = 0; i < TBnum_pawn; i++)
        if (TB_pawn[i].num > TB_LARGEST) TB_LARGEST = TB_pawn[i].num;
}

// Maps an open table file into a record and sets it up as a probe would,
// then lets it go again (the record keeps nothing). Returns what is wrong
// with the file, nullptr when it can be used; a refusal is also reported on
// standard error.
static const char* CheckTableFile(FileHandle f, TBEntry* e, const char* name, bool dtz) {
    const char* suffix = dtz ? ".rtbz" : ".rtbw";
    const char* why = nullptr;
    uint64_t mapping = 0;
    const uint8_t* data = MapTableFile(f, name, suffix, &mapping, &why);
    if (!data) return why;
    if (mapping < 4 || Read32(data) != (dtz ? DTZ_MAGIC : WDL_MAGIC)) {
        why = "wrong signature";
        ReportCorrupt(name, suffix, why);
        unmap_file(data, mapping);
        return why;
    }
    e->data = data;
    e->mapping = mapping;
    why = nullptr;
    if (dtz) {
        init_table_dtz(e, name, &why);
        free_dtz_tables(e);
    } else {
        init_table_wdl(e, name, &why);
        free_wdl_tables(e);
    }
    return why;
}

// Tries one material name against the path list: its WDL file registers the
// table when it can be used; its DTZ file, when there is one, is checked too.
static void TryTable(const char* name) {
    std::string path;
    FileHandle f = open_tb(name, ".rtbw", true, &path);
    if (f == NO_FILE) return;
    TBEntry* e = init_tb(name);
    const char* why = e ? CheckTableFile(f, e, name, false) : nullptr;
    CloseFile(f);
    if (why) {
        ShowMessageF("info string cannot use table file %s: %s", path.c_str(), why);
        UnregisterLast(e);
        return;
    }
    if (!e) return;
    f = open_tb(name, ".rtbz", true, &path);
    if (f == NO_FILE) return;
    TBEntry* z = new_dtz_entry(e);
    if (z) {
        why = CheckTableFile(f, z, name, true);
        delete_dtz_entry(z);
        if (why) ShowMessageF("info string cannot use table file %s: %s", path.c_str(), why);
    }
    CloseFile(f);
}

void init_tablebases(const char* path) {
    if (!initialized) {
        init_indices();
        initialized = true;
    }
    ReleaseTables();
    TB_generation++;
    if (!path || !*path || !strcmp(path, "<empty>")) return;

    for (const char* s = path;;) {
        const char* e = strchr(s, ':');
        const size_t n = e ? (size_t)(e - s) : strlen(s);
        if (n) paths.emplace_back(s, n);
        if (!e) break;
        s = e + 1;
    }
    folder_reported.assign(paths.size(), false);

    static const char letters[] = "KQRBNP";
    char name[16];
    for (int i = 1; i <= 5; i++) {
        snprintf(name, sizeof name, "K%cvK", letters[i]);
        TryTable(name);
    }
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++) {
            snprintf(name, sizeof name, "K%cvK%c", letters[i], letters[j]);
            TryTable(name);
        }
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++) {
            snprintf(name, sizeof name, "K%c%cvK", letters[i], letters[j]);
            TryTable(name);
        }
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = 1; k <= 5; k++) {
                snprintf(name, sizeof name, "K%c%cvK%c", letters[i], letters[j], letters[k]);
                TryTable(name);
            }
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = j; k <= 5; k++) {
                snprintf(name, sizeof name, "K%c%c%cvK", letters[i], letters[j], letters[k]);
                TryTable(name);
            }
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = i; k <= 5; k++)
                for (int l = (k == i ? j : k); l <= 5; l++) {
                    snprintf(name, sizeof name, "K%c%cvK%c%c", letters[i], letters[j], letters[k], letters[l]);
                    TryTable(name);
                }
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = j; k <= 5; k++)
                for (int l = 1; l <= 5; l++) {
                    snprintf(name, sizeof name, "K%c%c%cvK%c", letters[i], letters[j], letters[k], letters[l]);
                    TryTable(name);
                }
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = j; k <= 5; k++)
                for (int l = k; l <= 5; l++) {
                    snprintf(name, sizeof name, "K%c%c%c%cvK", letters[i], letters[j], letters[k], letters[l]);
                    TryTable(name);
                }

    printf("info string found %d tablebases\n", TBnum_piece + TBnum_pawn);
    fflush(stdout);
}
