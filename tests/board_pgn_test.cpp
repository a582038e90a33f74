// Reading PGN move text: words of the main line, comments, variations, line
// comments, escape and tag lines, tag pairs and the move inside a word.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/pgn.h"
#include "board/position.h"
#include "test_util.h"

namespace {

// Feeds text through a reader and lists what it completed: "W:<word>" for a
// word of the main line, "C:<comment>" for a comment of the main line.
std::vector<std::string> Tokens(const std::string& text, bool nest = false) {
    PgnReader r;
    r.nest_comments = nest;
    std::vector<std::string> out;
    for (char c : text) {
        PgnToken t = PgnReadChar(r, c);
        if (t == PGN_TOKEN_WORD) out.push_back("W:" + r.word);
        if (t == PGN_TOKEN_COMMENT) out.push_back("C:" + r.comment);
    }
    if (PgnEndOfText(r) == PGN_TOKEN_WORD) out.push_back("W:" + r.word);
    return out;
}

using V = std::vector<std::string>;

TEST(PgnMoveText, WordsAndCommentsOfTheMainLineComeInOrder) {
    EXPECT_EQ(Tokens("1.e4 {+0.20/9} e5 2. Nf3"), (V{"W:1.e4", "C:+0.20/9", "W:e5", "W:2.", "W:Nf3"}));
    // A comment right after a word ends the word; line breaks inside a
    // comment read as blanks; the last word needs no separator after it.
    EXPECT_EQ(Tokens("d4{first\nsecond}d5"), (V{"W:d4", "C:first second", "W:d5"}));
    EXPECT_EQ(Tokens("c4\r\nc5\t*"), (V{"W:c4", "W:c5", "W:*"}));
}

TEST(PgnMoveText, VariationsAndTheirCommentsArePassedOver) {
    EXPECT_EQ(Tokens("8. c3 (8. d4 {eval 20} exd4 (8... Nxd4)) O-O {+0.1/3}"),
              (V{"W:8.", "W:c3", "W:O-O", "C:+0.1/3"}));
    // A ')' without its '(' does not reach below the main line.
    EXPECT_EQ(Tokens("e4 ) e5"), (V{"W:e4", "W:e5"}));
    // Brackets inside a comment are text.
    EXPECT_EQ(Tokens("e4 {see (a) ; b} e5"), (V{"W:e4", "C:see (a) ; b", "W:e5"}));
}

TEST(PgnMoveText, ARestOfLineCommentEndsAtTheLineEnd) {
    EXPECT_EQ(Tokens("e4 ; Qxd8 {not a comment\ne5"), (V{"W:e4", "W:e5"}));
}

TEST(PgnMoveText, NestedBracesCountOnlyWhenAsked) {
    const std::string text = "e4 { outer { inner } still } e5";
    EXPECT_EQ(Tokens(text, true), (V{"W:e4", "C: outer { inner } still ", "W:e5"}));
    // By the standard a comment ends at the first closing brace.
    EXPECT_EQ(Tokens(text, false), (V{"W:e4", "C: outer { inner ", "W:still", "W:e5"}));
}

TEST(PgnMoveText, OverlongWordsAndCommentsAreCutNotSplit) {
    const std::string word(100, 'x');
    V t = Tokens(word + " e4");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0], "W:" + std::string(PGN_MAX_WORD, 'x'));
    EXPECT_EQ(t[1], "W:e4");
    t = Tokens("{" + std::string(10000, 'y') + "} e5");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].size(), 2u + PGN_MAX_COMMENT);
    EXPECT_EQ(t[1], "W:e5");
}

TEST(PgnLines, TagEscapeAndMoveLines) {
    PgnReader r;
    EXPECT_EQ(PgnClassifyLine(r, "[Event \"x\"]"), PGN_LINE_TAG);
    EXPECT_EQ(PgnClassifyLine(r, "  [White \"y\"]"), PGN_LINE_TAG);
    EXPECT_EQ(PgnClassifyLine(r, "% escape"), PGN_LINE_ESCAPE);
    EXPECT_EQ(PgnClassifyLine(r, "[%clk 0:01:00]"), PGN_LINE_ESCAPE);
    EXPECT_EQ(PgnClassifyLine(r, "1. e4 e5"), PGN_LINE_MOVES);
    EXPECT_EQ(PgnClassifyLine(r, ""), PGN_LINE_MOVES);
    // Inside a comment a bracket at a line start is comment text.
    for (char c : std::string("e4 {open")) PgnReadChar(r, c);
    ASSERT_TRUE(PgnInComment(r));
    EXPECT_EQ(PgnClassifyLine(r, "[not a tag]"), PGN_LINE_MOVES);
    PgnResetReader(r);
    EXPECT_FALSE(PgnInComment(r));
    EXPECT_EQ(PgnClassifyLine(r, "[Event \"x\"]"), PGN_LINE_TAG);
}

