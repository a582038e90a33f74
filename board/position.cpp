// Positions from and to FEN/EPD text, moves as text and moves read from text.
#include "board/position.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "board/attacks.h"
#include "board/keys.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/tables.h"
#include "search/records.h"

const char* const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

static int PieceCodeOf(char c) {
    const char* p = strchr("PNBRQK", c);
    if (c && p) return (int)(p - "PNBRQK") + 1;
    p = strchr("pnbrqk", c);
    if (c && p) return (int)(p - "pnbrqk") + 9;
    return 0;
}

static void PutPiece(Position* p, int code, int sq) {
    const int c = PieceColor(code), t = PieceType(code);
    p->board[sq] = (uint8_t)code;
    p->bb[code] |= SqBit(sq);
    p->bb[8 * c] |= SqBit(sq);
    p->material[c] += msig[t];
    p->npm[c] += npv[t];
    if (t == KING) p->king_sq[c] = (uint8_t)sq;
}

// A refused text: the reason goes to *why.
static int Refuse(const char** why, const char* reason) {
    *why = reason;
    return -2;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A counter field: digits only, up to a blank or the end. False for a sign,
// any other character or no digit at all; large numbers saturate at `max`.
static bool ReadCount(const char** text, long max, long* out) {
    const char* t = *text;
    long v = 0;
    bool any = false;
    for (; *t && !IsBlank(*t); t++) {
        if (*t < '0' || *t > '9') return false;
        v = v * 10 + (*t - '0');
        if (v > max) v = max;
        any = true;
    }
    *text = t;
    *out = v;
    return any;
}

// The counters after the en-passant field: the halfmove clock and the move
// number. Without them (as in EPD, or with EPD operations, which end in ';',
// in their place) they are 0 and 1. Returns the reason for a refusal, or
// nullptr.
static const char* ReadCounters(const char* t, int* fifty, int* number) {
    *fifty = 0;
    *number = 1;
    while (IsBlank(*t)) t++;
    if (!*t) return nullptr;
    const bool counter_like = (*t >= '0' && *t <= '9') || *t == '-' || *t == '+';
    if (!counter_like && strchr(t, ';')) return nullptr;
    long v;
    if (!ReadCount(&t, 255, &v)) return "the halfmove clock must be a number, 0 or more";
    *fifty = (int)v;
    while (IsBlank(*t)) t++;
    if (!*t) return nullptr;
    if (!ReadCount(&t, 65535, &v)) return "the move number must be a number, 1 or more";
    *number = v < 1 ? 1 : (int)v;  // some writers start at 0
    return nullptr;  // what follows (EPD operations) is not read
}

// SetPosition without its messages: the reason for a refusal goes to *why,
// and the text after the en-passant field to *rest_out.
static int ReadPosition(Position* pos, const char* text, const char** why, const char** rest_out) {
    const char* t = text;
    while (IsBlank(*t)) t++;

    Position np;
    memset(&np, 0, sizeof np);
    np.owner = pos->owner;
    np.side = pos->side;
    np.castle = 15;
    np.ep = NO_SQ;

    // Placement: ranks 8 to 1, each exactly eight squares.
    int rank = 7, file = 0;
    for (; *t && !IsBlank(*t); t++) {
        char c = *t;
        if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8) return Refuse(why, "too many squares in a rank");
        } else if (c == '/') {
            if (file != 8) return Refuse(why, "a rank has fewer than eight squares");
            if (--rank < 0) return Refuse(why, "more than eight ranks");
            file = 0;
        } else if (int code = PieceCodeOf(c)) {
            if (file >= 8) return Refuse(why, "too many squares in a rank");
            PutPiece(&np, code, rank * 8 + file);
            file++;
        } else {
            return Refuse(why, "unknown character in the piece placement");
        }
    }
    if (rank != 0 || file != 8) return Refuse(why, "the piece placement does not fill eight ranks");

    // Side to move.
    while (IsBlank(*t)) t++;
    if ((*t != 'w' && *t != 'b') || (t[1] && !IsBlank(t[1])))
        return Refuse(why, "the side to move must be \"w\" or \"b\"");
    np.side = *t == 'b' ? BLACK : WHITE;
    t++;

    // Castling rights: letters outside "KQkq" add nothing.
    while (IsBlank(*t)) t++;
    int castle = 0;
    for (; *t && !IsBlank(*t); t++) {
        if (*t == 'K') castle |= 1;
        else if (*t == 'Q') castle |= 2;
        else if (*t == 'k') castle |= 4;
        else if (*t == 'q') castle |= 8;
    }
    np.castle = (uint8_t)castle;

    // En-passant square: only the square a pawn of the side not to move has
    // just passed over, with that pawn right behind it.
    while (IsBlank(*t)) t++;
    if (*t && !IsBlank(*t)) {
        const char* field = t;
        while (*t && !IsBlank(*t)) t++;
        size_t len = (size_t)(t - field);
        if (!(len == 1 && field[0] == '-')) {
            if (len != 2 || field[0] < 'a' || field[0] > 'h' || field[1] < '1' || field[1] > '8')
                return Refuse(why, "bad en-passant field");
            int ep = (field[0] - 'a') + 8 * (field[1] - '1');
            int want_rank = np.side == WHITE ? 5 : 2;
            int pawn_sq = ep - pawn_dir[np.side];
            if ((ep >> 3) != want_rank || np.board[ep] != 0 || np.board[pawn_sq] != 8 * (np.side ^ 1) + PAWN)
                return Refuse(why, "the en-passant square does not follow a pawn's double step");
            np.ep = (uint8_t)ep;
        }
    }
    const char* rest = t;  // counters or EPD operations
    *rest_out = rest;
    int fifty, number;
    if (const char* reason = ReadCounters(rest, &fifty, &number)) return Refuse(why, reason);
    np.fifty = (uint8_t)fifty;
    np.start_move = (uint16_t)number;

    // The pieces must make a position that the move machinery can hold.
    for (int c = 0; c < 2; c++) {
        if (PopCount(np.bb[8 * c + KING]) != 1) return Refuse(why, "each side needs exactly one king");
        if (PopCount(np.bb[8 * c]) > 16) return Refuse(why, "more than sixteen pieces on one side");
        if (PopCount(np.bb[8 * c + PAWN]) > 8) return Refuse(why, "more than eight pawns on one side");
    }
    if ((np.bb[PAWN] | np.bb[8 + PAWN]) & (BB_Rank[0] | BB_Rank[7]))
        return Refuse(why, "a pawn stands on the first or last rank");
    if (SqAtakd(&np, np.king_sq[np.side ^ 1], np.side))
        return Refuse(why, "the side not to move is in check");

    // Castling rights need king and rook on their starting squares.
    static const struct { int right, king, rook, kcode, rcode; } need[4] = {
        {1, 4, 7, 6, 4}, {2, 4, 0, 6, 4}, {4, 60, 63, 14, 12}, {8, 60, 56, 14, 12}};
    bool dropped = false;
    for (const auto& n : need) {
        if ((np.castle & n.right) && (np.board[n.king] != n.kcode || np.board[n.rook] != n.rcode)) {
            np.castle &= (uint8_t)~n.right;
            dropped = true;
        }
    }

    np.key = ComputeKey(&np);
    np.pawn_key = ComputePawnKey(&np);

    *pos = np;
    if (ThreadRecord* rec = pos->owner) {
        rec->game_ply = 0;
        rec->ply = 1;
        rec->last_move = 0;
        memset(&rec->undo[0], 0, 2 * sizeof(UndoEntry));
    }

    return dropped ? -1 : 0;
}

