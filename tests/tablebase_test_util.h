// Shared set-up for the tablebase tests: the folder of the shipped test
// tables and their solved sample positions, registration with its count line
// captured, positions as the probes see them, colour-flipped FEN text, and
// scratch folders for altered copies of the table files.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tablebase/glue.h"
#include "tablebase/tbcore.h"
#include "tablebase/tbprobe.h"
#include "tests/scratch_dir.h"
#include "tests/test_util.h"

inline std::string SyzygyDir() { return TESK_SYZYGY_DATA; }

inline bool HaveSyzygyData() {
    struct stat st;
    return stat((SyzygyDir() + "/KQvK.rtbw").c_str(), &st) == 0 &&
           stat((SyzygyDir() + "/sample.epd").c_str(), &st) == 0;
}

// Skips a test that needs the shipped tables when they are not there.
#define REQUIRE_SYZYGY_DATA()                                                                               \
    do {                                                                                                    \
        if (!HaveSyzygyData())                                                                              \
            GTEST_SKIP() << "the Syzygy test tables are not in " << SyzygyDir()                             \
                         << " (configure with -DTESK_SYZYGY_DATA=<folder>)";                                \
    } while (0)

// The second set of tables (five pieces, cursed wins and blessed losses,
// three equal pieces, two leading pawns); it needs the first folder beside it.
inline std::string SecondSetDir() { return std::string(TESK_SHARED_DATA) + "/syzygy-set2"; }
inline std::string BothSetsPath() { return SyzygyDir() + ":" + SecondSetDir(); }

inline bool HaveSecondSet() {
    struct stat st;
    return HaveSyzygyData() && stat((SecondSetDir() + "/KBBvKN.rtbw").c_str(), &st) == 0 &&
           stat((SecondSetDir() + "/sample.epd").c_str(), &st) == 0;
}

// Why a test that wants the second set stops, or stopped short.
inline std::string NoSecondSet() {
    return "the second set of Syzygy test tables is not in " + SecondSetDir() +
           " (it comes beside the first one, in the shared data folder)";
}

// The 14 materials of the second set.
inline const std::vector<std::string>& SecondSetMaterials() {
    static const std::vector<std::string> m = {"KBBvKN", "KBBBvK", "KQQvK", "KQRvK", "KQBvK", "KQNvK", "KRRvK",
                                               "KRBvK",  "KRNvK",  "KQPvK", "KRPvK", "KBPvK", "KNPvK", "KPPvK"};
    return m;
}

// Materials of the second set whose DTZ tables store distances in moves and
// whose winning distances are even: a winner's 2r plies read as 2r + 1, and
// the loser's one more after it.
inline bool EvenDistancesInMoves(const std::string& material) {
    return material == "KQBvK" || material == "KBBBvK";
}

// The 23 materials of the shipped tables.
inline const std::vector<std::string>& ShippedMaterials() {
    static const std::vector<std::string> m = {"KQvK",  "KRvK",  "KBvK",  "KNvK",  "KPvK",  "KBNvK",
                                               "KBBvK", "KNNvK", "KQvKQ", "KQvKR", "KQvKB", "KQvKN",
                                               "KRvKR", "KRvKB", "KRvKN", "KBvKB", "KBvKN", "KNvKN",
                                               "KQvKP", "KRvKP", "KBvKP", "KNvKP", "KPvKP"};
    return m;
}

// Registers the tables of a path list; returns what registration printed.
inline std::string RegisterTables(const std::string& path) {
    InitTestEnvironment();
    testing::internal::CaptureStdout();
    init_tablebases(path.c_str());
    return testing::internal::GetCapturedStdout();
}

// One line of sample.epd: "FEN ; material M ; wdl W ; dtz D ; probe_dtz P ; kind K".
struct SolvedPosition {
    std::string fen, material, kind;
    int wdl = 0;
    bool has_dtz = false;  // "-" for positions with an en-passant square
    int dtz = 0;
    int probe_dtz = 0;
};

inline std::vector<SolvedPosition> LoadSample(const std::string& dir = SyzygyDir()) {
    std::vector<SolvedPosition> out;
    std::ifstream in(dir + "/sample.epd");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        SolvedPosition s;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        for (std::string f; std::getline(ss, f, ';');) {
            while (!f.empty() && f.front() == ' ') f.erase(0, 1);
            while (!f.empty() && f.back() == ' ') f.pop_back();
            fields.push_back(f);
        }
        s.fen = fields[0];
        for (size_t i = 1; i < fields.size(); i++) {
            std::stringstream fs(fields[i]);
            std::string key, value;
            fs >> key >> value;
            if (key == "material") s.material = value;
            else if (key == "wdl") s.wdl = std::stoi(value);
            else if (key == "dtz") {
                s.has_dtz = value != "-";
                if (s.has_dtz) s.dtz = std::stoi(value);
            } else if (key == "probe_dtz") s.probe_dtz = std::stoi(value);
            else if (key == "kind") s.kind = value;
        }
        out.push_back(s);
    }
    return out;
}

