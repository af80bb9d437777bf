#include <gtest/gtest.h>

#include "declshift.h"

namespace declshift {
namespace {

struct ConstCase {
    const char* label;
    std::u16string name;
    std::u16string value;
    std::u16string expected;
    std::u16string nameAfter;  // empty: the name comes back unchanged
};

void PrintTo(const ConstCase& row, std::ostream* out) { *out << row.label; }

class GetConstTest : public ::testing::TestWithParam<ConstCase> {};

TEST_P(GetConstTest, ConvertsToOneAssignment) {
    const auto& c = GetParam();
    std::u16string name = c.name;
    EXPECT_EQ(GetConst(Options{}, name, c.value), c.expected);
    EXPECT_EQ(name, c.nameAfter.empty() ? c.name : c.nameAfter);
}

std::u16string Repeat(const char16_t* piece, std::size_t times) {
    std::u16string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

const std::u16string kLongName = Repeat(u"N", 251);

INSTANTIATE_TEST_SUITE_P(
    Examples, GetConstTest,
    ::testing::Values(
        ConstCase{"decimal", u"MAX_PATH", u"260", u"MAX_PATH = 260", u""},
        ConstCase{"hex", u"WM_USER", u"&H400", u"WM_USER = &400", u""},
        ConstCase{"hex_long_mark", u"SE_PRIVILEGE_ENABLED", u"&H2&", u"SE_PRIVILEGE_ENABLED = &2", u""},
        ConstCase{"string", u"SE_DEBUG_NAME", u"\"SeDebugPrivilege\"",
                  u"SE_DEBUG_NAME$ = \"SeDebugPrivilege\"", u""},
        ConstCase{
            "as_long_and_or", u"TOKEN_ALL_ACCESS As Long",
            u"STANDARD_RIGHTS_REQUIRED Or TOKEN_ASSIGN_PRIMARY Or TOKEN_DUPLICATE",
            u"_TOKEN_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED OR _TOKEN_ASSIGN_PRIMARY OR _TOKEN_DUPLICATE",
            u"TOKEN_ALL_ACCESS"},
        ConstCase{"and_paren", u"X", u"A And (TOP + 1)", u"X = A AND (_TOP + 1)", u""},
        ConstCase{"keyword_start", u"C", u"ERROR_BASE + 1", u"C = _ERROR_BASE + 1", u""},
        ConstCase{"empty_value", u"E", u"", u"E = ", u""},
        ConstCase{"leading_not_kept", u"N", u"Not 5", u"N = Not 5", u""},
        ConstCase{"paren_not_kept", u"N", u"(Not 5)", u"N = (Not 5)", u""},
        ConstCase{"paren_not_mixed", u"N", u"A Or (Not B)", u"N = A OR (Not B)", u""},
        ConstCase{"inner_ampersand_kept", u"H", u"&H10& Or &H20&", u"H = &10& OR &20", u""},
        ConstCase{"lower_case_operator_is_a_name", u"L", u"x or y", u"L = x _or y", u""},
        ConstCase{"operator_lookalikes", u"W", u"NOT_FOUND OR_X ORIGIN_X", u"W = _NOT_FOUND _OR_X _ORIGIN_X",
                  u""},
        ConstCase{"string_rewritten_but_never_underscored", u"S", u"\"Yes Or No to TOP\"",
                  u"S$ = \"Yes OR No to TOP\"", u""},
        ConstCase{"hex_letters_are_no_word", u"F", u"&HFF", u"F = &FF", u""},
        ConstCase{"word_after_other_character", u"G", u"1+TOP", u"G = 1+TOP", u""},
        ConstCase{"name_made_safe", u"TOP", u"1", u"_TOP = 1", u""},
        ConstCase{"not_after_and_rewritten", u"M", u"A And Not B", u"M = A AND NOT B", u""},
        ConstCase{"every_as_long_removed", u"A As Long As Long", u"1", u"A = 1", u"A"},
        ConstCase{"unsplittable_long_line_fails", kLongName, u"1",
                  u"REM Sorry I could not convert " + kLongName, u""},
        ConstCase{"failure_names_the_shortened_name", kLongName + u" As Long", u"1",
                  u"REM Sorry I could not convert " + kLongName, kLongName}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(GetConstLongLines, ExactlyTwoHundredFiftyIsKept) {
    std::u16string name = u"A";
    const std::u16string value = Repeat(u"1", 246);  // "A = " + 246 = 250
    EXPECT_EQ(GetConst(Options{}, name, value), u"A = " + value);
}

TEST(GetConstLongLines, TwoHundredFiftyOneSplitsOnceAtTheLastBlank) {
    std::u16string name = u"A";
    const std::u16string value = Repeat(u"1", 247);  // 251 characters in all
    EXPECT_EQ(GetConst(Options{}, name, value), u"A = \\\r\n\\ " + value);
}

TEST(GetConstLongLines, SecondLineIsNotExaminedAgain) {
    std::u16string name = u"B";
    const std::u16string value = Repeat(u"x + ", 200);
    const auto result = GetConst(Options{}, name, value);
    const auto split = result.find(u"\\\r\n\\ ");
    ASSERT_NE(split, std::u16string::npos);
    EXPECT_LE(split, 250u);
    EXPECT_EQ(result[split - 1], u' ');
    EXPECT_EQ(result.find(u"\r\n", split + 3), std::u16string::npos);
    EXPECT_GT(result.size() - split, 250u);
}

TEST(GetConstLongLines, ThirtyTwoThousandCharacterValueConverts) {
    std::u16string name = u"BIG";
    const std::u16string value = Repeat(u"TOP Or ", 4680);  // 32,760 characters
    const auto result = GetConst(Options{}, name, value);
    EXPECT_EQ(result.rfind(u"BIG = _TOP OR _TOP", 0), 0u);
}

}  // namespace
}  // namespace declshift
