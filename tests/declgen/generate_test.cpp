// declgen on small headers written for the tests: what each C type becomes as a
// parameter, a result and a member, how structures are laid out, which macros
// become which constants, and which procedures are written at all.
#include "generate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The Windows types the cases use, declared as the real headers do.
constexpr const char* kPrelude = R"(
#define WINAPI __stdcall
typedef unsigned long DWORD; typedef int BOOL; typedef unsigned short WORD; typedef unsigned char BYTE;
typedef char CHAR; typedef CHAR *LPSTR; typedef const CHAR *LPCSTR;
typedef unsigned short wchar_t; typedef wchar_t WCHAR; typedef WCHAR *LPWSTR; typedef const WCHAR *LPCWSTR;
typedef void *HANDLE; typedef void *LPVOID; typedef unsigned long long ULONGLONG;
typedef long LONG_PTR; typedef LONG_PTR LPARAM; typedef unsigned int UINT_PTR; typedef UINT_PTR WPARAM;
struct HWND__ { int unused; }; typedef struct HWND__ *HWND;
typedef struct tagRECT { long left, top, right, bottom; } RECT, *LPRECT;
typedef struct tagPOINT { long x, y; } POINT;
typedef long (WINAPI *WNDPROC)(HWND, unsigned, WPARAM, LPARAM);
typedef struct IUnknownVtbl IUnknownVtbl; typedef struct IUnknown { IUnknownVtbl *lpVtbl; } IUnknown;
)";

struct Case {
    const char* label;
    std::string c;         // declarations after the prelude
    std::string expected;  // a line (or lines) the list must hold; empty: see `absent`
    std::string absent;    // a text the list must not hold
};

void PrintTo(const Case& row, std::ostream* out) { *out << row.label; }

template <class Row>
std::string Label(const testing::TestParamInfo<Row>& row) {
    return row.param.label;
}

// The list of prelude + `c`, with the functions that `libraries` export.
declgen::Generated GenerateFrom(const std::string& c, const declgen::ImportLibraries& libraries,
                                std::vector<std::string> only = {}, unsigned winver = 0x0A00) {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::temp_directory_path() / ("declgen_test_" + std::string(info->name()));
    fs::create_directories(dir);
    std::ofstream(dir / "test.h") << kPrelude << c << "\n";
    declgen::GenerateSettings settings;
    settings.scan = {dir.string(), DECLGEN_CLANG_RESOURCE_DIR, {"test.h"}, winver};
    settings.only = std::move(only);
    declgen::Generated generated = declgen::Generate(settings, libraries);
    fs::remove_all(dir);
    return generated;
}

// The same with the named functions exported from test.dll with so many bytes of
// arguments.
declgen::Generated GenerateFrom(const std::string& c, const std::vector<std::pair<std::string, int>>& exports,
                                std::vector<std::string> only = {}) {
    declgen::ImportLibraries libraries;
    for (const auto& [name, bytes] : exports) libraries.Add(name, {"TEST.dll", name, bytes});
    return GenerateFrom(c, libraries, std::move(only));
}

std::string Lf(std::string text) {
    std::string lf;
    for (char c : text)
        if (c != '\r') lf += c;
    return lf;
}

void ExpectList(const Case& row, const std::string& list) {
    if (!row.expected.empty()) {
        EXPECT_NE(list.find(row.expected), std::string::npos) << list;
    }
    if (!row.absent.empty()) {
        EXPECT_EQ(list.find(row.absent), std::string::npos) << list;
    }
}

// Procedures: each case declares P (exported with the bytes its parameters take).
struct ProcedureCase : Case {
    int bytes;
};
void PrintTo(const ProcedureCase& row, std::ostream* out) { *out << row.label; }

class Procedure : public testing::TestWithParam<ProcedureCase> {};

TEST_P(Procedure, IsDeclaredAsVisualBasicPassesIt) {
    const ProcedureCase& row = GetParam();
    ExpectList(row, Lf(GenerateFrom(row.c, {{"P", row.bytes}}).text));
}

