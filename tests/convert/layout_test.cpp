#include "layout.h"

#include <gtest/gtest.h>

#include <random>

namespace declshift {
namespace {

Text Lines(std::initializer_list<const char16_t*> lines) {
    std::vector<Text> parts(lines.begin(), lines.end());
    return Join(parts, kCrLf);
}

struct LayoutCase {
    const char* label;
    Text input;
    Text expected;
};

void PrintTo(const LayoutCase& row, std::ostream* out) { *out << row.label; }

class LayoutLinesTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutLinesTest, PacksAndKeepsTheArgumentInStep) {
    Text text = GetParam().input;
    const Text result = LayoutLines(text);
    EXPECT_EQ(result, GetParam().expected);
    EXPECT_EQ(text, result);
}

Text Members(int count) {
    std::vector<Text> lines{u"DIM BIG{ \\"};
    for (int i = 0; i < count; ++i) {
        const auto digits = std::to_string(i + 100).substr(1);
        lines.push_back(u"\\    Member" + Text(digits.begin(), digits.end()) + u"%, \\ int32");
    }
    return Join(lines, kCrLf);
}

Text PackedMembers(int from, int to) {
    Text out;
    for (int i = from; i < to; ++i) {
        const auto digits = std::to_string(i + 100).substr(1);
        out += u" Member" + Text(digits.begin(), digits.end()) + u"%,";
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, LayoutLinesTest,
    ::testing::Values(
        LayoutCase{"structure",
                   Lines({u"DIM TEST{ \\", u"\\    Param1%, \\ int32", u"\\    Param2%, \\ int32",
                          u"\\    Param3%, \\ int32", u"\\    Param4% \\ int32", u"\\    }"}),
                   u"DIM TEST{ Param1%, Param2%, Param3%, Param4% }"},
        LayoutCase{"call",
                   Lines({u"SYS test, Param1$, \\", u"\\    Param2$, \\", u"\\    Param3$, \\",
                          u"\\    Param4$ TO ret%"}),
                   u"SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"},
        LayoutCase{"sys_starts_a_line", Lines({u"LOCAL ret", u"SYS func%, a%, b% TO ret"}),
                   u"LOCAL ret\r\nSYS func%, a%, b% TO ret"},
        LayoutCase{"single_line_unchanged", u"a b c", u"a b c"},
        LayoutCase{"inner_sys_breaks", u"x SYS y", u"x\r\nSYS y"},
        LayoutCase{"backslash_in_quotes_cuts", u"SYS \"a\\b\" x", u"SYS \"a"},
        LayoutCase{"rem_needs_blank", u"a:REMb", u"a:REMb"},
        LayoutCase{"rem_comment_dropped", u"a%):REM returns Long", u"a%)"},
        LayoutCase{"trailing_break_leaves_one_blank", u"a\r\n", u"a "},
        LayoutCase{"blank_runs_collapse", u"a     b", u"a b"},
        LayoutCase{"backslash_without_blank_kept", Lines({u"DIM A{ \\", u"\\x%, \\ int32", u"\\}"}),
                   u"DIM A{ \\x%, \\}"},
        LayoutCase{"leading_blanks_shrink", u"\\      a\\", u"a"},
        LayoutCase{"forty_members", Members(40) + u"\r\n\\    }",
                   u"DIM BIG{" + PackedMembers(0, 21) + u" \\\r\n\\" + PackedMembers(21, 40) + u" }"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(LayoutLinesLimits, LongFirstLineIsPrecededByALoneBackslash) {
    Text text(300, u'x');
    EXPECT_EQ(LayoutLines(text), u"\\\r\n\\ " + Text(300, u'x'));
}

TEST(LayoutLinesLimits, SysMovedToAContinuationLineBreaksAgain) {
    Text text = Text(249, u'x') + u"\r\nSYS y";
    EXPECT_EQ(LayoutLines(text), Text(249, u'x') + u" \\\r\n\\\r\nSYS y");
}

TEST(LayoutLinesLimits, LineOf32765CharactersPasses) {
    Text text(32765, u'x');
    EXPECT_EQ(LayoutLines(text).size(), 32765u + 5u);
}

TEST(LayoutLinesLimits, LineOf32766CharactersOverflows) {
    Text text(32766, u'x');
    EXPECT_THROW(LayoutLines(text), ConversionFailure);
}

TEST(LayoutLinesLimits, MoreThan32767LinesOverflow) {
    std::vector<Text> lines(32767, u"a");
    Text text = Join(lines, kCrLf);
    EXPECT_NO_THROW(LayoutLines(text));
    lines.push_back(u"a");
    text = Join(lines, kCrLf);
    EXPECT_THROW(LayoutLines(text), ConversionFailure);
}

TEST(LayoutLinesLimits, LongRunOfContinuationBlanksIsFast) {
    // The repeated shrink of "\  " must not take one pass per blank.
    Text text = u"\\" + Text(32000, u' ') + u"a";
    EXPECT_EQ(LayoutLines(text), u"a");
}

// The packing written line by line, as the layout was first stated: split, cut
// each line, shrink its leading blanks one round at a time, join, break before
// SYS, and halve blank runs until none is left.
Text LayoutLinesLiterally(const Text& text) {
    std::vector<Text> lines = Split(text, kCrLf);
    Int16 running = 0;
    const Int16 last = static_cast<std::int64_t>(lines.size()) - 1;
    for (Int16 i = 0; i <= last; ++i) {
        Text& line = lines[static_cast<std::size_t>(i.get())];
        if (const auto p = InStr(2, line, u"\\"); p != 0) line = Left(line, p - 1);
        if (const auto q = InStr(line, u":REM "); q != 0) line = Left(line, q - 1);
        while (Left(line, 3) == u"\\  ") line = Replace(line, u"\\  ", u"\\ ");
        if (Left(line, 2) == u"\\ ") line = Mid(line, 3);
        if (Len(line) + running > 250) {
            line = u"\\" + Text(kCrLf) + u"\\ " + line;
            running = Len(line) - 3;
        } else {
            running += Len(line);
        }
    }
    Text out = Join(lines, u" ");
    out = Replace(out, u" SYS ", Text(kCrLf) + u"SYS ");
    while (Contains(out, u"  ")) out = Replace(out, u"  ", u" ");
    return out;
}

TEST(LayoutLinesEquivalence, RandomLayoutsPackAsLineByLine) {
    static const std::vector<Text> kPieces = {u"\\",    u"\\ ",        u"\\    ",   u" ",      u"  ",
                                              u"\r\n",  u"\r\n\\    ", u":REM ",    u":REM",   u"SYS ",
                                              u" SYS ", u"x",          u"Param1%,", u"TO ret", u"\\ int32",
                                              u"\r",    u"\n",         u"DIM A{ ",  u"}"};
    std::mt19937 random(17);
    for (int i = 0; i < 4000; ++i) {
        Text text;
        const std::size_t pieces = random() % (i % 10 == 0 ? 400 : 40);
        for (std::size_t k = 0; k < pieces; ++k) {
            // Now and then a long run, to pass the 250-character line width.
            text += random() % 50 == 0 ? Text(random() % 300, u'y') : kPieces[random() % kPieces.size()];
        }
        Text copy = text;
        ASSERT_EQ(LayoutLines(copy), LayoutLinesLiterally(text)) << "case " << i;
    }
}

}  // namespace
}  // namespace declshift