int SetPosition(Position* pos, const char* text, bool quiet) {
    if (!text) text = "";
    const char* why = "";
    const char* rest = "";
    const int set = ReadPosition(pos, text, &why, &rest);
    if (quiet) return set;
    // An interface reads these as information lines.
    const char* info = PBlock.uci ? "info string " : "";
    if (set == -2) ShowMessageF("%sIllegal FEN - %s: %.200s", info, why, text);
    if (set == -1) {
        char msg[256];
        snprintf(msg, sizeof msg, "%sIllegal EPD - %s", info, rest);
        ShowMessage(msg);
    }
    return set;
}

void MakeEPD(const Position* pos, char* buf) {
    char* p = buf;
    for (int rank = 7; rank >= 0; rank--) {
        int run = 0;
        for (int file = 0; file < 8; file++) {
            int code = pos->board[rank * 8 + file];
            if (!code) {
                run++;
                continue;
            }
            if (run) *p++ = (char)('0' + run);
            run = 0;
            *p++ = piece_letters[PieceColor(code)][PieceType(code)];
        }
        if (run) *p++ = (char)('0' + run);
        if (rank) *p++ = '/';
    }
    *p++ = ' ';
    *p++ = pos->side ? 'b' : 'w';
    *p++ = ' ';
    if (!(pos->castle & 15)) *p++ = '-';
    if (pos->castle & 1) *p++ = 'K';
    if (pos->castle & 2) *p++ = 'Q';
    if (pos->castle & 4) *p++ = 'k';
    if (pos->castle & 8) *p++ = 'q';
    *p++ = ' ';
    if (pos->ep == NO_SQ) {
        *p++ = '-';
    } else {
        *p++ = square_name[pos->ep & 63][0];
        *p++ = square_name[pos->ep & 63][1];
    }
    *p = 0;
}

