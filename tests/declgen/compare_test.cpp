// Reading declaration files, computing their constants as Visual Basic does, and
// comparing a generated list with a reference: which differences count, and which
// are the reference's own mistakes.
#include "compare.h"

#include <gtest/gtest.h>

#include <string>

#include "declaration_file.h"

namespace {

using declgen::ConstantEvaluator;
using declgen::ReadDeclarationFile;

TEST(DeclarationFile, ReadsStatementsAcrossLineEndsContinuationsAndComments) {
    const declgen::DeclarationFile file = ReadDeclarationFile(
        "' comment\r\r\nPublic Declare Function F Lib \"k32.dll\"  Alias \"FA\" (ByVal a As Long, _\r\n"
        "    b As RECT, Optional ByRef c As Any, d&) As Long ' trailing\r\r\n"
        "Declare Sub S Lib \"u\" ()\nType T\n    x(1 To LF) As Byte\n    s As String * 8 ' c\nEnd Type\n"
        "Enum E\n    kA\n    kB = 5\n    kC\nEnd Enum\nGlobal Const LF As Long = 32\nDim skipped As Long\n");
    ASSERT_EQ(file.declares.size(), 2u);
    const declgen::VbDeclare& f = file.declares[0];
    EXPECT_EQ(f.name + "|" + f.lib + "|" + f.entry + "|" + f.result, "F|k32.dll|FA|Long");
    ASSERT_EQ(f.parameters.size(), 4u);
    EXPECT_TRUE(f.parameters[0].byValue);
    EXPECT_EQ(f.parameters[1].type + f.parameters[2].type + f.parameters[3].type, "RECTAnyLong");
    EXPECT_EQ(file.declares[1].entry + file.declares[1].result, "S");
    ASSERT_EQ(file.types.size(), 1u);
    ASSERT_EQ(file.types[0].members.size(), 2u);
    EXPECT_EQ(file.types[0].members[0].bounds, "1 To LF");
    EXPECT_EQ(file.types[0].members[1].type, "String * 8");
    ConstantEvaluator values(file);
    EXPECT_EQ(values.ValueOf("kC")->number, 6);
    EXPECT_EQ(declgen::ElementCount(file.types[0].members[0].bounds, values), 32);
}

struct ValueCase {
    const char* label;
    std::string expression;
    std::optional<long long> number;  // nothing: no value
    const char* text = nullptr;       // a string value instead of a number
};

void PrintTo(const ValueCase& row, std::ostream* out) { *out << row.label; }

std::string Nested(std::size_t depth) { return std::string(depth, '(') + "1" + std::string(depth, ')'); }

// A file whose constants refer to each other: N0 = 1, Nk = Nk-1 + 1 up to N299, and
// strings that double: S0 = "ab", Sk = Sk-1 + Sk-1 up to S39.
const declgen::DeclarationFile& Chains() {
    static const declgen::DeclarationFile file = [] {
        std::string text =
            "Const A = 5\nConst LOOP1 = LOOP2\nConst LOOP2 = LOOP1\nConst N0 = 1\nConst S0 = \"ab\"\n";
        for (int i = 1; i < 300; ++i)
            text += "Const N" + std::to_string(i) + " = N" + std::to_string(i - 1) + " + 1\n";
        for (int i = 1; i < 40; ++i)
            text += "Const S" + std::to_string(i) + " = S" + std::to_string(i - 1) + " + S" +
                    std::to_string(i - 1) + "\n";
        return ReadDeclarationFile(text);
    }();
    return file;
}

class Evaluation : public testing::TestWithParam<ValueCase> {};

TEST_P(Evaluation, FollowsVisualBasic) {
    const ValueCase& row = GetParam();
    const auto value = ConstantEvaluator(Chains()).Evaluate(row.expression);
    ASSERT_EQ(value.has_value(), row.number.has_value() || row.text != nullptr);
    if (value && row.text != nullptr) {
        EXPECT_TRUE(value->isString);
        EXPECT_EQ(value->text, row.text);
    } else if (value) {
        EXPECT_EQ(value->number, *row.number);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, Evaluation,
    testing::Values(ValueCase{"HexInteger", "&H7FFF", 0x7FFF},
                    ValueCase{"HexIntegerIsSigned", "&H8000", -32768},
                    ValueCase{"HexLongMark", "&H8000&", 32768}, ValueCase{"HexLong", "&H10000", 65536},
                    ValueCase{"HexLongIsSigned", "&HFFFFFFFF", -1},
                    ValueCase{"Operators", "(A Or 2) + 7 \\ 2 * 2 - 9 Mod 4", 7 + 1 - 1},
                    ValueCase{"NotBindsLooserThanPlus", "Not A + 1", ~6LL},
                    ValueCase{"True", "True And 3", 3}, ValueCase{"UnknownName", "B + 1", std::nullopt},
                    ValueCase{"Cycle", "LOOP1", std::nullopt},
                    ValueCase{"DivisionByZero", "1 / 0", std::nullopt},
                    // Hostile files: no overflow, no exhausted stack, no exhausted memory.
                    ValueCase{"Overflow", "&H7FFFFFFF * &H7FFFFFFF * &H7FFFFFFF", std::nullopt},
                    ValueCase{"SmallestDividedByMinusOne", "(-9223372036854775807 - 1) \\ -1", std::nullopt},
                    ValueCase{"SmallestNegated", "-(-9223372036854775807 - 1)", std::nullopt},
                    ValueCase{"NestedParentheses", Nested(100), 1},
                    ValueCase{"ParenthesesTooDeep", Nested(100000), std::nullopt},
                    ValueCase{"NameChain", "N99", 100}, ValueCase{"NameChainTooDeep", "N299", std::nullopt},
                    ValueCase{"StringsJoined", "S2", std::nullopt, "abababab"},
                    ValueCase{"StringTooLong", "S39", std::nullopt}),
    [](const testing::TestParamInfo<ValueCase>& row) { return std::string(row.param.label); });

TEST(Compare, CountsAgreementsAndTellsTheReferencesMistakesApart) {
    const declgen::DeclarationFile reference = ReadDeclarationFile(R"(
Declare Function Same Lib "kernel32" Alias "SameA" (ByVal a As Long) As Long
Declare Function Blank Lib "kernel32" Alias " BlankA" () As Long
Declare Function WideOnly Lib "kernel32" Alias "WideW" () As Long
Declare Function OtherDll Lib "kernel32" Alias "OtherDll" () As Long
Declare Function Count Lib "kernel32" Alias "Count" (ByVal a As Long) As Long
Declare Function Shape Lib "kernel32" Alias "Shape" (a As Long) As Long
Declare Sub Alias Lib "kernel32" Alias "Alias" (cs As CRITICAL_SECTION)
Declare Function Missing Lib "kernel32" Alias "Missing" () As Long
Const C1 = &H8000
Const C2 = 3
Const C3 = 4
Const C4 = 5
Type SAME
    a As Long
End Type
Type BOUND
    a(3) As Byte
End Type
Type GROWN
    a As Long
End Type
Type WRONG
    a As Long
End Type
)");
    const declgen::DeclarationFile generated = ReadDeclarationFile(R"(
Declare Function Same Lib "kernel32" Alias "SameA" (ByVal a As Long) As Long
Declare Function Blank Lib "kernel32" Alias "BlankA" () As Long
Declare Function Wide Lib "kernel32" Alias "WideA" () As Long
Declare Function OtherDll Lib "advapi32" Alias "OtherDll" () As Long
Declare Function Count Lib "kernel32" Alias "Count" () As Long
Declare Function Shape Lib "kernel32" Alias "Shape" (ByVal a As Long) As Long
Declare Sub Alias Lib "kernel32" Alias "Alias" (cs As RTL_CRITICAL_SECTION)
Declare Function Extra Lib "kernel32" Alias "Extra" () As Long
Const C1 = &H8000&
Const C2 = 3
Const C3 = 40
Type RTL_CRITICAL_SECTION
    a As Long
End Type
Type CRITICAL_SECTION
    a As Long
End Type
Type SAME
    a As Long
End Type
Type BOUND
    a(0 To 2) As Byte
End Type
Type GROWN
    a As Long
    b As Long
End Type
Type WRONG
    a As Integer
End Type
)");
    const declgen::ComparisonReport report = declgen::Compare(reference, generated);
    ASSERT_EQ(report.targets.size(), 6u);
    // procedures: found, same DLL, same count, same signature; constants; structures
    const int expected[][3] = {{6, 1, 8}, {6, 0, 7}, {6, 0, 7}, {5, 0, 7}, {1, 1, 4}, {1, 2, 4}};
    for (std::size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(report.targets[i].label);
        EXPECT_EQ(report.targets[i].same, expected[i][0]);
        EXPECT_EQ(report.targets[i].referenceWrong, expected[i][1]);
        EXPECT_EQ(report.targets[i].of, expected[i][2]);
    }
    EXPECT_EQ(report.newProcedures, 2);  // Extra, and Wide's ANSI entry
    EXPECT_EQ(report.newStructures, 2);
    const std::string text = declgen::FormatReport(report, false);
    for (const char* line :
         {"*reference alias with blanks", "*reference hex value from &H8000 to &HFFFF without &",
          "*reference array bound (n) with n + 1 elements", "*reference Type of another size",
          "structure extended by later Windows versions", "procedure with another number of parameters",
          "parameter Long -> ByVal Long", "constant not generated: C4 = 5", "MISSED"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST(Compare, HostileTypesEndWithoutOverflowOrExhaustion) {
    const declgen::DeclarationFile reference = ReadDeclarationFile(R"(
Type B
    x(0 To 4095) As Long
End Type
Type D
    z(0 To 999999999) As B
    s As String * 99999999999999999999
End Type
Type E
    x(0 To 9223372036854775806) As Long
    y(-9223372036854775807 To 9223372036854775806) As Long
End Type
)");
    const declgen::DeclarationFile generated = ReadDeclarationFile(R"(
Type D
    a As Long
End Type
Type E
    x As Long
End Type
)");
    const declgen::ComparisonReport report = declgen::Compare(reference, generated);
    EXPECT_EQ(report.targets.back().same + report.targets.back().referenceWrong, 0);
    EXPECT_EQ(report.targets.back().of, 3);
}

}  // namespace