// The same position with the colours exchanged: ranks mirrored, piece
// letters and the side to move swapped, the en-passant square moved over.
inline std::string FlipFen(const std::string& fen) {
    std::stringstream ss(fen);
    std::string placement, side, castle, ep, rest;
    ss >> placement >> side >> castle >> ep;
    std::getline(ss, rest);
    std::vector<std::string> ranks;
    std::stringstream ps(placement);
    for (std::string r; std::getline(ps, r, '/');) ranks.push_back(r);
    std::string out;
    for (size_t i = ranks.size(); i-- > 0;) {
        for (char c : ranks[i]) out += isupper((unsigned char)c) ? (char)tolower(c) : (char)toupper(c);
        if (i) out += '/';
    }
    std::string flipped_castle = castle;
    for (char& c : flipped_castle) c = isupper((unsigned char)c) ? (char)tolower(c) : (char)toupper(c);
    std::string flipped_ep = ep;
    if (ep.size() == 2) flipped_ep[1] = (char)('1' + ('8' - ep[1]));
    return out + " " + (side == "w" ? "b" : "w") + " " + flipped_castle + " " + flipped_ep + rest;
}

// A record for positions of the tablebase tests.
inline ThreadRecord* TablebaseRecord() {
    static ThreadRecord* t = nullptr;
    InitTestEnvironment();
    if (!t) t = AllocThreadRecord();
    return t;
}

// A position from FEN text through the engine's reader.
inline Position* EnginePosition(const std::string& fen) {
    Position* pos = &TablebaseRecord()->pos;
    EXPECT_EQ(SetPosition(pos, fen.c_str()), 0) << "position text refused: " << fen;
    return pos;
}

// The probes' record of a FEN position.
inline tb_position TbPosition(const std::string& fen, int rule50 = 0) {
    tb_position p;
    TB_ConvertPosition(EnginePosition(fen), &p, rule50);
    return p;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

// Copies the named materials' WDL (and DTZ when dtz is set) files into dir.
inline void CopyTables(const std::string& dir, const std::vector<std::string>& materials, bool dtz = true) {
    for (const std::string& m : materials) {
        WriteBytes(dir + "/" + m + ".rtbw", ReadBytes(SyzygyDir() + "/" + m + ".rtbw"));
        if (dtz) WriteBytes(dir + "/" + m + ".rtbz", ReadBytes(SyzygyDir() + "/" + m + ".rtbz"));
    }
}

// A WDL file of any material (a name such as KRPvKR) in which every position
// has the one value wdl: single-value tables (two bytes each, no index, size
// or block data) behind a piece description laid out as the reader wants it:
// unique pieces first (pawn tables: leading pawns, then the other colour's),
// equal pieces side by side, every order nibble 0.
inline std::string SingleValueWdlFile(const std::string& material, int wdl) {
    static const std::string letters = "PNBRQK";  // piece codes 1 to 6
    int counts[16] = {};
    int colour = 0;
    for (char c : material) {
        if (c == 'v') colour = 8;
        else counts[(letters.find(c) + 1) | colour]++;
    }
    bool symmetric = true;
    for (int code = 1; code <= 6; code++) symmetric &= counts[code] == counts[code + 8];
    const bool pawns = counts[1] || counts[9];
    std::vector<int> list;
    auto append = [&](int code, int n) { list.insert(list.end(), (size_t)n, code); };
    int other = 0;
    if (pawns) {
        int lead = 1;
        if (counts[9] && (!counts[1] || counts[9] < counts[1])) lead = 9;
        other = counts[lead ^ 8];
        append(lead, counts[lead]);
        append(lead ^ 8, other);
        for (int code : {2, 3, 4, 5, 6, 10, 11, 12, 13, 14}) append(code, counts[code]);
    } else {
        for (int code = 2; code <= 14; code++)
            if (counts[code] == 1) append(code, 1);
        for (int code = 2; code <= 14; code++)
            if (counts[code] > 1) append(code, counts[code]);
    }
    const int files = pawns ? 4 : 1, sides = symmetric ? 1 : 2;
    std::string b = "\x71\xE8\x23\x5D";
    b += (char)((sides == 2 ? 1 : 0) | (pawns ? 2 : 0));
    for (int f = 0; f < files; f++) {
        b += '\0';                 // order of the leading group or pawns
        if (other) b += '\x11';    // order of the other colour's pawns
        for (int code : list) b += (char)(code | code << 4);
    }
    if (b.size() & 1) b += '\0';
    for (int i = 0; i < files * sides; i++) {
        b += '\x80';
        b += (char)(wdl + 2);
    }
    return b;
}

// A scratch folder that is removed at the end of the test, and the tables
// unregistered so that no mapping outlives its file.
struct ScratchDir {
    std::string path = MakeTempDir("tb");
    ~ScratchDir() {
        RegisterTables("");
        RemoveTempDir(path);
    }
};

// The legal moves of a probe position.
inline std::set<TbMove> ProbeLegalMoves(const tb_position& p) {
    TbMove list[TB_MAX_MOVES];
    std::set<TbMove> out;
    for (TbMove* m = list, *end = gen_moves(&p, list); m < end; m++) {
        tb_position after;
        if (do_move(&after, &p, *m)) out.insert(*m);
    }
    return out;
}

// Whether the side to move can mate at once.
inline bool HasMateInOne(const tb_position& p) {
    TbMove list[TB_MAX_MOVES];
    for (TbMove* m = list, *end = gen_moves(&p, list); m < end; m++) {
        tb_position after;
        if (!do_move(&after, &p, *m) || !king_attacked(&after, true)) continue;
        if (ProbeLegalMoves(after).empty()) return true;
    }
    return false;
}
