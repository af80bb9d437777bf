#include "splitter.h"

#include <gtest/gtest.h>

#include "named_rows.h"

namespace declconv {
namespace {

// A request written as its JSON line with the line number as src, so that a
// mismatch shows every character.
std::string Show(const Request& r) {
    const std::string line = std::to_string(r.line);
    return RequestJson(r, std::u16string(line.begin(), line.end()));
}

constexpr Call kConst = Call::kGetConst, kType = Call::kGetType, kEnum = Call::kGetEnum, kSub = Call::kGetSub,
               kFunc = Call::kGetFunc;

std::string R(Call call, const char16_t* name, const char16_t* data, std::size_t line) {
    return Show(Request{call, name, data, line});
}

// kind@line for skipped lines, error@line and warning@line for notes, in order.
std::string Show(const SplitResult& result) {
    static constexpr const char* kNames[] = {"comment",   "blank",       "header",    "other",
                                             "directive", "notcompiled", "malformed", "unclosed"};
    std::string out;
    for (const auto& s : result.skipped) {
        out += (out.empty() ? "" : " ") + std::string(kNames[static_cast<int>(s.kind)]) + "@" +
               std::to_string(s.line);
    }
    for (const auto& note : result.notes) {
        out += std::string(out.empty() ? "" : " ") + (note.error ? "error@" : "warning@") +
               std::to_string(note.line);
    }
    return out;
}

struct SplitCase {
    const char* label;
    std::u16string text;
    std::vector<std::string> requests;  // made with R()
    std::string skipped;                // as Show() writes it
};

class SplitterTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitterTest, HandsOverWhatAHostWould) {
    const auto& row = GetParam();
    const SplitResult result = SplitDeclarations(row.text);
    std::vector<std::string> requests;
    for (const auto& r : result.requests) requests.push_back(Show(r));
    EXPECT_EQ(requests, row.requests);
    EXPECT_EQ(Show(result), row.skipped);
}

INSTANTIATE_TEST_SUITE_P(
    Constants, SplitterTest,
    ::testing::Values(
        SplitCase{"const_plain", u"Const MAX_PATH = 260", {R(kConst, u"MAX_PATH", u"260", 1)}, ""},
        SplitCase{"const_modifiers_dropped",
                  u"Public Const A = 1\r\nPrivate Const B = 2\r\nGlobal Const C = 3\r\n",
                  {R(kConst, u"A", u"1", 1), R(kConst, u"B", u"2", 2), R(kConst, u"C", u"3", 3)},
                  ""},
        SplitCase{
            "const_as_long_kept_other_types_dropped",
            u"Const A As Long = 1\nConst B As String = \"x\"\nConst C  As \tLong = 2\nConst D As "
            u"LongPtr = 3\n"
            u"Const E As long = 4",
            {R(kConst, u"A As Long", u"1", 1), R(kConst, u"B", u"\"x\"", 2), R(kConst, u"C As Long", u"2", 3),
             R(kConst, u"D As Long", u"3", 4), R(kConst, u"E As Long", u"4", 5)},
            ""},
        SplitCase{"const_comment_outside_quotes_only",
                  u"Const S = \"it's ' here\"   ' note \"x\"\nConst T = 5'tight\nConst Q = \"say \"\"hi\"\" "
                  u"'x'\" ' c",
                  {R(kConst, u"S", u"\"it's ' here\"", 1), R(kConst, u"T", u"5", 2),
                   R(kConst, u"Q", u"\"say \"\"hi\"\" 'x'\"", 3)},
                  ""},
        SplitCase{"const_value_trimmed_inner_blanks_kept",
                  u"Const A =\t &H10&  Or   &H20& \t",
                  {R(kConst, u"A", u"&H10&  Or   &H20&", 1)},
                  ""},
        SplitCase{"const_several_in_one_statement",
                  u"Const A = 1, B = \"x, y\", C = (2, 3)",
                  {R(kConst, u"A", u"1", 1), R(kConst, u"B", u"\"x, y\"", 1), R(kConst, u"C", u"(2, 3)", 1)},
                  ""},
        SplitCase{
            "const_equals_inside_string_value", u"Const E = \"a=b\"", {R(kConst, u"E", u"\"a=b\"", 1)}, ""},
        SplitCase{"const_without_value_or_name",
                  u"Const A\nConst = 1\nConst",
                  {},
                  "malformed@1 malformed@2 malformed@3"},
        SplitCase{"keywords_in_any_case", u"public CONST a = 1", {R(kConst, u"a", u"1", 1)}, ""},
        SplitCase{"indented_statement", u"   \tConst A = 1", {R(kConst, u"A", u"1", 1)}, ""},
        SplitCase{"keyword_must_end_at_a_blank",
                  u"Constant = 1\nConstA = 1\nPublicConst A = 1",
                  {},
                  "other@1 other@2 other@3"}),
    kRowName);

INSTANTIATE_TEST_SUITE_P(
    Declares, SplitterTest,
    ::testing::Values(
        SplitCase{
            "sub_in_host_notation",
            u"Declare Sub keybd_event Lib \"user32\" (ByVal bVk As Byte, ByVal bScan As Byte, "
            u"ByVal dwFlags As Long, ByVal dwExtraInfo As Long)",
            {R(kSub, u"keybd_event", u"\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)", 1)},
            ""},
        SplitCase{"function_result_clause_as_written",
                  u"Private Declare Function F Lib \"a\" Alias \"FA\" (ByVal x As Integer) As Long\n"
                  u"Declare Function G Lib \"kernel32\" () As Integer",
                  {R(kFunc, u"F", u"\"a\" Alias \"FA\" (x%) As Long", 1),
                   R(kFunc, u"G", u"\"kernel32\" () As Integer", 2)},
                  ""},
        SplitCase{"blank_runs_become_one_outside_quotes",
                  u"Declare Function F Lib \"version.dll\"  Alias \"F  A\"\t (ByVal  a  As Long,\tb As  "
                  u"Long)   As Long  ",
                  {R(kFunc, u"F", u"\"version.dll\" Alias \"F  A\" (a&, b&) As Long", 1)},
                  ""},
        SplitCase{
            "type_marks_only_for_whole_type_names",
            u"Declare Sub S Lib \"a\" (ByVal a As LongPtr, b As Integer2, c As Long, ByRef MyByVal As Long)",
            {R(kSub, u"S", u"\"a\" (a&, b As Integer2, c&, ByRef MyByVal&)", 1)},
            ""},
        SplitCase{"no_blank_inside_parentheses",
                  u"Declare Sub S Lib \"a\" ( ByVal x As Long, b() As Long )",
                  {R(kSub, u"S", u"\"a\" (x&, b()&)", 1)},
                  ""},
        SplitCase{"only_the_parameter_list_is_rewritten",
                  u"Declare Function F Lib \"a\" Alias \"As Long\" (ByVal x As Long) As Long",
                  {R(kFunc, u"F", u"\"a\" Alias \"As Long\" (x&) As Long", 1)},
                  ""},
        SplitCase{"trailing_comment_removed_quote_in_name_kept",
                  u"Declare Sub S Lib \"a'b\" (x As Long)   ' note: (y As Long)",
                  {R(kSub, u"S", u"\"a'b\" (x&)", 1)},
                  ""},
        SplitCase{"no_parameter_list_is_an_empty_one",
                  u"Declare Function F Lib \"a\" As Long\nDeclare Sub X Lib \"k\" Alias \"Y\"\n"
                  u"Declare Sub Z Lib \"k\" Alias Y",
                  {R(kFunc, u"F", u"\"a\" () As Long", 1), R(kSub, u"X", u"\"k\" Alias \"Y\" ()", 2),
                   R(kSub, u"Z", u"\"k\" Alias Y ()", 3)},
                  ""},
        SplitCase{"unclosed_parameter_list",
                  u"Declare Sub S Lib \"a\" ( ByVal x As Long",
                  {R(kSub, u"S", u"\"a\" (x&", 1)},
                  ""},
        SplitCase{"ptrsafe_and_lower_case",
                  u"declare ptrsafe function F lib \"a\" () As LongPtr",
                  {R(kFunc, u"F", u"\"a\" () As Long", 1)},
                  ""},
        SplitCase{"keywords_in_the_editor_spelling_names_strings_comments_as_written",
                  u"Private Declare Function f Lib \"user32\" ALIAS \"as long\" (BYVAL h AS LONG, "
                  u"byref Byval_ as long, optional byVal s as STRING) as long ' As LONG\n"
                  u"type T\n  ptr as longptr ' as LONGPTR\n  q(0 to 3) as BYTE\nend type",
                  {R(kFunc, u"f",
                     u"\"user32\" Alias \"as long\" (h&, ByRef Byval_&, Optional s As String) As Long", 1),
                   R(kType, u"T", u"\tptr As Long ' as LONGPTR\r\n\tq(0 to 3) As Byte", 2)},
                  ""},
        SplitCase{"longlong_passed_on_with_a_warning",
                  u"Declare PtrSafe Function T64 Lib \"kernel32\" () As LongLong\nType U\n  a As Long\n"
                  u"  b As longlong\nEnd Type",
                  {R(kFunc, u"T64", u"\"kernel32\" () As LongLong", 1),
                   R(kType, u"U", u"\ta As Long\r\n\tb As LongLong", 2)},
                  "warning@1 warning@4"},
        SplitCase{"name_directly_before_parenthesis_is_no_lib",
                  u"Declare Sub S(x) Lib \"a\" ()",
                  {},
                  "malformed@1"},
        SplitCase{"malformed_declares",
                  u"Declare Function F \"a\" ()\nDeclare Function F Lib a ()\nDeclare Property P Lib \"a\"\n"
                  u"Declare Sub\nDeclare Sub S Lib",
                  {},
                  "malformed@1 malformed@2 malformed@3 malformed@4 malformed@5"}),
    kRowName);

INSTANTIATE_TEST_SUITE_P(
    Blocks, SplitterTest,
    ::testing::Values(
        SplitCase{
            "type_members_indented_by_one_tab",
            u"Type RECT\r\n        Left As Long\r\n\t\tTop  As Long \r\n   \t\r\n    ' note\r\n\r\nEnd Type",
            {R(kType, u"RECT", u"\tLeft As Long\r\n\tTop  As Long \r\n\r\n\t' note\r\n", 1)},
            ""},
        SplitCase{"names_with_comments_and_modifiers",
                  u"' lead\nPublic Type T    ' c\n  a As Long\nEnd Type ' done\nPrivate Enum E'x\n  A = 1\n  "
                  u"B\nend enum",
                  {R(kType, u"T", u"\ta As Long", 2), R(kEnum, u"E", u"\tA = 1\r\n\tB", 5)},
                  "comment@1"},
        SplitCase{"empty_blocks",
                  u"Type T\nEnd Type\nEnum E\n\nEnd Enum",
                  {R(kType, u"T", u"", 1), R(kEnum, u"E", u"", 3)},
                  ""},
        SplitCase{"lines_inside_blocks_are_not_skips",
                  u"Enum E\n' only a comment\n  Option = 1\n\nEnd Enum\n",
                  {R(kEnum, u"E", u"\t' only a comment\r\n\tOption = 1\r\n", 1)},
                  ""},
        SplitCase{"members_named_like_statements_stay_members",
                  u"Type T\n  Type As Long\n  Enum(3) As Byte\n  Sub = 1\nEnd Type",
                  {R(kType, u"T", u"\tType As Long\r\n\tEnum(3) As Byte\r\n\tSub = 1", 1)},
                  ""},
        SplitCase{"unclosed_at_the_end", u"Type T\r\n  a As Long\r\n", {}, "unclosed@1"},
        SplitCase{"unclosed_ended_by_the_next_declaration",
                  u"Type T\n  a As Long\nConst A = 1\nEnd Type\nEnum E\nType U\n  b As Long\nEnd Type",
                  {R(kConst, u"A", u"1", 3), R(kType, u"U", u"\tb As Long", 6)},
                  "unclosed@1 other@4 unclosed@5"},
        SplitCase{"wrong_end_line",
                  u"Type T\n  a As Long\nEnd Enum\nConst A = 1",
                  {R(kConst, u"A", u"1", 4)},
                  "unclosed@1 other@3"},
        SplitCase{"block_without_name", u"Type\n  a As Long\nEnd Type", {}, "malformed@1 other@2 other@3"},
        SplitCase{"procedure_body_skipped_once",
                  u"Public Function F() As Long\n  Const L = 1\n  F = L\nEnd Function\nConst A = 2\n"
                  u"Private Property Get P() As Long\nEnd Property",
                  {R(kConst, u"A", u"2", 5)},
                  "other@1 other@6"},
        SplitCase{"procedure_without_end",
                  u"Sub S()\n  x = 1\nDeclare Sub T Lib \"a\" ()\nFunction G()\n",
                  {R(kSub, u"T", u"\"a\" ()", 3)},
                  "unclosed@1 unclosed@4"}),
    kRowName);

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitterTest,
    ::testing::Values(
        SplitCase{"each_line_end_counts_once",
                  u"Const A = 1\r\r\nConst B = 2\nConst C = 3\r\nConst D = 4\rConst E = 5\r\r\r\nConst F = 6",
                  {R(kConst, u"A", u"1", 1), R(kConst, u"B", u"2", 2), R(kConst, u"C", u"3", 3),
                   R(kConst, u"D", u"4", 4), R(kConst, u"E", u"5", 5), R(kConst, u"F", u"6", 6)},
                  ""},
        SplitCase{"lf_after_crlf_is_a_blank_line",
                  u"Const A = 1\r\n\nConst B = 2\r\n\r\n",
                  {R(kConst, u"A", u"1", 1), R(kConst, u"B", u"2", 3)},
                  "blank@2 blank@4"},
        SplitCase{
            "skipped_lines",
            u"Attribute VB_Name = \"m\"\nOption Explicit\n' c\n  Rem r\nREM\nRemark = 1\n \t\nDim x As Long\n"
            u"Public hWnd As Long\nDefLng A-Z\nImplements IFoo\nPublic Attribute x",
            {},
            "header@1 header@2 comment@3 comment@4 comment@5 other@6 blank@7 other@8 other@9 other@10 "
            "other@11 other@12"},
        SplitCase{"empty_text", u"", {}, ""},
        SplitCase{"continuation_joined_with_one_blank",
                  u"Declare Function F Lib \"a\" ( _\r\n    ByVal a As Long, _\r\n\t ByRef b As Long _  "
                  u"\r\n) As Long\r\n"
                  u"Const C = 1",
                  {R(kFunc, u"F", u"\"a\" (a&, ByRef b&) As Long", 1), R(kConst, u"C", u"1", 5)},
                  ""},
        SplitCase{"continuation_needs_a_blank_before_the_underscore",
                  u"' ends in ERROR_\r\nConst A = B_\r\nConst C = 1 _\r\n+ 2",
                  {R(kConst, u"A", u"B_", 2), R(kConst, u"C", u"1 + 2", 3)},
                  "comment@1"},
        SplitCase{"continued_comment_swallows_the_next_line",
                  u"' a _\nConst A = 1\nConst B = 2",
                  {R(kConst, u"B", u"2", 3)},
                  "comment@1"},
        SplitCase{"continuation_inside_a_block",
                  u"Type T\n  a As _\n     Long\nEnd Type",
                  {R(kType, u"T", u"\ta As Long", 1)},
                  ""},
        SplitCase{"continuation_on_the_last_line_is_an_error",
                  u"' c\nConst A = 1 _\r\n",
                  {R(kConst, u"A", u"1", 2)},
                  "comment@1 error@2"},
        SplitCase{"non_ascii_passes_through",
                  u"Const \u00c4 = \"\u20ac\U0001F600\"",
                  {R(kConst, u"\u00c4", u"\"\u20ac\U0001F600\"", 1)},
                  ""}),
    kRowName);

