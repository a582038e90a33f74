// Syzygy tables: the registry of table files found in the directories of the
// SyzygyPath setting, their read-only mapping, the decoder records set up
// from a mapped file, the numbering of positions into table indices and the
// decompression of one stored value.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/platform.h"

enum : int {
    TBPIECES = 6,       // the largest tables, kings included
    TBMAX_PIECE = 254,  // registered tables without pawns
    TBMAX_PAWN = 256,   // registered tables with pawns
    TBHASHBITS = 10,    // a key's bucket is its top 10 bits
    HSHMAX = 5,         // slots per bucket
    DTZ_ENTRIES = 64    // tables in the DTZ cache
};

// File signatures: the first four bytes, read little-endian.
enum : uint32_t { WDL_MAGIC = 0x5D23E871u, DTZ_MAGIC = 0xA50C66D7u };

// Material key constants, indexed by side (0 the key's first side, 1 the
// other) and piece type (1 pawn to 5 queen; kings add nothing).
extern const uint64_t MaterialKey[2][6];
// The key of a table from its piece counts, counts[code] for the piece codes
// 1-5 (first side) and 9-13 (other side); mirror swaps the sides.
uint64_t material_key_from_counts(const int counts[16], bool mirror);

// Codes of up to FAST_CODE_BITS bits are decoded by one table lookup, and
// the whole codes within the next SKIP_CODE_BITS bits are passed over by one.
enum : int { FAST_CODE_BITS = 8, SKIP_CODE_BITS = 12 };

// Decoder record of one compressed value table. The pointers into the file
// stay valid while its mapping lives; `base`, `fast`, `skip` and `symlen` live in
// the same allocation as the record.
struct PairsData {
    const uint8_t* indextable;  // 6-byte entries: u32 block, u16 place
    const uint8_t* sizetable;   // u16 entries: values per block minus one
    const uint8_t* data;        // the first block
    const uint8_t* offset;      // u16 first symbol of each code length from min_len
    const uint8_t* sympat;      // 3-byte symbol entries
    uint8_t* symlen;            // values per symbol minus one
    uint32_t* base;             // smallest code of each length from min_len, left-aligned
    uint32_t* fast;             // FAST_CODE_BITS-bit code beginnings: length, symbol and its values minus one
    uint16_t* skip;             // SKIP_CODE_BITS-bit stretches: bits and values of their whole codes
    int blocksize;              // log2 of the bytes of a block
    int idxbits;                // log2 of the values per index entry; 0: one value only
    int min_len;                // shortest code; for a single-value table the value
    int max_len;                // longest code
    uint32_t num_syms;
    uint64_t tb_size;           // indices of the table
    uint64_t index_entries;
    uint32_t real_blocks;
    uint32_t size_entries;      // real blocks and the extra entries after them
};

// The head that every table record begins with.
struct TBEntry {
    const uint8_t* data;         // the mapped file; none until loaded
    uint64_t key;                // material key of the table's name
    uint64_t mapping;            // mapped length, for unmap_file
    std::atomic<uint8_t> ready;  // 1 once set up (published with release)
    uint8_t num;                 // pieces, kings included
    uint8_t symmetric;           // both sides have the same material
    uint8_t has_pawns;
};

struct TBEntry_piece : TBEntry {
    uint8_t enc_type;  // 0: three unique pieces lead; 2: the two kings lead
    PairsData* precomp[2];
    uint64_t factor[2][TBPIECES];
    uint8_t pieces[2][TBPIECES];
    uint8_t norm[2][TBPIECES];
};

struct TBPawnFile {
    PairsData* precomp[2];
    uint64_t factor[2][TBPIECES];
    uint8_t pieces[2][TBPIECES];
    uint8_t norm[2][TBPIECES];
};

struct TBEntry_pawn : TBEntry {
    uint8_t pawns[2];  // pawn counts, leading colour first
    TBPawnFile file[4];
};

struct DTZEntry_piece : TBEntry {
    uint8_t enc_type;
    PairsData* precomp;
    uint64_t factor[TBPIECES];
    uint8_t pieces[TBPIECES];
    uint8_t norm[TBPIECES];
    uint8_t flags;
    uint16_t map_idx[4];
    const uint8_t* map;
};

struct DTZPawnFile {
    PairsData* precomp;
    uint64_t factor[TBPIECES];
    uint8_t pieces[TBPIECES];
    uint8_t norm[TBPIECES];
};

struct DTZEntry_pawn : TBEntry {
    uint8_t pawns[2];
    DTZPawnFile file[4];
    uint8_t flags[4];
    uint16_t map_idx[4][4];
    const uint8_t* map;
};

// Flags of a value table's header.
enum : uint8_t {
    PAIRS_SINGLE_VALUE = 0x80,
    DTZ_STM_BLACK = 0x01,   // the side to move whose positions are stored
    DTZ_HAS_MAPS = 0x02,
    DTZ_WIN_PLIES = 0x04,   // won positions counted in plies, not moves
    DTZ_LOSS_PLIES = 0x08
};

// The registry.
struct TBHashEntry {
    std::atomic<uint64_t> key;  // 0: free or disabled
    TBEntry* ptr;
};
extern TBHashEntry TB_hash[1 << TBHASHBITS][HSHMAX];
extern TBEntry_piece TB_piece[TBMAX_PIECE];
extern TBEntry_pawn TB_pawn[TBMAX_PAWN];
extern int TBnum_piece, TBnum_pawn;
// Largest piece count of a registered table, kings included; 0 when none.
extern unsigned TB_LARGEST;
// Counts the registrations: results found under an earlier one are stale.
extern uint64_t TB_generation;

