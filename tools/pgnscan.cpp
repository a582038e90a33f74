#include "tools/pgnscan.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <initializer_list>
#include <cstdlib>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "base/textfile.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/pgn.h"
#include "board/position.h"
#include "board/tables.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/records.h"

const char* const SCAN_PGN_FILE = "tmp.pgn";
const char* const SCAN_EPD_FILE = "tmp.epd";
const char* const SCAN_TEST_FILE = "tmpX.epd";

namespace {

// Annotation text after a move's score is cut to this length.
enum : size_t { MAX_SCORE_TEXT = 63 };

// A score read from a comment, kept inside the 16-bit range and clear of the
// two marks for a missing or unreadable score.
int ClampScore(double v) {
    if (!std::isfinite(v)) return SCORE_UNREADABLE;
    long s = lround(v);
    return s < -29998 ? -29998 : s > 29998 ? 29998 : (int)s;
}

// The position of the game being replayed.
Position* GamePos() { return &CTD->pos; }

bool SideToMoveInCheck(const Position* pos) {
    return SqAtakd(pos, pos->king_sq[pos->side], pos->side ^ 1) != 0;
}

// The move of the word in the game position, 0 when it names no legal move.
Move ReplayMove(const ScannedGame& g, int i) {
    if (!CanAddGameMove(GamePos())) {
        ShowMessageF("game %d is longer than %d plies: the rest of the game is passed over", g.number,
                     (int)MAX_GAME_PLY);
        return 0;
    }
    // Any form a typed move may take, or standard algebraic notation as other
    // programs write it (which leaves out a twin piece that is pinned).
    const Move m = ReadMoveText(GamePos(), g.moves[i].word.c_str());
    if (!m) {
        ShowMessageF("game %d: move %d \"%s\" is not legal in its position; the rest of the game is passed over",
                     g.number, i + 1, g.moves[i].word.c_str());
        return 0;
    }
    return m;
}

void PlayMove(Move m) {
    MakeMove(GamePos(), m);
    CTD->ply = 1;
}

std::string CurrentEpd() {
    char buf[128];
    MakeEPD(GamePos(), buf);
    return buf;
}

// Mode 1: the game with the scores from white's view, bad moves marked with
// '?' and an avoid-move record, their refutations with '!' and a best-move
// record (also written to out_x).
int AnnotateGame(FILE* out, FILE* out_x, const ScannedGame& g) {
    const int count = (int)g.moves.size();
    auto s = [&](int i) { return (int)g.moves[i].score; };
    int positions = 0;
    bool previous_bad = false;
    const bool start_black = GamePos()->side == BLACK;
    for (int i = 0; i < count; i++) {
        const Move m = ReplayMove(g, i);
        if (!m) break;
        const bool white = GamePos()->side == WHITE;
        const std::string epd = CurrentEpd();
        const char* word = g.moves[i].word.c_str();
        char prefix[16];
        if (white)
            snprintf(prefix, sizeof prefix, "%3d. ", (i + (start_black ? 1 : 0)) / 2 + 1);
        else
            snprintf(prefix, sizeof prefix, "     ");
        std::string text;
        const bool bad_before = previous_bad;
        previous_bad = false;
        if (s(i) >= -9999) {
            char score[32];
            snprintf(score, sizeof score, "%6.2f", (white ? s(i) : -s(i)) * 0.01);
            text = score;
            // A move without a score gets no refutation mark.
            if (bad_before) {
                text += " ! " + epd + " bm " + word + ";";
                fprintf(out_x, "%s bm %s;\n", epd.c_str(), word);
                positions++;
            }
        }
        if (i > 12 && i < count - 10) {
            const int p = s(i - 1);
            if (p >= -999 && p < 250 && s(i + 7) >= -999) {
                const int a = std::abs(p) / 10;
                if (s(i + 1) - p > a + 30 && s(i + 3) - p > a + 30 && s(i + 7) - p > a + 50) {
                    text += " ? " + epd + " am " + word + ";";
                    previous_bad = true;
                }
            }
        }
        if (text.size() > MAX_SCORE_TEXT) text.resize(MAX_SCORE_TEXT);
        fprintf(out, "%s %-6s  {%s}\n", prefix, word, text.c_str());
        PlayMove(m);
    }
    fputc('\n', out);
    return positions;
}

// Mode 2: quiet middle-game positions with the move played, its score, the
// score six moves later and the game's result.
int TrainingPositions(FILE* out, const ScannedGame& g) {
    const int count = (int)g.moves.size();
    if (count <= 8) return 0;
    static const char* const result_text[3] = {"1-0", "0-1", "1/2-1/2"};
    const char* result = result_text[g.result];
    const int last = count - 9 < 220 ? count - 9 : 220;
    int positions = 0, unchanged = 0;
    for (int i = 0; i <= last; i++) {
        const Move m = ReplayMove(g, i);
        if (!m) break;
        Position* pos = GamePos();
        if (i >= 12 && pos->fifty <= 32 && unchanged <= 36 && !SideToMoveInCheck(pos)) {
            fprintf(out, "%s bm %s; ce %d; c6 %d; c9 \"%s\";\n", CurrentEpd().c_str(), g.moves[i].word.c_str(),
                    (int)g.moves[i].score, (int)g.moves[i + 6].score, result);
            positions++;
        }
        const uint32_t material = pos->material[0] + pos->material[1];
        PlayMove(m);
        unchanged = pos->material[0] + pos->material[1] == material ? unchanged + 1 : 0;
    }
    return positions;
}

// Mode 3: positions with the score of the move played, up to the first
// decided score.
int ScoredPositions(FILE* out, const ScannedGame& g) {
    const int count = (int)g.moves.size();
    int positions = 0;
    for (int i = 0; i < count && i <= 200; i++) {
        const Move m = ReplayMove(g, i);
        if (!m) break;
        const int score = g.moves[i].score;
        if (!SideToMoveInCheck(GamePos())) {
            fprintf(out, "%s bm %s; ce %d;\n", CurrentEpd().c_str(), g.moves[i].word.c_str(), score);
            positions++;
        }
        PlayMove(m);
        if (std::abs(score) > 500) break;
    }
    return positions;
}

// Mode 4: positions of one rook each and one pawn on the board, with the
// result for the side to move (0.5 for anything but a decided game).
int RookPawnPositions(FILE* out, const ScannedGame& g) {
    const int count = (int)g.moves.size();
    int positions = 0;
    for (int i = 0; i < count; i++) {
        const Move m = ReplayMove(g, i);
        if (!m) break;
        const Position* pos = GamePos();
        const int pawns = PopCount(pos->bb[PAWN] | pos->bb[8 + PAWN]);
        if (pos->npm[WHITE] == 5 && pos->npm[BLACK] == 5 && pawns == 1) {
            double value = 0.5;
            if (g.result != RESULT_OTHER) value = (g.result == RESULT_WHITE_WINS) == (pos->side == WHITE) ? 1.0 : 0.0;
            fprintf(out, "%s bm %s; ce %d; tune %0.5f;\n", CurrentEpd().c_str(), g.moves[i].word.c_str(),
                    (int)g.moves[i].score, value);
            positions++;
        }
        PlayMove(m);
    }
    return positions;
}

// The state of a scan between lines.
struct Scan {
    int mode = SCAN_ANNOTATE;
    FILE* out = nullptr;
    FILE* out_x = nullptr;
    PgnReader reader;
    ScannedGame game;
    bool event_seen = false;  // the tags of the coming game hold an "Event"
    bool start_black = false;
    int events = 0;  // games counted
    int positions = 0;
};

// Writes the game read so far (when it has moves) and starts the next one.
void FinishGame(Scan& sc) {
    if (!sc.game.moves.empty()) {
        // A game without an "Event" tag counts as a game all the same.
        if (!sc.event_seen) sc.events++;
        sc.game.number = sc.events;
        sc.positions += ProcessGame(sc.out, sc.out_x, sc.game, sc.mode);
    }
    sc.game = ScannedGame();
    sc.event_seen = false;
    sc.start_black = false;
    PgnResetReader(sc.reader);
}

void TagLine(Scan& sc, const std::string& line) {
    std::string name, value;
    const bool pair = PgnParseTag(line.c_str(), &name, &value);
    // A second "Event" among the tags of one game starts the next game.
    if (pair && name == "Event" && sc.event_seen) FinishGame(sc);
    if (sc.mode == SCAN_ANNOTATE) fprintf(sc.out, "%s\n", line.c_str());
    if (!pair) return;
    if (name == "Event") {
        sc.event_seen = true;
        if (++sc.events % 100 == 0) ShowMessageF("game %d", sc.events);
    } else if (name == "Round") {
        if (sc.mode == SCAN_ANNOTATE) fprintf(sc.out, "[Tag \"game_%d\"]\n", sc.events);
    } else if (name == "Result") {
        sc.game.result = value == "1-0" ? RESULT_WHITE_WINS : value == "0-1" ? RESULT_BLACK_WINS : RESULT_OTHER;
    } else if (name == "FEN") {
        sc.game.start_fen = value;
        const char* side = strchr(value.c_str(), ' ');
        sc.start_black = side && side[1] == 'b';
    }
}

void MoveText(Scan& sc, const std::string& line) {
    for (size_t i = 0; i <= line.size(); i++) {
        const char c = i < line.size() ? line[i] : '\n';
        const PgnToken t = PgnReadChar(sc.reader, c);
        if (t == PGN_TOKEN_WORD) {
            const char* text = PgnMoveText(sc.reader.word.c_str());
            if (!text) continue;
            std::string word(text);
            while (!word.empty() && (word.back() == '!' || word.back() == '?')) word.pop_back();
            sc.game.moves.push_back({word, SCORE_NO_COMMENT});
        } else if (t == PGN_TOKEN_COMMENT && !sc.game.moves.empty()) {
            const size_t last = sc.game.moves.size() - 1;
            const bool black_moved = (last % 2 == 1) != sc.start_black;
            sc.game.moves[last].score = (int16_t)CommentScore(sc.reader.comment, black_moved);
        }
    }
}

}  // namespace