INSTANTIATE_TEST_SUITE_P(
    Types, Procedure,
    testing::Values(
        ProcedureCase{{"Int32AndBool", "BOOL WINAPI P(DWORD n, BOOL b);",
                       R"(Function P Lib "test" Alias "P" (ByVal n As Long, ByVal b As Long) As Long)", ""},
                      8},
        ProcedureCase{{"HandlesAndMessageParameters", "void WINAPI P(HANDLE h, HWND w, WPARAM a, LPARAM b);",
                       "Sub P Lib \"test\" Alias \"P\" (ByVal h As Long, ByVal w As Long, ByVal a As Long, "
                       "ByVal b As Long)",
                       ""},
                      16},
        ProcedureCase{
            {"AnsiString", "void WINAPI P(LPSTR a, LPCSTR b);", "(ByVal a As String, ByVal b As String)", ""},
            8},
        ProcedureCase{{"WideStringIsAPointer", "void WINAPI P(LPCWSTR w);", "(ByVal w As Long)", ""}, 4},
        ProcedureCase{{"StructurePointer", "void WINAPI P(LPRECT r, const POINT *p);",
                       "(r As RECT, p As POINTAPI)", ""},
                      8},
        ProcedureCase{{"NumberPointers", "void WINAPI P(DWORD *n, WORD *w, BYTE *b, HANDLE *h);",
                       "(n As Long, w As Integer, b As Byte, h As Long)", ""},
                      16},
        ProcedureCase{{"AnyMemory", "void WINAPI P(void *a, LPVOID b);", "(a As Any, b As Any)", ""}, 8},
        ProcedureCase{{"SmallIntegers", "void WINAPI P(WORD w, BYTE b, short s, char c);",
                       "(ByVal w As Integer, ByVal b As Byte, ByVal s As Integer, ByVal c As Byte)", ""},
                      16},
        ProcedureCase{{"FloatingAnd64Bit", "ULONGLONG WINAPI P(float f, double d, ULONGLONG q);",
                       "(ByVal f As Single, ByVal d As Double, ByVal q As Currency) As Currency", ""},
                      20},
        ProcedureCase{{"StructureByValueIsOneLongPerFourBytes", "void WINAPI P(POINT pt);",
                       "(ByVal pt1 As Long, ByVal pt2 As Long)", ""},
                      8},
        ProcedureCase{{"CallbacksAndInterfaces", "void WINAPI P(WNDPROC f, IUnknown *u, IUnknown **pu);",
                       "(ByVal f As Long, ByVal u As Long, pu As Long)", ""},
                      12},
        ProcedureCase{
            {"UnnamedAndReservedNames", "void WINAPI P(DWORD, DWORD Type, DWORD type2, DWORD);",
             "(ByVal Param As Long, ByVal Type_ As Long, ByVal type2 As Long, ByVal Param2 As Long)", ""},
            16},
        ProcedureCase{
            {"PointerResult", "LPSTR WINAPI P(void);", "Function P Lib \"test\" Alias \"P\" () As Long", ""},
            0},
        ProcedureCase{{"BytesDifferingFromTheDecoratedNameAreLeftOut", "void WINAPI P(ULONGLONG q);", "",
                       "Declare Sub P"},
                      4},
        ProcedureCase{{"CdeclLeftOut", "void __cdecl P(DWORD n);", "", "Declare Sub P"}, 4},
        ProcedureCase{{"VariadicLeftOut", "void P(DWORD n, ...);", "", "Declare Sub P"}, -1},
        ProcedureCase{{"NotExportedLeftOut", "void WINAPI R(DWORD n);", "", "Declare Sub R"}, 4}),
    Label<ProcedureCase>);

TEST(Procedures, AnsiAndWideTwinsAreWrittenAsTheGenericName) {
    const std::string c = R"(
        int WINAPI PA(LPCSTR s); int WINAPI PW(LPCWSTR s);
        #define P PA
        int WINAPI QW(LPCWSTR s);)";
    const std::string list = Lf(GenerateFrom(c, {{"PA", 4}, {"PW", 4}, {"QW", 4}}).text);
    EXPECT_NE(list.find(R"(Declare Function P Lib "test" Alias "PA" (ByVal s As String) As Long)"),
              std::string::npos);
    EXPECT_EQ(list.find("Alias \"PW\""), std::string::npos);
    EXPECT_NE(list.find(R"(Declare Function QW Lib "test" Alias "QW" (ByVal s As Long) As Long)"),
              std::string::npos);
}

TEST(Procedures, TakeTheDllThatExportsMostOfTheirHeader) {
    declgen::ImportLibraries libraries;
    libraries.Add("P", {"api-ms-win-core-test-l1-1-0.dll", "P", 0});
    libraries.Add("P", {"BACKEND.dll", "P", 0});
    libraries.Add("P", {"HOME.dll", "P", 0});
    libraries.Add("Q", {"HOME.dll", "Q", 0});
    // The API set has more of the header, but a DLL of its own comes first.
    libraries.Add("R", {"api-ms-win-core-test-l1-1-0.dll", "R", 0});
    libraries.Add("S", {"api-ms-win-core-test-l1-1-0.dll", "S", 0});
    const std::string list =
        Lf(GenerateFrom("void WINAPI P(void); void WINAPI Q(void); void WINAPI R(void); void WINAPI S(void);",
                        libraries)
               .text);
    EXPECT_NE(list.find(R"(Declare Sub P Lib "home" Alias "P" ())"), std::string::npos) << list;
}

