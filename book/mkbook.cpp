// Creating a Polyglot book from PGN games.
//
// The counts live in 16384 chains indexed by the top 14 bits of the key,
// each kept sorted by key (the moves of one key in the order they were first
// seen). Walking the chains in order yields every key in ascending order, so
// the book is written without a global sort: only the few entries of one key
// are sorted, by weight.
#include "book/mkbook.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/output.h"
#include "base/settings.h"
#include "board/makemove.h"
#include "board/pgn.h"
#include "board/position.h"
#include "book/polyglot.h"
#include "platform/platform.h"
#include "search/records.h"

const char* const BOOK_OUTPUT_FILE = "tmp_book.bin";
// The book is written under this name and renamed when it is complete.
static const char BOOK_PARTIAL_FILE[] = "tmp_book.bin.part";

namespace {

enum : int { BOOK_BUCKETS = 16384, BOOK_BUCKET_SHIFT = 50, NODES_PER_BLOCK = 32768, DOT_EVERY_GAMES = 1024 };

enum GameResult : int { RESULT_WHITE_WON = 0, RESULT_BLACK_WON = 1, RESULT_DRAW = 2, RESULT_UNKNOWN = 3 };
enum Outcome : int { OUTCOME_WIN, OUTCOME_LOSS, OUTCOME_DRAW };

// One distinct pair of position key and move, with the outcomes of the
// games for the side that played it.
struct BookNode {
    uint64_t key;
    uint32_t wins;
    uint32_t losses;
    uint32_t draws;
    uint16_t move;  // in the book's form (BookMoveCode)
    BookNode* next;
};

// Nodes are handed out from zero-filled blocks, freed together at the end.
struct NodeBlock {
    NodeBlock* next;
    int used;
    BookNode nodes[NODES_PER_BLOCK];
};

struct BookBuilder {
    BookNode* bucket[BOOK_BUCKETS] = {};
    NodeBlock* blocks = nullptr;
    GameResult result = RESULT_UNKNOWN;
    int plies = 0;         // moves counted in the current game
    bool stopped = false;  // the rest of the current game is passed over
    // A FEN tag of a set-up position was read in the tags of the current
    // game (before or after its result tag); cleared when its move text begins.
    bool set_up = false;
    bool out_of_memory = false;
    long ngames = 0;
    long nmoves = 0;  // distinct pairs of key and move
    PgnReader reader;
};

BookNode* NewNode(BookBuilder& b) {
    if (!b.blocks || b.blocks->used == NODES_PER_BLOCK) {
        NodeBlock* block = static_cast<NodeBlock*>(calloc(1, sizeof(NodeBlock)));
        if (!block) return nullptr;
        block->next = b.blocks;
        b.blocks = block;
    }
    return &b.blocks->nodes[b.blocks->used++];
}

void FreeBuilder(BookBuilder* b) {
    for (NodeBlock* block = b->blocks; block;) {
        NodeBlock* next = block->next;
        free(block);
        block = next;
    }
    delete b;
}

// Counts one game's outcome for the move in the position of the key; false
// when no node can be had.
bool CountBookMove(BookBuilder& b, uint64_t key, uint16_t move, Outcome outcome) {
    BookNode** link = &b.bucket[key >> BOOK_BUCKET_SHIFT];
    BookNode* node = nullptr;
    for (; *link && (*link)->key <= key; link = &(*link)->next) {
        if ((*link)->key == key && (*link)->move == move) {
            node = *link;
            break;
        }
    }
    if (!node) {
        node = NewNode(b);
        if (!node) return false;
        node->key = key;
        node->move = move;
        node->next = *link;
        *link = node;
        b.nmoves++;
    }
    if (outcome == OUTCOME_WIN) node->wins++;
    else if (outcome == OUTCOME_LOSS) node->losses++;
    else node->draws++;
    return true;
}

// One word of the current game's move text: a move is counted and made, or
// the rest of the game is passed over; words without a move are passed over.
void CountGameMove(BookBuilder& b, const char* word) {
    const char* text = PgnMoveText(word);
    if (!text) return;
    Position* pos = &CTD->pos;
    const Move m = CanAddGameMove(pos) ? ReadMoveText(pos, text) : 0;
    if (!m) {
        b.stopped = true;
        return;
    }
    Outcome outcome = OUTCOME_DRAW;
    if (b.result == RESULT_WHITE_WON || b.result == RESULT_BLACK_WON)
        outcome = (int)b.result == pos->side ? OUTCOME_WIN : OUTCOME_LOSS;
    if (!CountBookMove(b, GetHashKey(pos), BookMoveCode(pos, m), outcome)) {
        b.out_of_memory = true;
        return;
    }
    MakeMove(pos, m);
    CTD->ply = 1;
    b.plies++;
}

void FeedMoveText(BookBuilder& b, const char* text, size_t n) {
    for (size_t i = 0; i < n && !b.stopped && !b.out_of_memory; i++)
        if (PgnReadChar(b.reader, text[i]) == PGN_TOKEN_WORD) CountGameMove(b, b.reader.word.c_str());
}

// Reads only the end of a move that the last piece of the line cut off,
// then passes over the rest of the game.
void FinishCutMove(BookBuilder& b, const char* text, size_t n) {
    for (size_t i = 0; i < n && !b.reader.pending.empty() && !b.out_of_memory; i++)
        if (PgnReadChar(b.reader, text[i]) == PGN_TOKEN_WORD) CountGameMove(b, b.reader.word.c_str());
    if (b.reader.pending.empty()) b.stopped = true;
}

void StartGame(BookBuilder& b, const char* result_text) {
    SetPosition(&CTD->pos, START_FEN);
    b.result = strstr(result_text, "1-0")   ? RESULT_WHITE_WON
               : strstr(result_text, "0-1") ? RESULT_BLACK_WON
               : strstr(result_text, "1/2") ? RESULT_DRAW
                                            : RESULT_UNKNOWN;
    b.ngames++;
    if (b.ngames % DOT_EVERY_GAMES == 0) WriteStraight(".");
    b.plies = 0;
    b.stopped = b.set_up;
    PgnResetReader(b.reader);
}

// A FEN tag of a position other than the start position: the game's moves
// do not belong to the positions the book counts.
bool SetUpElsewhere(const std::string& name, const std::string& value) {
    return name == "FEN" && value.compare(0, strlen(START_FEN), START_FEN) != 0;
}

// The tags of a tag line, several of them on one line in any order: a result
// tag starts a game, a FEN tag of a set-up position passes the game over
// (also when it stands before the result tag). A line holding "[Result" that
// is not read as a tag pair still starts a game, with the result it names.
void ReadTagLine(BookBuilder& b, const char* line, bool result_line) {
    std::string name, value;
    bool result_read = false;
    for (const char* p = line; PgnNextTag(&p, &name, &value);) {
        if (name == "Result") {
            StartGame(b, value.c_str());
            result_read = true;
        } else if (SetUpElsewhere(name, value)) {
            b.set_up = true;
            b.stopped = true;
        }
    }
    if (result_line && !result_read) StartGame(b, line);
}

bool HasText(const char* s) {
    for (; *s; s++)
        if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return true;
    return false;
}

// Reads the games; false when memory ran out. A line is read in pieces of
// up to 1023 characters, and every piece after the first is read like a
// line of its own: not when more plies than the limit were counted before it.
bool CountGames(BookBuilder& b, FILE* f) {
    char buf[1024];
    bool line_start = true, skip_line = false, move_line = false;
    while (fgets(buf, sizeof buf, f)) {
        const size_t n = strlen(buf);
        const bool piece_starts_line = line_start;
        if (line_start) {
            move_line = false;
            if (strstr(buf, "[Result")) {
                ReadTagLine(b, buf, true);
                skip_line = true;
            } else if (PgnClassifyLine(b.reader, buf) != PGN_LINE_MOVES) {
                ReadTagLine(b, buf, false);
                skip_line = true;
            } else {
                move_line = true;
                skip_line = b.result == RESULT_UNKNOWN || b.plies > BOOK_LINE_PLY_LIMIT;
            }
        }
        // The tags are over once the move text begins.
        if (move_line && b.set_up && HasText(buf)) b.set_up = false;
        line_start = n > 0 && buf[n - 1] == '\n';
        if (skip_line || b.stopped) continue;
        if (!piece_starts_line && b.plies > BOOK_LINE_PLY_LIMIT)
            FinishCutMove(b, buf, n);
        else
            FeedMoveText(b, buf, n);
        if (b.out_of_memory) return false;
    }
    if (!skip_line && !b.stopped && PgnEndOfText(b.reader) == PGN_TOKEN_WORD) CountGameMove(b, b.reader.word.c_str());
    return !b.out_of_memory;
}

// Writes the kept moves of every key; false when the file could not be written.
bool WriteBook(const BookBuilder& b, FILE* out) {
    std::vector<BookEntry> group;
    std::vector<int64_t> scores;
    for (int i = 0; i < BOOK_BUCKETS; i++) {
        for (const BookNode* first = b.bucket[i]; first;) {
            const BookNode* end = first;
            while (end && end->key == first->key) end = end->next;
            // Scores in signed 64-bit arithmetic: a move that loses more
            // often than it wins gets a negative score, never a wrapped one.
            group.clear();
            scores.clear();
            int64_t best = 0;
            for (const BookNode* node = first; node != end; node = node->next) {
                int64_t score = (int64_t)node->draws + 2 * (2 * (int64_t)node->wins - (int64_t)node->losses);
                if (node->wins <= (uint32_t)BOOK_MIN_WINS || score <= BOOK_MIN_SCORE) continue;
                group.push_back(BookEntry{node->key, node->move, 0, 0});
                scores.push_back(score);
                best = std::max(best, score);
            }
            if (group.empty()) {
                first = end;
                continue;
            }
            const double factor = std::min(1.0, (double)BOOK_MAX_WEIGHT / (double)best);
            for (size_t k = 0; k < group.size(); k++) group[k].weight = (uint16_t)(scores[k] * factor);
            std::stable_sort(group.begin(), group.end(),
                             [](const BookEntry& x, const BookEntry& y) { return key_compare(&x, &y) < 0; });
            for (const BookEntry& e : group)
                if (WriteEntry(out, &e)) return false;
            first = end;
        }
    }
    return true;
}

// Writes the book under a temporary name and puts it in place when it is
// complete, so that a failed run never leaves a cut book behind.
bool WriteBookFile(const BookBuilder& b) {
    FILE* out = fopen(BOOK_PARTIAL_FILE, "wb");
    if (!out) return false;
    bool ok = WriteBook(b, out);
    ok = fclose(out) == 0 && ok;
    if (ok && rename(BOOK_PARTIAL_FILE, BOOK_OUTPUT_FILE) != 0) {
        // Systems that do not replace an existing file on rename.
        remove(BOOK_OUTPUT_FILE);
        ok = rename(BOOK_PARTIAL_FILE, BOOK_OUTPUT_FILE) == 0;
    }
    if (!ok) remove(BOOK_PARTIAL_FILE);
    return ok;
}

}  // namespace

