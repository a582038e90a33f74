// The position key table: 1024 keys from a fixed multiply-with-carry
// generator, checked so that no two keys are too much alike.
#include "board/keys.h"

#include "base/output.h"
#include "board/tables.h"

uint64_t rtable[16][64];
bool keys_made = false;

// Generator state: both start at 1 and are never reseeded, so the keys are
// the same in every run.
static uint32_t m_z = 1, m_w = 1;

static uint32_t GeneratorStep() {
    m_z = 36969u * (m_z & 0xFFFFu) + (m_z >> 16);
    m_w = 18000u * (m_w & 0xFFFFu) + (m_w >> 16);
    return (m_z << 16) + m_w;
}

static bool KeyIsGood(const uint64_t* keys, int n, uint64_t cand) {
    if (PopCount(cand) <= 15) return false;
    for (int m = 0; m < n; m++) {
        uint64_t x = cand ^ keys[m];
        if (PopCount(x & 0xFFFFFFFFULL) < 4 || PopCount(x >> 32) < 4) return false;
    }
    return true;
}

void MakeKeys() {
    if (keys_made) return;
    uint64_t* keys = &rtable[0][0];
    for (int n = 0; n < 1024; n++) {
        bool good = false;
        for (int attempt = 0; attempt < 5 && !good; attempt++) {
            uint64_t hi = GeneratorStep();
            uint64_t lo = GeneratorStep();
            keys[n] = (hi << 32) | lo;
            good = KeyIsGood(keys, n, keys[n]);
        }
        if (!good) ShowMessage("bad hashcode");
    }
    keys_made = true;
}