int FullMoveNumber(const Position* pos) {
    const int ply = pos->owner ? pos->owner->game_ply : 0;
    // Every move of the record turns the side, so the side at ply 0 is known.
    const int first_side = pos->side ^ (ply & 1);
    return (pos->start_move ? pos->start_move : 1) + (ply + first_side) / 2;
}

void MakeFEN(const Position* pos, char* buf) {
    MakeEPD(pos, buf);
    char* end = buf + strlen(buf);
    sprintf(end, " %d %d", (int)pos->fifty, FullMoveNumber(pos));
}

const char* PromoSuffix(Move m) {
    static const char* const text[8] = {"", "", "=N", "=B", "=R", "=Q", "", ""};
    return text[PromoPiece(m)];
}

char* MoveToStr(Move m, char* buf) {
    if (m == 0) {
        strcpy(buf, "null");
        return buf;
    }
    char* p = buf;
    const char* f = square_name[MoveFrom(m)];
    const char* t = square_name[MoveTo(m)];
    *p++ = f[0], *p++ = f[1], *p++ = t[0], *p++ = t[1];
    const char* suffix = PromoSuffix(m);
    if (*suffix) {
        if (PBlock.uci) {
            *p++ = (char)tolower((unsigned char)suffix[1]);
        } else {
            *p++ = suffix[0];
            *p++ = suffix[1];
        }
    }
    *p = 0;
    return buf;
}

