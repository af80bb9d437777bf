#include "enumerations.h"

#include <gtest/gtest.h>

#include <random>

#include "declshift.h"
#include "identifiers.h"

namespace declshift {
namespace {

// Lines, each followed by a line break.
Text Block(std::initializer_list<const char16_t*> lines) {
    Text out;
    for (const char16_t* line : lines) out += line + Text(kCrLf);
    return out;
}

Text Lines(std::initializer_list<const char16_t*> lines) { return Join({lines.begin(), lines.end()}, kCrLf); }

struct EnumCase {
    const char* label;
    Text name;
    Text data;
    Text expected;
};

void PrintTo(const EnumCase& row, std::ostream* out) { *out << row.label; }

class GetEnumTest : public ::testing::TestWithParam<EnumCase> {};

TEST_P(GetEnumTest, ConvertsLineByLine) {
    EXPECT_EQ(GetEnum(Options{}, GetParam().name, GetParam().data), GetParam().expected);
}

const Text kShowCmd = Lines({u"\tSW_HIDE = 0", u"\tSW_SHOWNORMAL=1   ' also SW_NORMAL", u"\tSW_MAX = &HA",
                             u"\tTOPMOST = 4", u"\tDEFAULT_X = (TOPMOST + 1)", u"\tLAST_ONE", u""});

INSTANTIATE_TEST_SUITE_P(
    Examples, GetEnumTest,
    ::testing::Values(
        EnumCase{"show_cmd", u"ShowCmd", kShowCmd,
                 Block({u"REM ShowCmd", u"SW_HIDE = 0", u"SW_SHOWNORMAL = 1  :REM also SW_NORMAL",
                        u"SW_MAX = &A", u"_TOPMOST = 4", u"_DEFAULT_X = (_TOPMOST + 1)", u"LAST_ONE"})},
        EnumCase{"blank_indent_halves", u"C", Lines({u"    Red = 1", u"    TOP = 2", u"      X"}),
                 Block({u"REM C", u"  Red = 1", u"  _TOP = 2", u"   X"})},
        EnumCase{"comment_line", u"C", Lines({u"\t' text TO do", u"\tA"}),
                 Block({u"REM C", u":REM text TO do", u"A"})},
        EnumCase{"comment_words_untouched", u"C", u"A = 1 ' TO DO (TOP",
                 Block({u"REM C", u"A = 1 :REM TO DO (TOP"})},
        EnumCase{"upper_case_operator", u"C", Lines({u"A = B OR C", u"D = B Or C", u"E = NOT F"}),
                 Block({u"REM C", u"A = B _OR C", u"D = B Or C", u"E = _NOT F"})},
        EnumCase{"header_rewritten_but_not_renamed", u"TO'P=&H1", u"A", Block({u"REM TO:REMP = &1", u"A"})},
        EnumCase{"blank_member_lines_stay", u"C", Lines({u"A", u"", u"\t", u"B"}),
                 Block({u"REM C", u"A", u"", u"", u"B"})},
        EnumCase{"references_after_equals_and_parenthesis", u"C",
                 Lines({u"X=(TOP)", u"Y=TOP+(abs)", u"Z=_TOP"}),
                 Block({u"REM C", u"X = (_TOP)", u"Y = _TOP+(_abs)", u"Z = _TOP"})},
        EnumCase{"digits", u"C", Lines({u"9LIVES = 9", u"A = 9B"}),
                 Block({u"REM C", u"_9LIVES = 9", u"A = 9B"})},
        EnumCase{"mixed_case_is_no_keyword", u"C", u"Abs = Total", Block({u"REM C", u"Abs = Total"})},
        EnumCase{"long_mark_kept", u"C", u"A = &H8000&", Block({u"REM C", u"A = &8000&"})},
        EnumCase{"trailing_blank_kept", u"C", u"A = 1 ", Block({u"REM C", u"A = 1 "})},
        EnumCase{"colon_stops_the_walk", u"C", u"A = B: TO", Block({u"REM C", u"A = B: TO"})},
        EnumCase{"tabs_inside_removed", u"C", u"\t\tTO\t= 1", Block({u"REM C", u"_TO = 1"})},
        EnumCase{"several_in_a_row", u"C", u"A = TO TO(TO=TO", Block({u"REM C", u"A = _TO _TO(_TO = _TO"})},
        EnumCase{"empty", u"E", u"", u"REM Sorry I could not convert E"},
        EnumCase{"only_controls", u"E", u"\r\n\t\r\n\x1f", u"REM Sorry I could not convert E"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(GetEnumLimits, MemberLineCount) {
    std::vector<Text> members(32766, u"A");
    Text result = GetEnum(Options{}, u"E", Join(members, kCrLf));
    EXPECT_EQ(Split(result, kCrLf).size(), 32766u + 2u);
    members.push_back(u"A");
    EXPECT_EQ(GetEnum(Options{}, u"E", Join(members, kCrLf)), u"REM Sorry I could not convert E");
}

TEST(GetEnumLimits, LongLineHasNo16BitPositions) {
    const Text line = u"A = " + Text(40000, u'x') + u" TO";
    EXPECT_EQ(GetEnum(Options{}, u"E", line), u"REM E\r\nA = " + Text(40000, u'x') + u" _TO\r\n");
}

// The walk over the line written plainly: at every name behind a blank, "=" or "("
// the line is rebuilt around SafeIdentifier of its rest.
Text RebuildWithSafeNames(Text line) {
    for (std::int64_t j = 1; j <= Len(line) && Mid(line, j, 1) != u":"; ++j) {
        const Text c = Mid(line, j, 1);
        if ((c == u" " || c == u"=" || c == u"(") && IsLetter(Mid(line, j + 1, 1))) {
            line = Left(line, j) + SafeIdentifier(Mid(line, j + 1));
        }
    }
    return line;
}

struct WalkCase {
    const char* label;
    Text line;
};

void PrintTo(const WalkCase& row, std::ostream* out) { *out << row.label; }

class SafeNamesWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(SafeNamesWalk, MatchesRebuildingTheLine) {
    EXPECT_EQ(MarkUnsafeNames(GetParam().line), RebuildWithSafeNames(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Tricky, SafeNamesWalk,
    ::testing::Values(WalkCase{"empty", u""}, WalkCase{"only_triggers", u" =( =(:"},
                      WalkCase{"trigger_at_end", u"A ="}, WalkCase{"adjacent", u"(TO(TO(to(To"},
                      WalkCase{"underscore_already", u" _TO =_abs"}, WalkCase{"digits", u" 9 =9TO"},
                      WalkCase{"colon_first", u": TO"}, WalkCase{"colon_inside_name", u" TO:TO TO"},
                      WalkCase{"every_keyword_start", u" ON OR ORIGIN OSCLI OTHERWISE OPENUP on or"},
                      WalkCase{"long",
                               [] {
                                   Text built = u"A";
                                   for (int i = 0; i < 500; ++i) built += u" TO(x=abs";
                                   return built;
                               }()}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(SafeNamesWalkRandom, MatchesRebuildingTheLine) {
    std::mt19937 random(3);
    const std::vector<Text> pieces = {u" ",   u"=", u"(", u":",  u"TO",  u"to",    u"To",    u"x",
                                      u"abs", u"_", u"9", u"OR", u"DEF", u"COLOR", u"color", u"REM"};
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    for (int round = 0; round < 3000; ++round) {
        Text line;
        for (int i = 0; i < round % 20; ++i) line += pieces[pick(random)];
        ASSERT_EQ(MarkUnsafeNames(line), RebuildWithSafeNames(line)) << round;
    }
}

}  // namespace
}  // namespace declshift