TEST(PgnLines, TagPairsAreSplitIntoNameAndValue) {
    std::string name, value;
    ASSERT_TRUE(PgnParseTag("[Result \"1-0\"]", &name, &value));
    EXPECT_EQ(name, "Result");
    EXPECT_EQ(value, "1-0");
    ASSERT_TRUE(PgnParseTag(" [White \"Smith, \\\"Doc\\\" J.\"]", &name, &value));
    EXPECT_EQ(name, "White");
    EXPECT_EQ(value, "Smith, \"Doc\" J.");
    ASSERT_TRUE(PgnParseTag("[FEN \"8/8/4k3/8/4P3/8/r7/4K2R b - - 0 1\"]", &name, &value));
    EXPECT_EQ(value, "8/8/4k3/8/4P3/8/r7/4K2R b - - 0 1");
    EXPECT_FALSE(PgnParseTag("[Event x]", &name, &value)) << "a value needs its quotes";
    EXPECT_FALSE(PgnParseTag("[Event \"open", &name, &value)) << "an unclosed value";
    EXPECT_FALSE(PgnParseTag("[ \"no name\"]", &name, &value));
    EXPECT_FALSE(PgnParseTag("1. e4", &name, &value));
}

TEST(PgnLines, TagsSharingALineAreReadOneAfterTheOther) {
    std::string name, value;
    const char* line = "  [Event \"a ] b\"] [ FEN  \"8/8/8 \\\"x\\\"\" ][Result \"1-0\"] 1. e4";
    const char* p = line;
    ASSERT_TRUE(PgnNextTag(&p, &name, &value));
    EXPECT_EQ(name, "Event");
    EXPECT_EQ(value, "a ] b") << "a bracket inside the value does not end the tag";
    ASSERT_TRUE(PgnNextTag(&p, &name, &value));
    EXPECT_EQ(name, "FEN");
    EXPECT_EQ(value, "8/8/8 \"x\"");
    ASSERT_TRUE(PgnNextTag(&p, &name, &value));
    EXPECT_EQ(name, "Result");
    EXPECT_EQ(value, "1-0");
    EXPECT_STREQ(p, " 1. e4") << "the move text after the last tag";
    EXPECT_FALSE(PgnNextTag(&p, &name, &value));
    EXPECT_STREQ(p, " 1. e4") << "unchanged when no tag starts there";
    // A tag without its closing bracket ends at the value's closing quote.
    p = "[White \"x\" [Black \"y\"]";
    ASSERT_TRUE(PgnNextTag(&p, &name, &value));
    EXPECT_STREQ(p, " [Black \"y\"]");
    ASSERT_TRUE(PgnNextTag(&p, &name, &value));
    EXPECT_EQ(name, "Black");
    EXPECT_EQ(*p, '\0');
    p = "[Event \"open";
    EXPECT_FALSE(PgnNextTag(&p, &name, &value));
}

TEST(PgnLines, TheMoveInsideAWord) {
    auto text = [](const char* w) {
        const char* t = PgnMoveText(w);
        return t ? std::string(t) : std::string("(none)");
    };
    EXPECT_EQ(text("e4"), "e4");
    EXPECT_EQ(text("12.Nf3"), "Nf3");
    EXPECT_EQ(text("12...Nxd4+"), "Nxd4+");
    EXPECT_EQ(text("0-0"), "0-0");
    EXPECT_EQ(text("5.0-0-0"), "0-0-0");
    EXPECT_EQ(text("O-O"), "O-O");
    for (const char* none : {"12.", "1-0", "0-1", "1/2-1/2", "*", "$14", "!?", "e.p."})
        EXPECT_EQ(text(none), "(none)") << none;
}

}  // namespace

TEST_F(RecordTest, MoveTextsOfAGameAreReadAgainstThePosition) {
    Position* pos = Set(START_FEN);
    EXPECT_EQ(ReadMoveText(pos, "e4"), MakeMoveCode(12, 28));
    EXPECT_EQ(ReadMoveText(pos, "e2e4"), MakeMoveCode(12, 28));
    EXPECT_EQ(ReadMoveText(pos, "Nf3!?"), MakeMoveCode(6, 21));
    EXPECT_EQ(ReadMoveText(pos, "Nd2"), 0) << "a blocked square";
    EXPECT_EQ(ReadMoveText(pos, "O-O"), 0);
    // The knight on f3 is pinned: "Nd2" names the b1 knight alone.
    pos = Set("4k3/8/8/7b/8/5N2/8/1N1K4 w - -");
    EXPECT_EQ(ReadMoveText(pos, "Nd2"), MakeMoveCode(1, 11));
    // Castling with zeros or letters.
    pos = Set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_EQ(ReadMoveText(pos, "0-0"), MakeMoveCode(4, 6));
    EXPECT_EQ(ReadMoveText(pos, "O-O-O"), MakeMoveCode(4, 2));
}