TEST(Procedures, TheWindowsVersionChoosesWhatTheHeadersDeclare) {
    const std::string c = R"(
        #if _WIN32_WINNT >= 0x0600 && WINVER >= 0x0600 && NTDDI_VERSION >= 0x06000000
        void WINAPI P(void);
        #endif)";
    declgen::ImportLibraries libraries;
    libraries.Add("P", {"TEST.dll", "P", 0});
    EXPECT_NE(GenerateFrom(c, libraries, {}, 0x0600).text.find("Declare Sub P"), std::string::npos);
    EXPECT_EQ(GenerateFrom(c, libraries, {}, 0x0501).text.find("Declare Sub P"), std::string::npos);
}

TEST(Procedures, OnlyWritesTheNamedProceduresAndTheStructuresTheyNeed) {
    const std::string c = R"(
        typedef struct tagINNER { DWORD a; } INNER;
        typedef struct tagOUTER { INNER in; RECT r; } OUTER;
        typedef struct tagUNUSED { DWORD u; } UNUSED;
        #define SOME_CONSTANT 5
        void WINAPI P(OUTER *o); void WINAPI Q(UNUSED *u);)";
    const declgen::Generated generated = GenerateFrom(c, {{"P", 4}, {"Q", 4}}, {"p", "Nothing"});
    const std::string list = Lf(generated.text);
    for (const char* wanted : {"Declare Sub P ", "Type OUTER", "Type INNER", "Type RECT"})
        EXPECT_NE(list.find(wanted), std::string::npos) << wanted;
    for (const char* unwanted : {"Declare Sub Q", "Type UNUSED", "Type POINTAPI", "SOME_CONSTANT"})
        EXPECT_EQ(list.find(unwanted), std::string::npos) << unwanted;
    EXPECT_EQ(generated.unknownOnly, std::vector<std::string>{"Nothing"});
}

// Structures: the members of Type S (comments and indentation dropped, "; " between).
class Structure : public testing::TestWithParam<Case> {};

