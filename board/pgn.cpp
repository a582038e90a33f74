#include "board/pgn.h"

#include <cctype>
#include <cstring>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/records.h"

void PgnResetReader(PgnReader& r) {
    const bool nest = r.nest_comments;
    r = PgnReader();
    r.nest_comments = nest;
}

PgnLineKind PgnClassifyLine(const PgnReader& r, const char* line) {
    if (PgnInComment(r)) return PGN_LINE_MOVES;
    if (line[0] == '%') return PGN_LINE_ESCAPE;
    const char* p = line;
    while (*p == ' ' || *p == '\t') p++;
    if (*p != '[') return PGN_LINE_MOVES;
    return p[1] == '%' ? PGN_LINE_ESCAPE : PGN_LINE_TAG;
}

static bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '{' || c == '}' || c == ';' || c == '(' ||
           c == ')';
}

PgnToken PgnReadChar(PgnReader& r, char c) {
    if (r.comment_depth > 0) {
        if (c == '}' && --r.comment_depth == 0) return r.comment_in_main ? PGN_TOKEN_COMMENT : PGN_TOKEN_NONE;
        if (c == '{' && r.nest_comments) r.comment_depth++;
        if (r.comment_in_main && r.comment.size() < (size_t)PGN_MAX_COMMENT)
            r.comment += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
        return PGN_TOKEN_NONE;
    }
    if (r.line_comment) {
        if (c == '\n') r.line_comment = false;
        return PGN_TOKEN_NONE;
    }
    if (!IsSeparator(c)) {
        if (r.variation == 0 && r.pending.size() < (size_t)PGN_MAX_WORD) r.pending += c;
        return PGN_TOKEN_NONE;
    }
    PgnToken t = PgnEndOfText(r);
    switch (c) {
    case '{':
        r.comment_depth = 1;
        r.comment_in_main = r.variation == 0;
        r.comment.clear();
        break;
    case ';': r.line_comment = true; break;
    case '(': r.variation++; break;
    case ')':
        if (r.variation > 0) r.variation--;
        break;
    default: break;
    }
    return t;
}

PgnToken PgnEndOfText(PgnReader& r) {
    if (r.pending.empty()) return PGN_TOKEN_NONE;
    r.word.swap(r.pending);
    r.pending.clear();
    return PGN_TOKEN_WORD;
}

bool PgnNextTag(const char** at, std::string* name, std::string* value) {
    const char* p = *at;
    while (*p == ' ' || *p == '\t') p++;
    if (*p++ != '[') return false;
    while (*p == ' ' || *p == '\t') p++;
    const char* n = p;
    while (isalnum((unsigned char)*p) || *p == '_') p++;
    if (p == n) return false;
    name->assign(n, (size_t)(p - n));
    while (*p == ' ' || *p == '\t') p++;
    if (*p++ != '"') return false;
    value->clear();
    for (; *p && *p != '"'; p++) {
        if (*p == '\\' && (p[1] == '"' || p[1] == '\\')) p++;
        *value += *p;
    }
    if (*p != '"') return false;
    p++;
    const char* end = p;
    while (*end == ' ' || *end == '\t') end++;
    *at = *end == ']' ? end + 1 : p;
    return true;
}

bool PgnParseTag(const char* line, std::string* name, std::string* value) { return PgnNextTag(&line, name, value); }

const char* PgnMoveText(const char* word) {
    const char* p = word;
    while (*p && !isalpha((unsigned char)*p)) p++;
    // Castling written with zeros ("0-0", "12.0-0-0") has no letter.
    const char* zeros = strstr(word, "0-0");
    const char* text = zeros && zeros < p ? zeros : *p ? p : nullptr;
    if (!text || !strcmp(text, "e.p.")) return nullptr;
    return text;
}

// ---------------------------------------------------------------------------
// Standard algebraic notation

char* SanMove(Position* pos, Move m, char* buf, bool with_check) {
    const int from = MoveFrom(m), to = MoveTo(m);
    const int piece = pos->board[from], type = PieceType(piece);
    char* p = buf;
    if (type == KING && (to == from + 2 || to == from - 2)) {
        strcpy(p, to > from ? "O-O" : "O-O-O");
        p += strlen(p);
    } else if (type == PAWN) {
        const bool capture = pos->board[to] != 0 || (to == pos->ep && (from & 7) != (to & 7));
        if (capture) {
            *p++ = (char)('a' + (from & 7));
            *p++ = 'x';
        }
        *p++ = square_name[to][0];
        *p++ = square_name[to][1];
        for (const char* s = PromoSuffix(m); *s; s++) *p++ = *s;
    } else {
        *p++ = piece_letters[0][type];
        // Other legal moves of the same kind of piece to the same square.
        Move legal[MAX_LEGAL_MOVES];
        int n = GenerateLegalMoves(pos, legal);
        bool rival = false, same_file = false, same_rank = false;
        for (int i = 0; i < n; i++) {
            int f2 = MoveFrom(legal[i]);
            if (MoveTo(legal[i]) != to || f2 == from || pos->board[f2] != piece) continue;
            rival = true;
            if ((f2 & 7) == (from & 7)) same_file = true;
            if ((f2 >> 3) == (from >> 3)) same_rank = true;
        }
        if (rival) {
            if (!same_file || same_rank) *p++ = (char)('a' + (from & 7));
            if (same_file) *p++ = (char)('1' + (from >> 3));
        }
        if (pos->board[to]) *p++ = 'x';
        *p++ = square_name[to][0];
        *p++ = square_name[to][1];
    }
    *p = 0;
    if (with_check) {
        ThreadRecord* owner = pos->owner;
        // The history entry that MakeMove writes may hold a replayable move.
        UndoEntry saved = owner->undo[owner->game_ply];
        MakeMove(pos, m);
        int s = pos->side;
        if (SqAtakd(pos, pos->king_sq[s], s ^ 1)) {
            *p++ = IsMate(pos) ? '#' : '+';
            *p = 0;
        }
        UnmakeMove(pos);
        owner->undo[owner->game_ply] = saved;
    }
    return buf;
}

Move ParseSan(Position* pos, const char* text) {
    char t[24];
    size_t n = 0;
    for (const char* s = text; *s && n < sizeof t - 1; s++) {
        char c = *s;
        if (c == '+' || c == '#' || c == '!' || c == '?') break;
        t[n++] = c == '0' ? 'O' : c;
    }
    t[n] = 0;
    if (*text && strlen(text) >= sizeof t) return 0;
    Move legal[MAX_LEGAL_MOVES], found = 0;
    int count = 0, k = GenerateLegalMoves(pos, legal);
    for (int i = 0; i < k; i++) {
        char san[16];
        SanMove(pos, legal[i], san, false);
        if (!strcmp(san, t)) {
            found = legal[i];
            count++;
        }
    }
    return count == 1 ? found : 0;
}

Move ReadMoveText(Position* pos, const char* text) {
    Move m;
    if (MatchMoveText(pos, text, &m)) return m;
    return ParseSan(pos, text);
}
