#include "tools/selfplay.h"

#include <cstdlib>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/position.h"
#include "board/tables.h"
#include "book/polyglot.h"
#include "eval/params.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "tools/registry.h"
#include "uci/input.h"

// A game's scores beyond this decide it for one side.
enum : int { DECISIVE_SCORE = 500 };
// A position whose search gives no move although it has one is searched at
// most this often more before the game is given up as drawn.
enum : int { MAX_SEARCH_REPEATS = 2 };

static const char* const tuned_params[] = {
    "knight_value_op",    "knight_value_en",    "bishop_value_op",    "bishop_value_en",  "rook_value_op",
    "rook_value_en",      "queen_value_op",     "queen_value_en",     "bishop_pair_op",   "bishop_pair_en",
    "knight_mobility_op", "knight_mobility_en", "bishop_mobility_op", "bishop_mobility_en",
    "rook_mobility_op",   "rook_mobility_en",   "queen_mobility_op",  "queen_mobility_en",
    "pawn_connected_op",  "pawn_candidate_en",  "pawn_shield",        "pawn_storm",       "hung_pawn_op",
    "hung_pawn_en",       "hung_piece_op",      "hung_piece_en"};

int PerturbedWord(double value, int draw) {
    // draw * 0.001 - 0.2, written so that the middle draw gives exactly 0
    // even where the compiler fuses the multiplication and the subtraction.
    double delta = (draw - 200) * 0.001 * value;
    if (delta > 0.0 && delta < 1.5) delta = 1.5;
    if (delta < 0.0 && delta > -1.5) delta = -1.5;
    return RoundToWord(value + delta);
}

double UpdatedValue(double value, int b_word, int d) { return value + d * 0.002 * (b_word - RoundToWord(value)); }

GameOutcome JudgeMove(int s, Move m, int f, bool drawn_by_rule, bool has_legal_move, int recorded) {
    if (s < -DECISIVE_SCORE) return GAME_MOVER_LOSES;
    if (s > DECISIVE_SCORE) return GAME_MOVER_WINS;
    if (f >= 100) return GAME_DRAWN;
    // No move ends the game only where there is none to play.
    if (m == 0) return drawn_by_rule || !has_legal_move ? GAME_DRAWN : GAME_SEARCH_AGAIN;
    // A game that fills its record is given up as a draw.
    if (recorded >= SELFPLAY_RECORD_SIZE) return GAME_DRAWN;
    return GAME_GOES_ON;
}

void WriteSelfPlayGame(FILE* f, int game, bool changed_player_white, const char* result, const SelfPlayMove* moves,
                       int count) {
    fprintf(f, "[Event selfplay]\n");
    fprintf(f, "[Game %d]\n", game);
    fprintf(f, "[White \"%s\"]\n", changed_player_white ? "Player1" : "Player2");
    fprintf(f, "[Black \"%s\"]\n", changed_player_white ? "Player2" : "Player1");
    fprintf(f, "[Result \"%s\"]\n", result);
    for (int i = 0; i < count; i++) {
        if (i & 1) fputs("   ", f);
        fprintf(f, "%s {%0.2f/%d}", moves[i].text, moves[i].score * 0.01, (int)moves[i].depth);
        if (i & 1) fputc('\n', f);
    }
    fputs("\n\n", f);
}