int CommentScore(const std::string& comment, bool black_moved) {
    if (comment.find("book") != std::string::npos) return 0;
    const size_t e = comment.find("eval ");
    if (e != std::string::npos) {
        // Centipawns from white's view, up to a comma.
        std::string number = comment.substr(e + 5);
        number.resize(std::min(number.size(), number.find(',')));
        char* end = nullptr;
        const double v = strtod(number.c_str(), &end);
        if (end == number.c_str()) return SCORE_UNREADABLE;
        const int s = ClampScore(v);
        return black_moved && s != SCORE_UNREADABLE ? -s : s;
    }
    const size_t slash = comment.find('/');
    if (slash != std::string::npos) {
        // Pawns from the mover's view in the word before the '/'.
        const size_t blank = slash == 0 ? std::string::npos : comment.rfind(' ', slash - 1);
        const size_t from = blank == std::string::npos ? 0 : blank + 1;
        const std::string word = comment.substr(from, slash - from);
        if (word.find("-M") != std::string::npos) return -9000;
        if (word.find("+M") != std::string::npos) return 9000;
        char* end = nullptr;
        const double v = strtod(word.c_str(), &end);
        if (end == word.c_str()) return SCORE_UNREADABLE;
        return ClampScore(v * 100.0);
    }
    return SCORE_UNREADABLE;
}