INSTANTIATE_TEST_SUITE_P(
    Conditionals, SplitterTest,
    ::testing::Values(
        SplitCase{"only_the_branch_taken",
                  u"#If VBA7 Then\nConst A = 1\n#ElseIf Win32 Then\nConst B = 2\n#Else\nConst C = 3\n#End If",
                  {R(kConst, u"B", u"2", 4)},
                  "directive@1 notcompiled@2 directive@3 directive@5 notcompiled@6 directive@7"},
        SplitCase{
            "nested_and_const",
            u"#const Big = 2 ' two\n#If Big > 1 Then\n  #If Mac Then\nConst A = 1\n  #Else\nConst B = 2\n"
            u"  #End If\n#ElseIf Big Then\nConst C = 3\n#end if\n#If Not Big Then\n#Const Big = 0\n#End If\n"
            u"#If Big = 0 Then\nConst D = 4\n#endif",
            {R(kConst, u"B", u"2", 6), R(kConst, u"D", u"4", 15)},
            "directive@1 directive@2 directive@3 notcompiled@4 directive@5 directive@7 directive@8 "
            "notcompiled@9 directive@10 directive@11 directive@12 directive@13 directive@14 directive@16"},
        SplitCase{
            "a_wrapped_procedure_header_and_members",
            u"#If Win64 Then\nFunction F() As LongPtr\n#Else\nFunction F() As Long\n#End If\nEnd Function\n"
            u"Type T\n#If Win64 Then\n  p As LongLong\n#Else\n  p As Long\n#End If\nEnd Type",
            {R(kType, u"T", u"\tp As Long", 7)},
            "directive@1 notcompiled@2 directive@3 directive@5 other@4 directive@8 notcompiled@9 "
            "directive@10 directive@12"},
        SplitCase{
            "errors_name_their_lines",
            u"#Else\n#If X Y Then\n#End If\n#If True\n#Else\n#ElseIf 1 Then\n#End If\n#Const = 1\n#Region\n"
            u"#If 1 Then\nConst A = 1",
            {R(kConst, u"A", u"1", 11)},
            "directive@1 directive@2 directive@3 directive@4 directive@5 directive@6 directive@7 "
            "directive@8 directive@9 directive@10 error@1 error@2 error@4 error@6 error@8 error@9 error@10"}),
    kRowName);