namespace {

// The two players: A the settings at the tuner's start, B the changed ones.
SettingsRecord player_a, player_b;
SelfPlayMove record[SELFPLAY_RECORD_SIZE];

// The end of a game: which colour won (or a draw), or a quit during it.
enum GameEnd : int { END_WHITE_WINS = 0, END_BLACK_WINS = 1, END_DRAW = 2, END_QUIT = 3 };

bool IsLegal(Position* pos, Move m) {
    return m && HashMoveIsLegal(pos, pos->side, m) && MoveIsLegal(pos, pos->side, m);
}

// Searches the game position on the pool and waits for the result, polling
// the input meanwhile.
void SearchOnPool() {
    StartSearch();
    while (ThreadsAreBusy()) {
        SearchTimecheck();
        if (SearchData.stop) continue;
        SleepMs(1);
        UserInput();
    }
}

// Plays one game from the start position; B has the colour b_colour.
GameEnd PlayGame(int b_colour, int* count) {
    SearchDataRecord& sd = SearchData;
    ThreadRecord* g = CTD;
    SetPosition(&g->pos, START_FEN);
    if (!(sd.depth_limit > 7 && sd.node_limit - 1 > 99999 && sd.move_time > 0.1))
        sd.use_hash = 0;
    else if (hashtable)
        HashClear();

    *count = 0;
    int repeats = 0;
    for (;;) {
        Position* pos = &g->pos;
        const int mover = pos->side;
        Personality = mover == b_colour ? player_b : player_a;
        SetSearchParams();
        SetEvalParams();
        sd.request = 1;
        PrepareNewSearch();

        bool book = false;
        if (g->game_ply < Personality.OwnBook_Depth) {
            const Move m = PG_GetBookMove(pos);
            if (IsLegal(pos, m)) {
                sd.pv[1] = m;
                sd.pv[2] = 0;
                sd.best_score = 0;
                book = true;
            }
        }
        const int f = pos->fifty;
        const bool over = RepeatedOrRunOut(pos) != 0;
        if (over) {
            sd.best_score = 0;
            sd.pv[1] = 0;
        }
        if (!book && !over) SearchOnPool();
        if (PBlock.quit) return END_QUIT;

        Collect();
        const int s = sd.best_score;
        const Move m = sd.pv[1];
        const bool has_move = m != 0 || !IsMate(pos);
        GameOutcome outcome = JudgeMove(s, m, f, over, has_move, *count + 1);
        if (outcome == GAME_SEARCH_AGAIN) {
            if (++repeats <= MAX_SEARCH_REPEATS) continue;
            ShowMessage("self-play: the search found no move in a position that has one; the game is drawn");
            outcome = GAME_DRAWN;
        }
        SelfPlayMove& r = record[(*count)++];
        snprintf(r.text, sizeof r.text, "%s%s", square_name[MoveFrom(m)], square_name[MoveTo(m)]);
        r.score = (int16_t)s;
        r.depth = (int8_t)sd.best_depth.load();

        switch (outcome) {
        case GAME_GOES_ON:
            MakeMove(pos, m);
            g->ply = 1;
            repeats = 0;
            continue;
        case GAME_MOVER_WINS: return mover == WHITE ? END_WHITE_WINS : END_BLACK_WINS;
        case GAME_MOVER_LOSES: return mover == WHITE ? END_BLACK_WINS : END_WHITE_WINS;
        default: return END_DRAW;
        }
    }
}

// One cycle: draws B, plays the six games and moves the running values.
void RunCycle(FILE* pgn, int* games) {
    for (int i = 0; i < nParams; i++) *ParamList[i].param = RoundToWord(ParamList[i].value);
    player_a = DefaultPersonality;
    for (int i = 0; i < nParams; i++)
        if (ParamList[i].selected) *ParamList[i].param = (int16_t)PerturbedWord(ParamList[i].value, rand() % 400);
    player_b = Personality;

    char line[128];
    snprintf(line, sizeof line, "ngames= %d\n", *games);
    WriteStraight(line);
    for (int i = 0; i < nParams; i++) {
        const ParamEntry& e = ParamList[i];
        if (!e.selected) continue;
        snprintf(line, sizeof line, " * %-24.23s : %6.1f  %4d\n", e.name, e.value, (int)*e.param);
        WriteStraight(line);
    }

    int wins_b = 0, wins_a = 0;
    for (int game = 1; game <= GAMES_PER_CYCLE; game++) {
        const int b_colour = rand() & 1;
        int count = 0;
        const GameEnd end = PlayGame(b_colour, &count);
        if (end == END_QUIT) break;
        if (end != END_DRAW) {
            const int winner = end == END_WHITE_WINS ? WHITE : BLACK;
            (winner == b_colour ? wins_b : wins_a)++;
        }
        static const char* const results[] = {"1-0", "0-1", "1/2-1/2"};
        WriteSelfPlayGame(pgn, game, b_colour == WHITE, results[end], record, count);
        fflush(pgn);
    }

    *games += GAMES_PER_CYCLE;
    Personality = player_b;
    const int d = wins_b - wins_a;
    for (int i = 0; i < nParams; i++) {
        ParamEntry& e = ParamList[i];
        if (e.selected) e.value = UpdatedValue(e.value, *e.param, d);
    }
    Personality = player_a;
}

}  // namespace

void Tune_4() {
    SearchDataRecord& sd = SearchData;
    if (flag < 1) AddParams();
    for (const char* name : tuned_params) SetFlag(name);

    SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, "self.pgn");
    FILE* pgn = fopen(PBlock.pgn_file, "w");
    if (!pgn) {
        char line[TOOL_FILE_LEN + 32];
        snprintf(line, sizeof line, "can't open %s\n", PBlock.pgn_file);
        WriteStraight(line);
        return;
    }

    PBlock.noise = 9999.0;
    Personality.OwnBook_Variety = 50;
    Personality.OwnBook_Depth = 6;
    Personality.Hash = 2;
    sd.move_time = 0.03;
    sd.limit_kind = 1;
    sd.wtime = sd.btime = 1.0;
    DefaultPersonality = Personality;
    // The table gets its size now, so that the games' rule on using it holds
    // from the first move on.
    if (sd.hash_mb != Personality.Hash) {
        sd.hash_mb = Personality.Hash;
        if (!HashInit()) {
            ShowMessageF("cannot allocate %d Mbytes for hash table", (int)sd.hash_mb);
            fclose(pgn);
            return;
        }
    }
    ShowMessage("Starting match...");

    // "quit" ends the whole run: the cycle it arrives in still moves the
    // values by the games that were completed.
    int games = 0;
    while (games < SELFPLAY_GAMES && !PBlock.quit) RunCycle(pgn, &games);
    fclose(pgn);
    sd.request = 0;
    sd.search_mode = 0;
}