int ProcessGame(FILE* out, FILE* out_x, const ScannedGame& game, int mode) {
    const char* start = game.start_fen.empty() ? START_FEN : game.start_fen.c_str();
    if (SetPosition(GamePos(), start) == -2) {
        ShowMessageF("game %d skipped: its FEN tag is not a legal position", game.number);
        return 0;
    }
    SearchData.depth_limit = mode == SCAN_TRAINING ? 1 : 0;
    SearchData.use_hash = 0;
    PBlock.noise = 9999.0;
    switch (mode) {
    case SCAN_ANNOTATE: return AnnotateGame(out, out_x, game);
    case SCAN_TRAINING: return TrainingPositions(out, game);
    case SCAN_SCORES: return ScoredPositions(out, game);
    case SCAN_ROOK_PAWN: return RookPawnPositions(out, game);
    default: return 0;
    }
}

bool Scan_PGN_File(const char* path, int mode) {
    if (mode < SCAN_ANNOTATE || mode > SCAN_ROOK_PAWN) return false;
    const char* main_name = mode == SCAN_ANNOTATE ? SCAN_PGN_FILE : SCAN_EPD_FILE;
    for (const char* output : {main_name, mode == SCAN_ANNOTATE ? SCAN_TEST_FILE : main_name}) {
        if (SameFile(path, output)) {
            ShowMessageF("%s is a file this scan writes: choose another name for the games", path);
            return false;
        }
    }
    // Read once from start to end: a pipe serves as well as a file.
    FILE* in = OpenInputFile(path, "r", true);
    if (!in) {
        ShowMessageF("cannot open the game file %s: %s", path, OpenFailure(errno));
        return false;
    }
    Scan sc;
    sc.mode = mode;
    sc.reader.nest_comments = true;
    sc.out = fopen(main_name, "w");
    if (!sc.out) {
        fclose(in);
        ShowMessageF("cannot open %s for writing", main_name);
        return false;
    }
    if (mode == SCAN_ANNOTATE) {
        sc.out_x = fopen(SCAN_TEST_FILE, "w");
        if (!sc.out_x) {
            fclose(in);
            fclose(sc.out);
            ShowMessageF("cannot open %s for writing", SCAN_TEST_FILE);
            return false;
        }
    }
    SetEvalParams();
    Personality.Log = 0;

    std::string line;
    while (ReadFileLine(in, line)) {
        switch (PgnClassifyLine(sc.reader, line.c_str())) {
        case PGN_LINE_TAG:
            if (!sc.game.moves.empty()) FinishGame(sc);
            TagLine(sc, line);
            break;
        case PGN_LINE_ESCAPE: break;
        case PGN_LINE_MOVES:
            if (!line.empty() || PgnInComment(sc.reader)) MoveText(sc, line);
            break;
        }
    }
    if (PgnInComment(sc.reader)) ShowMessageF("%s ends inside a comment", path);
    FinishGame(sc);
    fputc('\n', sc.out);
    fclose(in);
    ShowMessageF("games= %d, positions= %d", sc.events, sc.positions);
    bool written = CloseWrittenFile(sc.out);
    if (!written) ShowMessageF("cannot write %s in full", main_name);
    if (sc.out_x && !CloseWrittenFile(sc.out_x)) {
        ShowMessageF("cannot write %s in full", SCAN_TEST_FILE);
        written = false;
    }
    return written;
}