void GenMoveStrings(Position* pos, Move m, char* s1, char* s2, char* s3, char* s4) {
    const int from = MoveFrom(m), to = MoveTo(m);
    const int piece = pos->board[from];
    const int type = PieceType(piece);
    const char* tn = square_name[to];
    MoveToStr(m, s1);
    s2[0] = s3[0] = s4[0] = 0;

    if (type != PAWN) {
        const char L = piece_letters[0][type];
        snprintf(s2, 16, "%c", L);
        snprintf(s3, 16, "%c%c", L, 'a' + (from & 7));
        snprintf(s4, 16, "%c%c", L, '1' + (from >> 3));
        Bitboard others = pos->bb[piece] & ~SqBit(from);
        if (others) {
            const Bitboard occ = pos->bb[0] | pos->bb[8] | SqBit(to);
            Bitboard att = 0;
            if (type == KNIGHT) att = BB_KnightRays[to];
            else if (type == KING) att = BB_KingRays[to];
            else {
                if (type == BISHOP || type == QUEEN) att |= BishopAttacks(to, occ);
                if (type == ROOK || type == QUEEN) att |= RookAttacks(to, occ);
            }
            Bitboard rivals = others & att;
            if (rivals & BB_File[from & 7]) strcpy(s2, s4);
            else if (rivals & BB_Rank[from >> 3]) strcpy(s2, s3);
        }
        if (pos->board[to]) {
            strcat(s2, "x");
            strcat(s3, "x");
            strcat(s4, "x");
        }
        strcat(s2, tn);
        strcat(s3, tn);
        strcat(s4, tn);
        if (type == KING && (to == from + 2 || to == from - 2)) {
            const bool is_short = to == from + 2;
            strcpy(s2, is_short ? "o-o" : "o-o-o");
            strcpy(s3, is_short ? "O-O" : "O-O-O");
            strcpy(s4, is_short ? "0-0" : "0-0-0");
        }
    } else {
        const char* suffix = PromoSuffix(m);
        s1[4] = 0;
        const bool capture = pos->board[to] != 0 || (to == pos->ep && (from & 7) != (to & 7));
        if (capture) {
            strcpy(s2, s1);
            s2[1] = 'x';
            s3[0] = s1[0];
            s3[1] = s1[2];
            s3[2] = 0;
        } else {
            strcpy(s2, tn);
        }
        strcat(s1, suffix);
        strcat(s2, suffix);
        if (capture) strcat(s3, suffix);  // a lone "=Q" names no move
    }

    MoveEntry e;
    e.move = m;
    e.score = 0;
    e.piece = (uint8_t)piece;
    e.captured = pos->board[to];
    if (MoveGivesCheck(pos, PieceColor(piece), &e)) {
        strcat(s1, "+");
        strcat(s2, "+");
        strcat(s3, "+");
        strcat(s4, "+");
    }
}

static void CutAtPlus(char* s) {
    if (char* p = strchr(s, '+')) *p = 0;
}

int IsValidMove(const char* text, Move* out) {
    *out = 0;
    if (!CTD) return 0;
    return MatchMoveText(&CTD->pos, text, out);
}

int MatchMoveText(Position* pos, const char* text, Move* out) {
    *out = 0;
    if (!text) return 0;
    // Work on a bounded copy: no move text is longer than a few characters.
    char buf[24];
    size_t n = strnlen(text, sizeof buf);
    if (n >= sizeof buf - 1) return 0;
    memcpy(buf, text, n);
    buf[n] = 0;
    while (n > 0 && IsBlank(buf[n - 1])) buf[--n] = 0;
    CutAtPlus(buf);
    n = strlen(buf);
    while (n > 0 && (buf[n - 1] == '#' || buf[n - 1] == '!' || buf[n - 1] == '?')) buf[--n] = 0;
    if (n == 0) return 0;

    char last = (char)toupper((unsigned char)buf[n - 1]);
    if (n >= 2 && (last == 'B' || last == 'N' || last == 'Q' || last == 'R')) {
        if (buf[n - 2] != '=') {
            buf[n - 1] = '=';
            buf[n++] = last;
            buf[n] = 0;
        } else {
            buf[n - 1] = last;
        }
    }
    for (char* p = buf; *p; p++)
        if (*p == 'O' || *p == '0') *p = 'o';

    const int side = pos->side;
    MoveEntry list[MAX_LIST_MOVES];
    MoveEntry* end = GenerateMoves(pos, side, list);

    int count = 0;
    Move found = 0;
    char s[4][16];
    for (MoveEntry* e = list; e < end; e++) {
        if (!e->move) continue;
        GenMoveStrings(pos, e->move, s[0], s[1], s[2], s[3]);
        bool match = false;
        for (auto& str : s) {
            CutAtPlus(str);
            if (strcmp(str, buf) == 0) match = true;
        }
        if (match && MoveIsLegal(pos, side, e->move)) {
            count++;
            found = e->move;
        }
    }
    if (count == 1) {
        *out = found;
        return 1;
    }
    if (count == 2) {
        WriteStraight("ambiguous move\n");  // shown, not logged
    }
    return 0;
}
