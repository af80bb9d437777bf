#include "splitter.h"

#include <gtest/gtest.h>

#include "utf.h"

namespace declconv {
namespace {

// A request written as its JSON line with the line number as src, so that a
// mismatch shows every character.
std::string Show(const Request& r) {
    const std::string line = std::to_string(r.line);
    return RequestJson(r, std::u16string(line.begin(), line.end()));
}

std::string R(const char* call, const char16_t* name, const char16_t* data, std::size_t line) {
    return Show(Request{call, name, data, line});
}

std::string ShowSkips(const std::vector<Skipped>& skipped) {
    static constexpr const char* kNames[] = {"comment", "blank", "header", "other", "malformed", "unclosed"};
    std::string out;
    for (const auto& s : skipped) {
        if (!out.empty()) out += ' ';
        out += kNames[static_cast<int>(s.kind)];
        out += '@';
        out += std::to_string(s.line);
    }
    return out;
}

struct SplitCase {
    const char* label;
    std::u16string text;
    std::vector<std::string> requests;  // made with R()
    std::string skipped;                // kind@line, in order
};

void PrintTo(const SplitCase& row, std::ostream* out) { *out << row.label; }

class SplitterTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitterTest, HandsOverWhatAHostWould) {
    const auto& row = GetParam();
    const SplitResult result = SplitDeclarations(row.text);
    std::vector<std::string> requests;
    for (const auto& r : result.requests) requests.push_back(Show(r));
    EXPECT_EQ(requests, row.requests);
    EXPECT_EQ(ShowSkips(result.skipped), row.skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Constants, SplitterTest,
    ::testing::Values(
        SplitCase{"const_plain", u"Const MAX_PATH = 260", {R("GetConst", u"MAX_PATH", u"260", 1)}, ""},
        SplitCase{"const_modifiers_dropped",
                  u"Public Const A = 1\r\nPrivate Const B = 2\r\nGlobal Const C = 3\r\n",
                  {R("GetConst", u"A", u"1", 1), R("GetConst", u"B", u"2", 2), R("GetConst", u"C", u"3", 3)},
                  ""},
        SplitCase{"const_as_long_kept_other_types_dropped",
                  u"Const A As Long = 1\nConst B As String = \"x\"\nConst C  As \tLong = 2\nConst D As "
                  u"LongPtr = 3\n"
                  u"Const E As long = 4",
                  {R("GetConst", u"A As Long", u"1", 1), R("GetConst", u"B", u"\"x\"", 2),
                   R("GetConst", u"C As Long", u"2", 3), R("GetConst", u"D", u"3", 4),
                   R("GetConst", u"E", u"4", 5)},
                  ""},
        SplitCase{"const_comment_outside_quotes_only",
                  u"Const S = \"it's ' here\"   ' note \"x\"\nConst T = 5'tight\nConst Q = \"say \"\"hi\"\" "
                  u"'x'\" ' c",
                  {R("GetConst", u"S", u"\"it's ' here\"", 1), R("GetConst", u"T", u"5", 2),
                   R("GetConst", u"Q", u"\"say \"\"hi\"\" 'x'\"", 3)},
                  ""},
        SplitCase{"const_value_trimmed_inner_blanks_kept",
                  u"Const A =\t &H10&  Or   &H20& \t",
                  {R("GetConst", u"A", u"&H10&  Or   &H20&", 1)},
                  ""},
        SplitCase{"const_several_in_one_statement",
                  u"Const A = 1, B = \"x, y\", C = (2, 3)",
                  {R("GetConst", u"A", u"1", 1), R("GetConst", u"B", u"\"x, y\"", 1),
                   R("GetConst", u"C", u"(2, 3)", 1)},
                  ""},
        SplitCase{"const_equals_inside_string_value",
                  u"Const E = \"a=b\"",
                  {R("GetConst", u"E", u"\"a=b\"", 1)},
                  ""},
        SplitCase{"const_without_value_or_name",
                  u"Const A\nConst = 1\nConst",
                  {},
                  "malformed@1 malformed@2 malformed@3"},
        SplitCase{"keywords_in_any_case", u"public CONST a = 1", {R("GetConst", u"a", u"1", 1)}, ""},
        SplitCase{"indented_statement", u"   \tConst A = 1", {R("GetConst", u"A", u"1", 1)}, ""},
        SplitCase{"keyword_must_end_at_a_blank",
                  u"Constant = 1\nConstA = 1\nPublicConst A = 1",
                  {},
                  "other@1 other@2 other@3"}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Declares, SplitterTest,
    ::testing::Values(
        SplitCase{"sub_in_host_notation",
                  u"Declare Sub keybd_event Lib \"user32\" (ByVal bVk As Byte, ByVal bScan As Byte, "
                  u"ByVal dwFlags As Long, ByVal dwExtraInfo As Long)",
                  {R("GetSub", u"keybd_event",
                     u"\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)", 1)},
                  ""},
        SplitCase{"function_result_clause_as_written",
                  u"Private Declare Function F Lib \"a\" Alias \"FA\" (ByVal x As Integer) As Long\n"
                  u"Declare Function G Lib \"kernel32\" () As Integer",
                  {R("GetFunc", u"F", u"\"a\" Alias \"FA\" (x%) As Long", 1),
                   R("GetFunc", u"G", u"\"kernel32\" () As Integer", 2)},
                  ""},
        SplitCase{"blank_runs_become_one_outside_quotes",
                  u"Declare Function F Lib \"version.dll\"  Alias \"F  A\"\t (ByVal  a  As Long,\tb As  "
                  u"Long)   As Long  ",
                  {R("GetFunc", u"F", u"\"version.dll\" Alias \"F  A\" (a&, b&) As Long", 1)},
                  ""},
        SplitCase{
            "type_marks_only_for_whole_type_names",
            u"Declare Sub S Lib \"a\" (ByVal a As LongPtr, b As Integer2, c As Long, ByRef MyByVal As Long)",
            {R("GetSub", u"S", u"\"a\" (a As LongPtr, b As Integer2, c&, ByRef MyByVal&)", 1)},
            ""},
        SplitCase{"no_blank_inside_parentheses",
                  u"Declare Sub S Lib \"a\" ( ByVal x As Long, b() As Long )",
                  {R("GetSub", u"S", u"\"a\" (x&, b()&)", 1)},
                  ""},
        SplitCase{"only_the_parameter_list_is_rewritten",
                  u"Declare Function F Lib \"a\" Alias \"As Long\" (ByVal x As Long) As Long",
                  {R("GetFunc", u"F", u"\"a\" Alias \"As Long\" (x&) As Long", 1)},
                  ""},
        SplitCase{"trailing_comment_removed_quote_in_name_kept",
                  u"Declare Sub S Lib \"a'b\" (x As Long)   ' note: (y As Long)",
                  {R("GetSub", u"S", u"\"a'b\" (x&)", 1)},
                  ""},
        SplitCase{"no_parameter_list",
                  u"Declare Function F Lib \"a\" As Long",
                  {R("GetFunc", u"F", u"\"a\" As Long", 1)},
                  ""},
        SplitCase{"unclosed_parameter_list",
                  u"Declare Sub S Lib \"a\" ( ByVal x As Long",
                  {R("GetSub", u"S", u"\"a\" (x&", 1)},
                  ""},
        SplitCase{"ptrsafe_and_lower_case",
                  u"declare ptrsafe function F lib \"a\" () As LongPtr",
                  {R("GetFunc", u"F", u"\"a\" () As LongPtr", 1)},
                  ""},
        SplitCase{"name_directly_before_parenthesis_is_no_lib",
                  u"Declare Sub S(x) Lib \"a\" ()",
                  {},
                  "malformed@1"},
        SplitCase{"malformed_declares",
                  u"Declare Function F \"a\" ()\nDeclare Function F Lib a ()\nDeclare Property P Lib \"a\"\n"
                  u"Declare Sub\nDeclare Sub S Lib",
                  {},
                  "malformed@1 malformed@2 malformed@3 malformed@4 malformed@5"}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Blocks, SplitterTest,
    ::testing::Values(
        SplitCase{
            "type_members_indented_by_one_tab",
            u"Type RECT\r\n        Left As Long\r\n\t\tTop  As Long \r\n   \t\r\n    ' note\r\n\r\nEnd Type",
            {R("GetType", u"RECT", u"\tLeft As Long\r\n\tTop  As Long \r\n\r\n\t' note\r\n", 1)},
            ""},
        SplitCase{"names_with_comments_and_modifiers",
                  u"' lead\nPublic Type T    ' c\n  a As Long\nEnd Type ' done\nPrivate Enum E'x\n  A = 1\n  "
                  u"B\nend enum",
                  {R("GetType", u"T", u"\ta As Long", 2), R("GetEnum", u"E", u"\tA = 1\r\n\tB", 5)},
                  "comment@1"},
        SplitCase{"empty_blocks",
                  u"Type T\nEnd Type\nEnum E\n\nEnd Enum",
                  {R("GetType", u"T", u"", 1), R("GetEnum", u"E", u"", 3)},
                  ""},
        SplitCase{"lines_inside_blocks_are_not_skips",
                  u"Enum E\n' only a comment\n  Option = 1\n\nEnd Enum\n",
                  {R("GetEnum", u"E", u"\t' only a comment\r\n\tOption = 1\r\n", 1)},
                  ""},
        SplitCase{"members_named_like_statements_stay_members",
                  u"Type T\n  Type As Long\n  Enum(3) As Byte\n  Sub = 1\nEnd Type",
                  {R("GetType", u"T", u"\tType As Long\r\n\tEnum(3) As Byte\r\n\tSub = 1", 1)},
                  ""},
        SplitCase{"unclosed_at_the_end", u"Type T\r\n  a As Long\r\n", {}, "unclosed@1"},
        SplitCase{"unclosed_ended_by_the_next_declaration",
                  u"Type T\n  a As Long\nConst A = 1\nEnd Type\nEnum E\nType U\n  b As Long\nEnd Type",
                  {R("GetConst", u"A", u"1", 3), R("GetType", u"U", u"\tb As Long", 6)},
                  "unclosed@1 other@4 unclosed@5"},
        SplitCase{"wrong_end_line",
                  u"Type T\n  a As Long\nEnd Enum\nConst A = 1",
                  {R("GetConst", u"A", u"1", 4)},
                  "unclosed@1 other@3"},
        SplitCase{"block_without_name", u"Type\n  a As Long\nEnd Type", {}, "malformed@1 other@2 other@3"},
        SplitCase{"procedure_body_skipped_once",
                  u"Public Function F() As Long\n  Const L = 1\n  F = L\nEnd Function\nConst A = 2\n"
                  u"Private Property Get P() As Long\nEnd Property",
                  {R("GetConst", u"A", u"2", 5)},
                  "other@1 other@6"},
        SplitCase{"procedure_without_end",
                  u"Sub S()\n  x = 1\nDeclare Sub T Lib \"a\" ()\nFunction G()\n",
                  {R("GetSub", u"T", u"\"a\" ()", 3)},
                  "unclosed@1 unclosed@4"}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitterTest,
    ::testing::Values(
        SplitCase{"each_line_end_counts_once",
                  u"Const A = 1\r\r\nConst B = 2\nConst C = 3\r\nConst D = 4\rConst E = 5\r\r\r\nConst F = 6",
                  {R("GetConst", u"A", u"1", 1), R("GetConst", u"B", u"2", 2), R("GetConst", u"C", u"3", 3),
                   R("GetConst", u"D", u"4", 4), R("GetConst", u"E", u"5", 5), R("GetConst", u"F", u"6", 6)},
                  ""},
        SplitCase{"lf_after_crlf_is_a_blank_line",
                  u"Const A = 1\r\n\nConst B = 2\r\n\r\n",
                  {R("GetConst", u"A", u"1", 1), R("GetConst", u"B", u"2", 3)},
                  "blank@2 blank@4"},
        SplitCase{
            "skipped_lines",
            u"Attribute VB_Name = \"m\"\nOption Explicit\n' c\n  Rem r\nREM\nRemark = 1\n \t\nDim x As Long\n"
            u"Public hWnd As Long\n#If VBA7 Then\nImplements IFoo\nPublic Attribute x",
            {},
            "header@1 header@2 comment@3 comment@4 comment@5 other@6 blank@7 other@8 other@9 other@10 "
            "other@11 other@12"},
        SplitCase{"empty_text", u"", {}, ""},
        SplitCase{"continuation_joined_with_one_blank",
                  u"Declare Function F Lib \"a\" ( _\r\n    ByVal a As Long, _\r\n\t ByRef b As Long _  "
                  u"\r\n) As Long\r\n"
                  u"Const C = 1",
                  {R("GetFunc", u"F", u"\"a\" (a&, ByRef b&) As Long", 1), R("GetConst", u"C", u"1", 5)},
                  ""},
        SplitCase{"continuation_needs_a_blank_before_the_underscore",
                  u"' ends in ERROR_\r\nConst A = B_\r\nConst C = 1 _\r\n+ 2",
                  {R("GetConst", u"A", u"B_", 2), R("GetConst", u"C", u"1 + 2", 3)},
                  "comment@1"},
        SplitCase{"continued_comment_swallows_the_next_line",
                  u"' a _\nConst A = 1\nConst B = 2",
                  {R("GetConst", u"B", u"2", 3)},
                  "comment@1"},
        SplitCase{"continuation_inside_a_block",
                  u"Type T\n  a As _\n     Long\nEnd Type",
                  {R("GetType", u"T", u"\ta As Long", 1)},
                  ""},
        SplitCase{"continuation_on_the_last_line", u"Const A = 1 _", {R("GetConst", u"A", u"1", 1)}, ""},
        SplitCase{"non_ascii_passes_through",
                  u"Const \u00c4 = \"\u20ac\U0001F600\"",
                  {R("GetConst", u"\u00c4", u"\"\u20ac\U0001F600\"", 1)},
                  ""}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(RequestJson, WritesTheCorpusForm) {
    const Request request{"GetType", u"T", u"\ta \"q\" \\ \u00e9\U0001F600\x01\x7f\r\n", 7};
    EXPECT_EQ(
        RequestJson(request, u"f.txt:7"),
        R"({"call": "GetType", "name": "T", "data": "\ta \"q\" \\ \u00e9\ud83d\ude00\u0001\u007f\r\n", )"
        R"("options": {}, "src": "f.txt:7"})");
}

}  // namespace
}  // namespace declconv