TEST_P(Structure, HasTheLayoutOfTheCStructure) {
    const Case& row = GetParam();
    const std::string list = Lf(GenerateFrom(row.c, declgen::ImportLibraries()).text);
    const std::size_t start = list.find("Type S\n");
    ASSERT_NE(start, std::string::npos) << list;
    std::string members;
    for (std::size_t at = list.find('\n', start) + 1; list.compare(at, 8, "End Type") != 0;
         at = list.find('\n', at) + 1) {
        std::string line = list.substr(at, list.find('\n', at) - at);
        line = line.substr(4, line.find("  '") - 4);
        members += (members.empty() ? "" : "; ") + line;
    }
    EXPECT_EQ(members, row.expected);
    if (!row.absent.empty()) {
        EXPECT_NE(list.find(row.absent), std::string::npos) << "comment missing:\n" << list;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Structure,
    testing::Values(
        Case{"PaddingBeforeAnEightByteMember", "typedef struct { DWORD a; double b; } S;",
             "a As Long; Padding1(0 To 3) As Byte; b As Double", "' padding"},
        Case{"PaddingAtTheEnd", "typedef struct { double d; DWORD i; } S;",
             "d As Double; i As Long; Padding1(0 To 3) As Byte", ""},
        Case{"PackedMisalignedMemberAsBytes", "#pragma pack(1)\ntypedef struct { CHAR c; DWORD i; } S;",
             "c As Byte; i(0 To 3) As Byte", "unaligned in C"},
        Case{"PackedSizeNoMultipleOfFour", "#pragma pack(2)\ntypedef struct { DWORD i; WORD w; } S;",
             "i(0 To 3) As Byte; w As Integer", "packed"},
        Case{"UnionAsItsLargestMember", "typedef union { WORD w; DWORD l; CHAR text[6]; } S;",
             "text As String * 6; Padding1(0 To 1) As Byte", "union, also w, l"},
        Case{"AnonymousMembersInPlace",
             "typedef struct { DWORD kind; union { RECT r; POINT p; }; struct { DWORD x; } named; } S;",
             "kind As Long; r As RECT; named_x As Long", ""},
        Case{"BitFieldsAsTheirInteger", "typedef struct { DWORD a:1, b:3; WORD c:2; BYTE d; } S;",
             "a As Long; c As Integer; d As Byte", "bit fields a:1, b:3"},
        Case{"Arrays", "typedef struct { CHAR name[16]; WCHAR wide[4]; RECT rects[2]; DWORD grid[2][3]; } S;",
             "name As String * 16; wide(0 To 3) As Integer; rects(0 To 1) As RECT; grid(0 To 5) As Long", ""},
        Case{"Pointers", "typedef struct { LPSTR s; LPWSTR w; HWND h; void *p; WNDPROC f; } S;",
             "s As String; w As Long; h As Long; p As Long; f As Long", ""},
        Case{"VariableLengthTail", "typedef struct { DWORD n; BYTE data[]; } S;", "n As Long",
             "' S: the variable-length array data follows the fixed part"},
        Case{"SixtyFourBitMembers", "typedef struct { DWORD a; ULONGLONG q; float f; } S;",
             "a As Long; Padding1(0 To 3) As Byte; q As Currency; f As Single; Padding2(0 To 3) As Byte",
             ""}),
    Label<Case>);

// Constants: each case defines or declares NAME.
class Constant : public testing::TestWithParam<Case> {};

TEST_P(Constant, IsWrittenAsVisualBasicReadsIt) {
    const Case& row = GetParam();
    const std::string c = "#define HEX_BASE 0x20\n#define MAKEINT(i) ((LPSTR)(i))\n" + row.c;
    ExpectList(row, Lf(GenerateFrom(c, declgen::ImportLibraries()).text));
}

INSTANTIATE_TEST_SUITE_P(
    Macros, Constant,
    testing::Values(
        Case{"HexBelowTheSignRule", "#define NAME 0x7FFF", "Const NAME = &H7FFF\n", ""},
        Case{"HexFrom8000Gains", "#define NAME 0x8000", "Const NAME = &H8000&\n", ""},
        Case{"HexToFFFFGains", "#define NAME 0xFFFFu", "Const NAME = &HFFFF&\n", ""},
        Case{"HexAboveTheSignRule", "#define NAME 0x10000", "Const NAME = &H10000\n", ""},
        Case{"HighBitHex", "#define NAME 0x80000000", "Const NAME = &H80000000\n", ""},
        Case{"Decimal", "#define NAME 32768", "Const NAME = 32768\n", ""},
        Case{"Negative", "#define NAME (-1)", "Const NAME = -1\n", ""},
        Case{"UnsignedDecimalKeepsItsBits", "#define NAME 4294967295U", "Const NAME = &HFFFFFFFF\n", ""},
        Case{"Arithmetic", "#define NAME (0x1 | 0x2 << 4)", "Const NAME = &H21\n", ""},
        Case{"HexThroughAnotherMacro", "#define NAME (HEX_BASE + 1)", "Const NAME = &H21\n", ""},
        Case{"PointerCast", "#define NAME ((HWND)0xFFFF)", "Const NAME = &HFFFF&\n", ""},
        Case{"NegativePointer", "#define NAME ((HANDLE)(LONG_PTR)-1)", "Const NAME = -1\n", ""},
        Case{"FunctionLikeMacroCall", "#define NAME MAKEINT(5)", "Const NAME = 5\n", ""},
        Case{"Sizeof", "#define NAME sizeof(RECT)", "Const NAME = 16\n", ""},
        Case{"String", "#define NAME \"say \\\"hi\\\"\"", "Const NAME = \"say \"\"hi\"\"\"\n", ""},
        Case{"WideStringLeftOut", "#define NAME L\"wide\"", "", "NAME ="},
        Case{"FloatLeftOut", "#define NAME 1.5", "", "NAME ="},
        Case{"Beyond32BitsLeftOut", "#define NAME 0x100000000ULL", "", "NAME ="},
        Case{"ControlCharacterLeftOut", "#define NAME \"a\\n\"", "", "NAME ="},
        Case{"TypeNameLeftOut", "#define NAME DWORD", "", "NAME ="},
        Case{"NamedEnumeration", "typedef enum tagNAME { kRed = 1, kGreen = 0x10 } NAME;",
             "Enum NAME\n    kRed = 1\n    kGreen = &H10\nEnd Enum\n", ""},
        Case{"AnonymousEnumerationAsConstants", "enum { NAME = 7 };", "Const NAME = 7\n", "Enum"}),
    Label<Case>);

TEST(Output, IsTheSameEveryRunAndEndsItsLinesInCrLf) {
    const std::string c = "#define A 1\ntypedef struct { DWORD x; } S;\nvoid WINAPI P(S *s);";
    const std::string first = GenerateFrom(c, {{"P", 4}}).text;
    EXPECT_EQ(first, GenerateFrom(c, {{"P", 4}}).text);
    EXPECT_NE(first.find("End Type\r\n"), std::string::npos);
    EXPECT_EQ(first.find("\n\n"), std::string::npos);
}

}  // namespace