bool PG_CreateBook() {
    const char* file = PBlock.pgn_file;
    // Read once from start to end: a pipe serves as well as a file.
    FILE* f = OpenInputFile(file, "r", true);
    if (!f) {
        ShowMessageF("cannot open the PGN file %s: %s; no book is written", file, OpenFailure(errno));
        return false;
    }
    BookBuilder* b = new (std::nothrow) BookBuilder();
    if (!b) {
        fclose(f);
        ShowMessage("not enough memory to count the games: no book is written");
        return false;
    }
    // Braces inside a comment open a deeper comment, which ends at its own brace.
    b->reader.nest_comments = true;
    ShowMessageF(" Creating file %s from games in %s", BOOK_OUTPUT_FILE, file);

    const bool counted = CountGames(*b, f);
    fclose(f);
    if (!counted) {
        ShowMessage("not enough memory to count the games: no book is written");
        FreeBuilder(b);
        return false;
    }
    WriteStraight("\nwriting book file ...\n");
    const bool written = WriteBookFile(*b);
    if (!written) ShowMessageF("cannot write the book file %s", BOOK_OUTPUT_FILE);
    char totals[96];
    snprintf(totals, sizeof totals, "\nngames= %ld, nmoves= %ld\n", b->ngames, b->nmoves);
    WriteStraight(totals);
    WriteStraight("done\n");
    FreeBuilder(b);
    return written;
}