// The DTZ cache (entry 0 most recently used); used under DtzCacheLock().
struct DTZTableEntry {
    uint64_t key1;    // the key the table is registered under
    uint64_t key2;    // the colour-swapped key
    TBEntry* entry;   // none when the table could not be loaded
};
extern DTZTableEntry DTZ_table[DTZ_ENTRIES];

// The lock held while a WDL table is mapped and set up, and the lock of the
// DTZ cache. Each is created once, on first use; nullptr only when the system
// has no memory for it.
Mutex* TableLoadingLock();
Mutex* DtzCacheLock();

// Registers the tables found in the path list (directories separated by ':');
// an empty path or "<empty>" registers none. A second call releases what the
// first one registered. Each table file found is set up once as a probe would
// set it up, then let go: a WDL file that cannot be used leaves its table
// unregistered, and every file or folder that cannot be used is named in an
// "info string" line (and on standard error). Prints "info string found N
// tablebases" with the number of usable tables.
void init_tablebases(const char* path);
// The directories of the path list in force.
int tb_num_paths();
const char* tb_path(int i);

// Registers the table of one material name such as KRPvKR (no file is
// opened) and returns its record. A full registry or a full hash bucket skips
// the table with a message on standard error (nullptr).
TBEntry* init_tb(const char* name);

// Opens name + suffix in the first directory of the path list that has it
// as a regular file (its path into *path when given); NO_FILE when none
// does. Anything else of that name is never opened. With report set,
// a file that exists but cannot be opened is reported, and a folder that
// cannot be searched is reported once per registration.
FileHandle open_tb(const char* name, const char* suffix, bool report = false, std::string* path = nullptr);
// Opens and maps a table file read-only; returns its bytes and stores its
// length in *mapping, or returns nullptr: with *found false when no directory
// has the file as a regular file (the caller reports it), else after a
// message on standard error (empty, refused by the system).
const uint8_t* map_file(const char* name, const char* suffix, uint64_t* mapping, bool* found);
void unmap_file(const uint8_t* data, uint64_t mapping);

// Set-up of a mapped file whose signature has been checked. Every header
// field and every area is checked against the file's length; a file that
// does not hold together is reported on standard error (with its name and
// suffix) and false is returned, with nothing left allocated and what is
// wrong in *why when given.
bool init_table_wdl(TBEntry* entry, const char* name, const char** why = nullptr);
bool init_table_dtz(TBEntry* entry, const char* name, const char** why = nullptr);
// Releases a record's decoder records and mapping (WDL or DTZ kind); the
// record itself stays.
void free_wdl_tables(TBEntry* entry);
void free_dtz_tables(TBEntry* entry);
// Unmaps, releases and deletes a DTZ record made by new_dtz_entry.
void delete_dtz_entry(TBEntry* entry);
// A fresh DTZ record for the material of a WDL record (its key, counts,
// symmetry and pawn files or encoding copied); nullptr without memory.
TBEntry* new_dtz_entry(const TBEntry* wdl);

// One compressed value table, set up from the pairs header at data (end is
// the end of the mapping). Returns nullptr when the header does not hold
// together. Writes the sizes of the table's index, size and block areas, the
// end of the header and its flags byte.
PairsData* setup_pairs(const uint8_t* data, const uint8_t* end, uint64_t tb_size, uint64_t size[3],
                       const uint8_t** next, uint8_t* flags, bool wdl);
void free_pairs(PairsData* d);

// The stored value of index idx, or -1 when the table's data do not hold
// together for it (a block or symbol out of range).
int decompress_pairs(const PairsData* d, uint64_t idx);

// Numbering of positions (built by the first init_tablebases, or by
// init_indices directly).
void init_indices();
extern int8_t offdiag[64];    // 0 on a1-h8, +1 above it, -1 below it
extern uint8_t flipdiag[64];  // file and rank exchanged
extern uint8_t triangle[64];  // class of a square under the eight board symmetries (0-9)
extern uint8_t lower[64];     // below-diagonal numbering, diagonal squares 28-35
extern uint8_t diag[64];      // a1-h8 0-7, h1-a8 8-15
extern int16_t KK_idx[10][64];
extern uint8_t ptwist[64];
extern uint8_t flap[64];
extern int32_t binomial[5][64];
extern int32_t pawnidx[5][24];
extern int32_t pfactor[5][4];
// The index a failed encoding gives: beyond every table.
enum : uint64_t { NO_INDEX = ~0ULL };

void fill_norm_piece(int num, int enc_type, uint8_t* norm, const uint8_t* pieces);
void fill_norm_pawn(const uint8_t pawns[2], int num, uint8_t* norm, const uint8_t* pieces);
// The digit weights of a table; returns its number of indices, or 0 when the
// order nibbles do not fit the groups.
uint64_t calc_factors_piece(uint64_t* factor, int num, int order, const uint8_t* norm, int enc_type);
uint64_t calc_factors_pawn(uint64_t* factor, int num, int order, int order2, const uint8_t* norm, int file);
int32_t subfactor(int k, int n);
// The index of the squares pos[0..num-1], listed in the table's piece order
// (both change pos: mirrored and sorted).
uint64_t encode_piece(int enc_type, int num, const uint8_t* norm, int* pos, const uint64_t* factor);
uint64_t encode_pawn(const uint8_t pawns[2], int num, const uint8_t* norm, int* pos, const uint64_t* factor);
