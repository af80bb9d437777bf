#include "structures.h"

#include <gtest/gtest.h>

#include <random>

#include "declshift.h"
#include "identifiers.h"

namespace declshift {
namespace {

Text Lines(std::initializer_list<const char16_t*> lines) { return Join({lines.begin(), lines.end()}, kCrLf); }

Text Failed(const Text& name) { return u"REM Sorry I could not convert " + name; }

struct TypeCase {
    const char* label;
    Text name;
    Text data;
    Text formatted;  // AutoFormat set
    Text packed;     // AutoFormat clear
};

void PrintTo(const TypeCase& row, std::ostream* out) { *out << row.label; }

class GetTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(GetTypeTest, FormattedLayout) {
    Options options;
    options.m_AutoFormat = -1;
    EXPECT_EQ(GetType(options, GetParam().name, GetParam().data), GetParam().formatted);
}

TEST_P(GetTypeTest, PackedLayout) {
    EXPECT_EQ(GetType(Options{}, GetParam().name, GetParam().data), GetParam().packed);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, GetTypeTest,
    ::testing::Values(
        TypeCase{"preview_sample", u"TEST",
                 Lines({u"\tParam1 As Long", u"\tParam2 As Long", u"\tParam3 As Long", u"\tParam4 As Long"}),
                 Lines({u"DIM TEST{ \\", u"\\    Param1%, \\ int32", u"\\    Param2%, \\ int32",
                        u"\\    Param3%, \\ int32", u"\\    Param4% \\ int32", u"\\    }"}),
                 u"DIM TEST{ Param1%, Param2%, Param3%, Param4% }"},
        TypeCase{
            "every_form", u"TOPINFO",
            Lines({u"\tdwSize As Long", u"\tszName As String * 32   ' display name",
                   u"\tszPath As String * MAX_PATH", u"\tbData(0 To 15) As Byte", u"\tdwVals(1 To 4) As Long",
                   u"\taPts(3) As POINTAPI", u"\twFlags As Integer"}),
            Lines({u"DIM _TOPINFO{ \\", u"\\    dwSize%, \\ int32",
                   u"\\    szName&(32    - 1), \\ str display name", u"\\    szPath&(_MAX_PATH - 1), \\ str",
                   u"\\    bData&(15), \\ byte", u"\\    dwVals%(4 - 1), \\ int32",
                   u"\\    aPts&(3,!!^POINTAPI{}-1), \\ ", u"\\    wFlags{l&,h&} \\ int16", u"\\    }"}),
            u"DIM _TOPINFO{ dwSize%, szName&(32 - 1), szPath&(_MAX_PATH - 1), bData&(15), dwVals%(4 - 1), "
            u"aPts&(3,!!^POINTAPI{}-1), wFlags{l&,h&} }"},
        TypeCase{"nested", u"WINPOS", Lines({u"\trc As RECT ' client area", u"\tpt As POINTAPI"}),
                 Lines({u"DIM WINPOS{ \\", u"\\    rc{} = RECT{}, \\ client area",
                        u"\\    pt{} = POINTAPI{} \\ ", u"\\    }"}),
                 u"DIM WINPOS{ rc{} = RECT{}, pt{} = POINTAPI{} }"},
        TypeCase{
            "member_table", u"SHAPES",
            Lines({u"\tb As Byte", u"\ti As Integer", u"\tl As Long", u"\ts As Single", u"\td As Double",
                   u"\tp As String", u"\tf As String * 8", u"\tg As String * LEN_X", u"\tn As TOPRECT",
                   u"\tab(4) As Byte", u"\tal(0 To 4) As Long", u"\tad(2 To 9) As Double",
                   u"\taw(1 To HIGH) As Long", u"\tar(3) As POINTAPI", u"\tai(3) As Integer",
                   u"\tbm(MAX_X) As Byte", u"\tlast As Long"}),
            Lines({u"DIM SHAPES{ \\", u"\\    b&, \\ byte", u"\\    i{l&,h&}, \\ int16",
                   u"\\    l%, \\ int32", u"\\    s%, \\ single", u"\\    d#, \\ double",
                   u"\\    p%, \\ pstr", u"\\    f&(8 - 1), \\ str", u"\\    g&(_LEN_X - 1), \\ str",
                   u"\\    n{} = _TOPRECT{}, \\ ", u"\\    ab&(4), \\ byte", u"\\    al%(4), \\ int32",
                   u"\\    ad#(9 - 2), \\ double", u"\\    aw%(_HIGH - 1), \\ int32",
                   u"\\    ar&(3,!!^POINTAPI{}-1), \\ ", u"\\    ai{l&(3),h&}, \\ int16",
                   u"\\    bm&(MAX_X), \\ byte", u"\\    last% \\ int32", u"\\    }"}),
            u"DIM SHAPES{ b&, i{l&,h&}, l%, s%, d#, p%, f&(8 - 1), g&(_LEN_X - 1), n{} = _TOPRECT{}, ab&(4), "
            u"al%(4), ad#(9 - 2), aw%(_HIGH - 1), ar&(3,!!^POINTAPI{}-1), ai{l&(3),h&}, bm&(MAX_X), last% }"},
        // Lower bounds are rewritten after arrays of structures and take the whole
        // "3,!!^RECT{}-1" as the upper bound.
        TypeCase{"nested_array_with_lower_bound", u"R", Lines({u"\tr(1 To 3) As RECT", u"\tx As Long"}),
                 Lines({u"DIM R{ \\", u"\\    r&(3,!!^RECT{}-1 - 1), \\ ", u"\\    x% \\ int32", u"\\    }"}),
                 u"DIM R{ r&(3,!!^RECT{}-1 - 1), x% }"},
        TypeCase{
            "other_type_words_nest", u"V", Lines({u"\tu As Boolean", u"\tv As Variant"}),
            Lines({u"DIM V{ \\", u"\\    u{} = Boolean{}, \\ ", u"\\    v{} = Variant{} \\ ", u"\\    }"}),
            u"DIM V{ u{} = Boolean{}, v{} = Variant{} }"},
        TypeCase{"untyped_last_line", u"U", Lines({u"\ta As Long", u"\tb As Long", u"\tc"}),
                 Lines({u"DIM U{ \\", u"\\    a%, \\ int32", u"\\    b% \\ int32", u"\\    c", u"\\    }"}),
                 u"DIM U{ a%, b% c }"},
        TypeCase{"lower_case_as_untouched", u"L", Lines({u"\tx as Long", u"\ty As Long"}),
                 Lines({u"DIM L{ \\", u"\\    x as Long", u"\\    y% \\ int32", u"\\    }"}),
                 u"DIM L{ x as Long y% }"},
        TypeCase{"not_indented", u"N", Lines({u"x As Long", u"y As Long"}),
                 Lines({u"DIM N{ \\", u"\\x%, \\ int32", u"\\y% \\ int32", u"\\    }"}),
                 u"DIM N{ \\x%, \\y% }"},
        TypeCase{"blank_lines", u"B", Lines({u"\ta As Long", u"", u"\t", u"\tb As Long"}),
                 Lines({u"DIM B{ \\", u"\\    a%, \\ int32", u"\\", u"\\    \\", u"\\    b% \\ int32",
                        u"\\    }"}),
                 u"DIM B{ a%, \\ b% }"},
        TypeCase{"comment_lines", u"C", Lines({u"\t' first", u"\ta As Long", u"\t' inner", u"\tb As Long"}),
                 Lines({u"DIM C{ \\", u"\\ first", u"\\    a%, \\ int32", u"\\    \\ inner",
                        u"\\    b% \\ int32", u"\\    }"}),
                 u"DIM C{ first a%, b% }"},
        TypeCase{"comment_spacing", u"K",
                 Lines({u"\ta As Long 'tight", u"\tb As Long' glued", u"\tc As Long      '     wide",
                        u"\td As Long ' it's", u"\te As Long '"}),
                 Lines({u"DIM K{ \\", u"\\    a%, \\ int32 tight", u"\\    b%, \\ int32 glued",
                        u"\\    c%, \\ int32 wide", u"\\    d%, \\ int32 it's", u"\\    e% \\ int32 ",
                        u"\\    }"}),
                 u"DIM K{ a%, b%, c%, d%, e% }"},
        TypeCase{"fixed_string_glued_comment_keeps_apostrophe", u"S",
                 Lines({u"\ts As String * 32    'x", u"\tt As Long"}),
                 Lines({u"DIM S{ \\", u"\\    s&(32     - 1), \\ str'x", u"\\    t% \\ int32", u"\\    }"}),
                 u"DIM S{ s&(32 - 1), t% }"},
        TypeCase{"fixed_string_empty_length", u"E", Lines({u"\ts As String * ", u"\tt As Long"}),
                 Lines({u"DIM E{ \\", u"\\    s&(_ - 1), \\ str", u"\\    t% \\ int32", u"\\    }"}),
                 u"DIM E{ s&(_ - 1), t% }"},
        // The first " As String * " at position 1 stops the rewriting of every fixed string.
        TypeCase{"fixed_string_at_position_one", u"P", Lines({u" As String * 4", u"\ts As String * 8"}),
                 Lines({u"DIM P{ \\", u"\\%, \\ pstr * 4", u"\\    s% \\ pstr * 8", u"\\    }"}),
                 u"DIM P{ \\%, s% }"},
        // A second " As String * " inside a length expression is rewritten in a later round.
        TypeCase{"fixed_string_twice_in_a_line", u"T", u"\tx As String * 5 As String * 6",
                 Lines({u"DIM T{ \\", u"\\    x&(5&(6 - 1) \\ str - 1), \\ str", u"\\    }"}),
                 u"DIM T{ x&(5&(6 - 1) }"},
        TypeCase{"byte_comes_first", u"Y", u"\tv As String * 2 As Byte",
                 Lines({u"DIM Y{ \\", u"\\    v&(2& \\ byte - 1), \\ str", u"\\    }"}), u"DIM Y{ v&(2& }"},
        TypeCase{"trailing_controls_trimmed", u"Z", u"\ta As Long\r\n\t\r\n\r\n",
                 Lines({u"DIM Z{ \\", u"\\    a% \\ int32", u"\\    }"}), u"DIM Z{ a% }"},
        TypeCase{"first_backslash_not_the_comma_mark", u"Q", Lines({u"\ta As Long", u"\t'b(0 To 3) As Byte"}),
                 Lines({u"DIM Q{ \\", u"\\    a%, \\ int32", u"\\   \\b&(3), \\ byte", u"\\    }"}),
                 u"DIM Q{ a%, }"},
        TypeCase{"keyword_structure_name", u"TOTAL", u"\ta As Long",
                 Lines({u"DIM _TOTAL{ \\", u"\\    a% \\ int32", u"\\    }"}), u"DIM _TOTAL{ a% }"},
        // Failures.
        TypeCase{"empty", u"E", u"", Failed(u"E"), Failed(u"E")},
        TypeCase{"only_controls", u"E", u"\r\n\t\r\n", Failed(u"E"), Failed(u"E")},
        TypeCase{"no_typed_member", u"N", Lines({u"\ta", u"\tb as Long"}), Failed(u"N"), Failed(u"N")},
        TypeCase{"close_before_open", u"W", u"\tx As Long ' a) b, c", Failed(u"W"), Failed(u"W")},
        TypeCase{"to_without_bounds", u"W", u"\tx As Long ' 1 To 4", Failed(u"W"), Failed(u"W")}),
    [](const auto& row) { return std::string(row.param.label); });

// 16-bit positions and line indices.

Options Formatted() {
    Options options;
    options.m_AutoFormat = -1;
    return options;
}

bool Converts(const Options& options, const Text& data) {
    return GetType(options, u"BIG", data) != Failed(u"BIG");
}

// A fixed string, then one untyped line of filler, then a short typed member, `size`
// characters in all. `tail` ends the last line.
Text FixedStringThenFiller(std::size_t size, const Text& tail = u"") {
    const Text head = u"\ts As String * 4\r\n\t";
    const Text last = u"\r\n\ty As Long" + tail;
    return head + Text(size - head.size() - last.size(), u'x') + last;
}

TEST(GetTypeLimits, ApostropheSearchRunsOnePastTheEndOfTheText) {
    // The text with its appended line break must leave one past its end within 32,767.
    EXPECT_TRUE(Converts(Formatted(), FixedStringThenFiller(32764)));
    EXPECT_FALSE(Converts(Formatted(), FixedStringThenFiller(32765)));
    // An apostrophe within the limit stands in for the end.
    EXPECT_TRUE(Converts(Formatted(), FixedStringThenFiller(32765, u" '")));
    EXPECT_FALSE(Converts(Formatted(), FixedStringThenFiller(40000, u" '")));
}

TEST(GetTypeLimits, BigTextWithoutFixedStringsConverts) {
    const Text data = u"\ta As Long\r\n\t" + Text(40000, u'x') + u"\r\n\tb As Long";
    EXPECT_TRUE(Converts(Formatted(), data));
}

TEST(GetTypeLimits, CommentedFixedStringInABigTextConverts) {
    const Text data = u"\ts As String * 4 ' c\r\n\t" + Text(40000, u'x') + u"\r\n\tb As Long";
    const Text result = GetType(Formatted(), u"BIG", data);
    EXPECT_EQ(result.rfind(u"DIM BIG{ \\\r\n\\    s&(4  - 1), \\ str c\r\n\\    xxx", 0), 0u);
}

TEST(GetTypeLimits, FixedStringBehindPosition32767Fails) {
    const Text data = u"\t" + Text(32760, u'x') + u"\r\n\ts As String * 4 ' c\r\n\tb As Long";
    EXPECT_FALSE(Converts(Formatted(), data));
}

TEST(GetTypeLimits, PositionsWithinALine) {
    EXPECT_TRUE(Converts(Formatted(), u"\t" + Text(32000, u'x') + u" As RECT"));
    EXPECT_FALSE(Converts(Formatted(), u"\t" + Text(32770, u'x') + u" As RECT"));
    // The comma mark of the last member must stand within the limit too.
    EXPECT_FALSE(Converts(Formatted(), u"\t" + Text(32770, u'x') + u" As Long"));
}

TEST(GetTypeLimits, LineCount) {
    // 32,767 lines convert; LayoutLines then sees 32,769 and fails.
    std::vector<Text> lines(32767, u"");
    lines.front() = u"\ta As Long";
    lines.back() = u"\tb";
    EXPECT_TRUE(Converts(Formatted(), Join(lines, kCrLf)));
    EXPECT_FALSE(Converts(Options{}, Join(lines, kCrLf)));
    lines.insert(lines.begin() + 1, u"");
    EXPECT_FALSE(Converts(Formatted(), Join(lines, kCrLf)));
}

TEST(GetTypeOptions, AnyNonZeroFlagFormats) {
    const Text data = u"\ta As Long\r\n\tb As Long";
    Options one;
    one.m_AutoFormat = 1;
    EXPECT_EQ(GetType(one, u"A", data), GetType(Formatted(), u"A", data));
    EXPECT_NE(GetType(one, u"A", data), GetType(Options{}, u"A", data));
}

// The linear rewrites against the round-by-round rebuilding they replace.

Text RebuildFixedStrings(Text text) {
    for (;;) {
        const Int16 a = InStr(text, u" As String * ");
        if (a == 0 || a == 1) return text;
        Int16 e = InStr(a + 13, text, kCrLf);
        Int16 p = InStr(a + 13, text, u"'");
        if (p == 0) p = Len(text) + 1;
        if (p < e) e = p;
        Text length = Mid(text, a + 13, e - a - 13);
        if (!IsDigit(length)) length = u"_" + length;
        text = Left(text, a - 1) + u"&(" + length + u" - 1), \\ str" + Mid(text, e);
    }
}

// The result, or "!" when the rewrite fails.
template <typename Rewrite>
Text Outcome(Rewrite rewrite, const Text& text) {
    try {
        return rewrite(text);
    } catch (const ConversionFailure&) {
        return u"!";
    }
}

Text RandomText(std::mt19937& random, const std::vector<Text>& pieces, std::size_t count) {
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    Text out;
    for (std::size_t i = 0; i < count; ++i) out += pieces[pick(random)];
    return out;
}

struct RewriteCase {
    const char* label;
    Text text;
};

void PrintTo(const RewriteCase& row, std::ostream* out) { *out << row.label; }

class FixedStringRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(FixedStringRewrite, MatchesRebuildingTheText) {
    const Text& text = GetParam().text;
    EXPECT_EQ(Outcome(ExpandFixedStrings, text), Outcome(RebuildFixedStrings, text));
}

INSTANTIATE_TEST_SUITE_P(
    Tricky, FixedStringRewrite,
    ::testing::Values(
        RewriteCase{"plain", u"\ta As String * 4\r\n\tb As String * N ' c\r\n"},
        RewriteCase{"at_position_one", u" As String * 4\r\n\tb As String * 4\r\n"},
        RewriteCase{"chained_in_a_line", u"x As String * As String * As String * 1\r\n"},
        RewriteCase{"ends_with_open_pattern", u"x As String * 5 As String *\r\n"},
        RewriteCase{"ends_with_open_pattern_before_comment", u"x As String * 5 As String *'c\r\n"},
        RewriteCase{"overlapping", u"x As String * As String * \r\n"},
        RewriteCase{"empty_lengths", u"x As String * \r\ny As String * '\r\n"},
        RewriteCase{"apostrophe_far_behind", u"x As String * 1\r\ny\r\nz ' c\r\nw As String * 2\r\n"},
        RewriteCase{"lone_carriage_returns", u"x As String * 1\r y As String * 2\n\r\n"},
        RewriteCase{"near_the_limit", u"x As String * 1\r\n" + Text(32740, u'y') + u"\r\n"},
        RewriteCase{"over_the_limit", u"x As String * 1\r\n" + Text(32760, u'y') + u"\r\n"},
        RewriteCase{"limit_reached_by_growth",
                    [] {
                        Text built;
                        while (built.size() < 32700) built += u"\ta As String * 1 '\r\n";
                        return built + u"\r\n";
                    }()}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(FixedStringRewriteRandom, MatchesRebuildingTheText) {
    std::mt19937 random(7);
    const std::vector<Text> pieces = {u" As String * ",
                                      u" As String *",
                                      u"As String * ",
                                      u"\r\n",
                                      u"\r",
                                      u"\n",
                                      u"'",
                                      u" ",
                                      u"5",
                                      u"N",
                                      u"x"};
    for (int round = 0; round < 3000; ++round) {
        const Text text = RandomText(random, pieces, static_cast<std::size_t>(1 + round % 25)) + u"\r\n";
        ASSERT_EQ(Outcome(ExpandFixedStrings, text), Outcome(RebuildFixedStrings, text)) << round;
    }
}

TEST(ApostropheBlanksRandom, MatchReplacingWhileFound) {
    std::mt19937 random(11);
    const std::vector<Text> pieces = {u" ", u"  ", u"'", u"a", u"\r\n"};
    for (int round = 0; round < 3000; ++round) {
        const Text text = RandomText(random, pieces, static_cast<std::size_t>(round % 30));
        ASSERT_EQ(ShrinkBlanksBeforeApostrophes(text), ReplaceWhile(text, u"  '", u" '")) << round;
        ASSERT_EQ(ShrinkBlanksAfterApostrophes(text), ReplaceWhile(text, u"'  ", u"' ")) << round;
    }
}

}  // namespace
}  // namespace declshift
