#include "parameters.h"

#include <gtest/gtest.h>

#include <algorithm>


namespace declshift {
namespace {

Text Lines(std::initializer_list<const char16_t*> lines) {
    std::vector<Text> parts(lines.begin(), lines.end());
    return Join(parts, kCrLf);
}

struct ListCase {
    const char* label;
    Text input;
    Text expected;
};

void PrintTo(const ListCase& row, std::ostream* out) { *out << row.label; }

class BuildParamListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(BuildParamListTest, LaysOutOneParameterPerLine) {
    Text text = GetParam().input;
    EXPECT_TRUE(BuildParamList(text));
    EXPECT_EQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, BuildParamListTest,
    ::testing::Values(
        ListCase{"strings", u" (Param1$, Param2$, Param3$, Param4$)",
                 Lines({u" (Param1$, \\", u"\\    Param2$, \\", u"\\    Param3$, \\", u"\\    Param4$)"})},
        ListCase{"max_makes_address", u" (lpString$, nMaxCount%)",
                 Lines({u" (lpString%, \\ pstr", u"\\    nMaxCount%)"})},
        ListCase{"string_loses_lp", u" (lpString$, x%)", Lines({u" (String$, \\", u"\\    x%)"})},
        ListCase{"lpsz_becomes_sz", u" (lpszName$, x%)", Lines({u" (szName$, \\", u"\\    x%)"})},
        ListCase{"cch_same_name", u" (lpszName$, cchName%)",
                 Lines({u" (lpszName%, \\ pstr", u"\\    cchName%)"})},
        ListCase{"cch_other_name", u" (lpString$, cch%)", Lines({u" (String$, \\", u"\\    cch%)"})},
        ListCase{"caret_makes_address", u" (x%, ^lpBuf$)", Lines({u" (x%, \\", u"\\     Buf%):REM pstr"})},
        ListCase{"pointer_prefixes", u" (pData%, ppv%, ppObject%)",
                 Lines({u" (Data%, \\", u"\\    ppv%, \\", u"\\    Object%)"})},
        ListCase{"structure_last", u" (hWnd%, lpRect As RECT)",
                 Lines({u" (hWnd%, \\", u"\\    Rect{}:REM RECT)"})},
        ListCase{"structure_first", u" (lpRect As RECT, hWnd%)",
                 Lines({u" (Rect{}, \\ RECT", u"\\    hWnd%)"})},
        ListCase{"byref_first", u" (ByRef x%, y%)", Lines({u" (x%, \\ Pointer to", u"\\    y%)"})},
        ListCase{"byref_last", u" (hWnd%, ByRef x%)", Lines({u" (hWnd%, \\", u"\\    x%):REM Pointer to"})},
        ListCase{"byref_structure", u" (ByRef lpRect As RECT, x%)",
                 Lines({u" (Rect, \\ Pointer to Type RECT", u"\\    x%)"})},
        ListCase{"optional", u" (x%, Optional y% = 0, Optional z$ = \"\")",
                 Lines({u" (x%, \\", u"\\    y%, \\", u"\\    z$)"})},
        ListCase{"optional_first_kept", u" (Optional x% = 1)", u" (Optional x% = 1)"},
        ListCase{"empty_sub", u" ()", u" ()"},
        ListCase{"function_result", u"(hWnd%) As Long", u"(hWnd%):REM returns Long"},
        ListCase{"function_empty", u"() As Long", u"():REM returns Long"},
        ListCase{"function_size", u"(lpBuffer$, nSize%) As Long",
                 Lines({u"(lpBuffer%, \\ pstr", u"\\    nSize%):REM returns Long"})}),
    [](const auto& row) { return std::string(row.param.label); });

// A written-out type on a line that already holds a remark joins that remark.
INSTANTIATE_TEST_SUITE_P(
    RemarkMerge, BuildParamListTest,
    ::testing::Values(
        ListCase{"byref_structure_last", u" (ByRef lpRect As RECT)", u" (Rect):REM Pointer to, Type RECT"},
        ListCase{"structure_then_result", u"(lpRect As RECT) As Long", u"(Rect{}):REM RECT, returns Long"},
        ListCase{"byref_then_result", u"(ByRef x%) As Long", u"(x%):REM Pointer to, returns Long"},
        ListCase{"byref_structure_then_result", u"(ByRef lpRect As RECT) As Long",
                 u"(Rect):REM Pointer to, Type RECT, returns Long"},
        ListCase{"remark_on_another_line", u" (a As RECT, ByRef b%)",
                 Lines({u" (a{}, \\ RECT", u"\\    b%):REM Pointer to"})},
        ListCase{"types_before_byref_result", u"(arch As cs_arch, mode As cs_mode, ByRef hEngine%) As cs_err",
                 Lines({u"(arch{}, \\ cs_arch", u"\\    mode{}, \\ cs_mode",
                        u"\\    hEngine%):REM Pointer to, returns cs_err"})},
        // The result type is rewritten in the pass that handles the first "ByRef ", before
        // the second one has its remark: the second remark goes in front as it stands.
        ListCase{"result_before_second_byref", u"(ByRef major%, ByRef minor%) As Long",
                 Lines({u"(major%, \\ Pointer to", u"\\    minor%):REM Pointer to:REM returns Long"})},
        ListCase{"string_remark_gets_pstr", u" (x%, ByRef ^s$)",
                 Lines({u" (x%, \\", u"\\     s%):REM Pointer to pstr"})}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Edges, BuildParamListTest,
    ::testing::Values(
        ListCase{"comma_without_blank", u" (a%,b%)", Lines({u" (a%, \\", u"\\   b%)"})},
        ListCase{"comma_in_default", u" (x%, Optional s$ = \"a,b\")",
                 Lines({u" (x%, \\", u"\\    s$, \\", u"\\   b\")"})},
        ListCase{"lower_as_rewritten", u" (x as RECT, y%)", Lines({u" (x{}, \\ RECT", u"\\    y%)"})},
        ListCase{"as_as_collapses", u" (x As As RECT, y%)", Lines({u" (x{}, \\ RECT", u"\\    y%)"})},
        ListCase{"upper_as_ignored", u" (x AS RECT)", u" (x AS RECT)"},
        ListCase{"lower_byref_ignored", u" (byref x%)", u" (byref x%)"},
        ListCase{"len_only_capitalised", u" (pName$, nlen%)", Lines({u" (Name$, \\", u"\\    nlen%)"})},
        ListCase{"size_in_next_comment", u" (s$, ByRef n As Size)",
                 Lines({u" (s%, \\ pstr", u"\\    n):REM Pointer to, Type Size"})},
        ListCase{"last_string_stays", u" (x%, pName$)", Lines({u" (x%, \\", u"\\    Name$)"})},
        ListCase{"empty_cch_suffix", u" (s$, xcch", Lines({u" (s%, \\ pstr", u"\\    xcch"})},
        ListCase{"lpcstr_becomes_string", u" (x%, lpcstr%)", Lines({u" (x%, \\", u"\\    lpcstr$)"})},
        ListCase{"string_result_is_address", u"(x%)$", u"(x%)%"},
        ListCase{"double_caret_collapses", u" (^^^x%, y%)", Lines({u" (^x%, \\", u"\\    y%)"})},
        ListCase{"prefix_at_start_stays", u"pData%", u"pData%"},
        ListCase{"no_parentheses", u"x As Long", u"x:REM returns Long"}),
    [](const auto& row) { return std::string(row.param.label); });

struct FailCase {
    const char* label;
    Text input;
    Text stateAfter;  // the by-reference text when the trap caught the failure
};

void PrintTo(const FailCase& row, std::ostream* out) { *out << row.label; }

class BuildParamListFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(BuildParamListFailure, LeavesTheTextWhereItFailed) {
    Text text = GetParam().input;
    EXPECT_FALSE(BuildParamList(text));
    EXPECT_EQ(text, GetParam().stateAfter);
}

Text Repeated(TextView piece, std::size_t times) {
    Text out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, BuildParamListFailure,
    ::testing::Values(
        FailCase{"byref_without_end", u" (ByRef x%", u" (ByRef x%"},
        FailCase{"second_byref_without_end", u" (ByRef a%, ByRef b",
                 Lines({u" (a%, \\ Pointer to", u"\\    ByRef b"})},
        FailCase{"as_ends_text", u"(x%) As ", u"(x%) As "},
        // A type that runs past the line break has a negative length to its
        // end, whether or not the text already holds a remark.
        FailCase{"type_past_line_break", u"(x%) As Long\r\n", u"(x%) As Long\r\n"},
        FailCase{"remarked_type_past_line_break", u"(x As RECT) As Long\r\n",
                 u"(x) As Long:REM Type RECT\r\n"},
        FailCase{"remarked_empty_type_past_line_break", u" (p As  As )\r\n", u" (p):REM Type  As \r\n"},
        // The layout takes "ByRef " past position 32,767.
        FailCase{"position_beyond_16_bits",
                 u" (" + Repeated(u",", 3000) + Repeated(u"x", 6000) + u"ByRef y%)",
                 u" (" + Repeated(u", \\\r\n\\   ", 3000) + Repeated(u"x", 6000) + u"ByRef y%)"}),
    [](const auto& row) { return std::string(row.param.label); });

// The text's length is kept in 16 bits as it arrives and after every rewrite pass.
struct LengthCase {
    const char* label;
    Text text;
    bool converts;
};

void PrintTo(const LengthCase& row, std::ostream* out) { *out << row.label; }

class BuildParamListLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(BuildParamListLength, FailsBeyond32767Characters) {
    Text text = GetParam().text;
    EXPECT_EQ(BuildParamList(text), GetParam().converts);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, BuildParamListLength,
    ::testing::Values(LengthCase{"entry_32767", u"(" + Repeated(u"x", 32765) + u")", true},
                      LengthCase{"entry_32768", u"(" + Repeated(u"x", 32766) + u")", false},
                      // Each comma grows by eight characters in the layout.
                      LengthCase{"layout_32762", u"(" + Repeated(u",", 3640) + u")", true},
                      LengthCase{"layout_32771", u"(" + Repeated(u",", 3641) + u")", false},
                      // " As Q" (5) becomes ":REM returns Q" (14).
                      LengthCase{"pass_32767", u"(" + Repeated(u"x", 32752) + u" As Q", true},
                      LengthCase{"pass_32768", u"(" + Repeated(u"x", 32753) + u" As Q", false}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(BuildParamListLimits, ManyParametersStayInOrder) {
    Text input = u" (";
    Text expected = u" (";
    for (int i = 0; i < 500; ++i) {
        const auto digits = std::to_string(i);
        const Text n(digits.begin(), digits.end());
        input += (i ? u", " : u"") + (u"ByRef p" + n + u" As T" + n);
        expected += (i ? u"\r\n\\    " : u"") + (u"p" + n + (i < 499 ? u", \\ Pointer to Type T" + n : u""));
    }
    input += u")";
    expected += u"):REM Pointer to, Type T499";
    Text text = input;
    EXPECT_TRUE(BuildParamList(text));
    EXPECT_EQ(text, expected);
}

struct MapCase {
    const char* label;
    Text line;
    Text next;
    Text expected;
};

void PrintTo(const MapCase& row, std::ostream* out) { *out << row.label; }

class MapParamTypeTest : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapParamTypeTest, AdjustsOneLine) {
    Text line = GetParam().line;
    EXPECT_EQ(MapParamType(line, GetParam().next), GetParam().expected);
    EXPECT_EQ(line, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MapParamTypeTest,
    ::testing::Values(MapCase{"options_keeps_p", u"\\    dwOptions%", u"", u"\\    dwOptions%"},
                      MapCase{"lp_prefix", u" (lpRect{}, \\ Type RECT", u"", u" (Rect{}, \\ Type RECT"},
                      MapCase{"len_in_next", u" (s$, \\", u"\\    nLen%)", u" (s%, \\ pstr"},
                      MapCase{"size_in_next", u" (s$, \\", u"\\    cbSize%)", u" (s%, \\ pstr"},
                      MapCase{"cch_short_rest", u" (s$, \\", u"\\    cch", u" (s%, \\ pstr"},
                      MapCase{"pcstr_back_to_string", u"\\    pcstr%)", u"", u"\\    pcstr$)"},
                      MapCase{"last_string_address_remark", u"\\    ^s$)", u"", u"\\     s%):REM pstr"},
                      MapCase{"lp_at_start_then_p", u"lpX$", u"", u"lpX$"},
                      MapCase{"p_behind_caret", u" (^pName$, \\", u"", u" ( Name%, \\ pstr"},
                      MapCase{"remark_gets_blank_pstr", u"\\    ^s$):REM x", u"", u"\\     s%):REM x pstr"},
                      MapCase{"string_result", u"(a%)$", u"", u"(a%)%"}),
    [](const auto& row) { return std::string(row.param.label); });

struct StripCase {
    const char* label;
    Text line;
    Text prefix;
    Text expected;
};

void PrintTo(const StripCase& row, std::ostream* out) { *out << row.label; }

class StripPrefixTest : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripPrefixTest, RemovesOnlyANamePrefix) {
    Text line = GetParam().line;
    StripPrefix(line, GetParam().prefix);
    EXPECT_EQ(line, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Prefixes, StripPrefixTest,
                         ::testing::Values(StripCase{"after_paren", u" (lpRect%", u"lp", u" (Rect%"},
                                           StripCase{"after_blank", u"\\    pData%", u"p", u"\\    Data%"},
                                           StripCase{"after_caret", u"^pName$", u"p", u"^Name$"},
                                           StripCase{"only_first_occurrence", u"\\    dwOptions% pX%", u"p",
                                                     u"\\    dwOptions% pX%"},
                                           StripCase{"lower_case_after", u"\\    ppv%", u"pp", u"\\    ppv%"},
                                           StripCase{"p_before_pp", u"\\    ppObject%", u"p",
                                                     u"\\    ppObject%"},
                                           StripCase{"pp", u"\\    ppObject%", u"pp", u"\\    Object%"},
                                           StripCase{"at_position_one", u"pData%", u"p", u"pData%"},
                                           StripCase{"nothing_after", u" (p", u"p", u" (p"},
                                           StripCase{"absent", u" (x%", u"lp", u" (x%"}),
                         [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace declshift
