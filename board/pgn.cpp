#include "board/pgn.h"

#include <cctype>
#include <cstring>

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

bool PgnParseTag(const char* line, std::string* name, std::string* value) {
    const char* p = line;
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
    return *p == '"';
}

const char* PgnMoveText(const char* word) {
    const char* p = word;
    while (*p && !isalpha((unsigned char)*p)) p++;
    // Castling written with zeros ("0-0", "12.0-0-0") has no letter.
    const char* zeros = strstr(word, "0-0");
    const char* text = zeros && zeros < p ? zeros : *p ? p : nullptr;
    if (!text || !strcmp(text, "e.p.")) return nullptr;
    return text;
}