struct ConditionCase {
    const char* label;
    const char16_t* expression;
    std::int64_t value;  // or, when error is set, the error's text
    const char* error = "";
};

class ConditionTest : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(ConditionTest, EvaluatesAsVisualBasicDoes) {
    auto constants = CompilationConstants::Defaults();
    constants.DefineFromText("Two=2");
    try {
        EXPECT_EQ(EvaluateCondition(GetParam().expression, constants), GetParam().value);
        EXPECT_STREQ("", GetParam().error);
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, ConditionTest,
    ::testing::Values(
        ConditionCase{"true_is_minus_one", u"WIN32", -1},
        ConditionCase{"undefined_is_zero", u"Win64 Or VBA7 Or Mac Or Win16 Or VBA6 Or Nothing", 0},
        ConditionCase{"not_is_bitwise", u"Not Two", -3},
        ConditionCase{"precedence", u"Not 1 = 2 And Two Or 4 Xor 1", 7},
        ConditionCase{"parentheses", u"(Two Or 1) And (5 Xor 1)", 0},
        ConditionCase{"no_arithmetic", u"Two * 0", 0, "unexpected \"* 0\""},
        ConditionCase{"every_comparison", u"(1<2)And(2<=2)And(3>2)And(2>=2)And(1<>2)And(-2=-Two)", -1},
        ConditionCase{"false_comparison", u"1 > 2 Or 2 <= 1 Or 1 >= 2 Or 1 <> 1 Or 1 = 2", 0},
        ConditionCase{"hex_is_16_bit_when_it_fits", u"&HFFFF", -1},
        ConditionCase{"hex_long", u"&HFFFF& = 65535 And &H10000 = 65536 And &O17 = 15", -1},
        ConditionCase{"number_too_large", u"4294967296", 0, "number too large"},
        ConditionCase{"operand_missing", u"1 And", 0, "an operand is missing"},
        ConditionCase{"keyword_as_operand", u"Or 1", 0, "an operand is missing before \"Or\""},
        ConditionCase{"unclosed_parenthesis", u"(1", 0, "\")\" is missing"},
        ConditionCase{"malformed_number", u"12ab", 0, "malformed number"}),
    kRowName);

TEST(RequestJson, WritesTheCorpusForm) {
    const Request request{kType, u"T", u"\ta \"q\" \\ \u00e9\U0001F600\x01\x7f\r\n", 7};
    EXPECT_EQ(
        RequestJson(request, u"f.txt:7"),
        R"({"call": "GetType", "name": "T", "data": "\ta \"q\" \\ \u00e9\ud83d\ude00\u0001\u007f\r\n", )"
        R"("options": {}, "src": "f.txt:7"})");
}

}  // namespace
}  // namespace declconv
