#include <gtest/gtest.h>

#include <random>

#include "declshift.h"
#include "text.h"

namespace declshift {
namespace {

enum class Call { kSub, kFunc };

// Each line followed by CRLF, as a successful conversion ends.
Text Out(std::initializer_list<const char16_t*> lines) {
    Text out;
    for (const char16_t* line : lines) out += Text(line) + u"\r\n";
    return out;
}

Options With(std::int16_t autoFormat, std::int16_t showParams, std::int32_t charset = 0,
             std::int16_t explConst = 0) {
    Options options;
    options.m_AutoFormat = autoFormat;
    options.m_ShowParams = showParams;
    options.m_Charset = charset;
    options.m_ExplConst = explConst;
    return options;
}

struct ProcCase {
    const char* label;
    Call call;
    Options options;
    Text name;
    Text data;
    Text expected;
};

void PrintTo(const ProcCase& row, std::ostream* out) { *out << row.label; }

class ProcedureTest : public ::testing::TestWithParam<ProcCase> {};

TEST_P(ProcedureTest, ConvertsTheDeclaration) {
    const auto& row = GetParam();
    Text name = row.name;
    Text data = row.data;
    const Text result =
        row.call == Call::kSub ? GetSub(row.options, name, data) : GetFunc(row.options, name, data);
    EXPECT_EQ(result, row.expected);
    EXPECT_EQ(name, row.name);
    EXPECT_EQ(data, row.data);
}

const Text kKeybd = u"\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)";
const Text kKeybdFormatted = Out(
    {u"SYS \"keybd_event\", bVk&, \\", u"\\    bScan&, \\", u"\\    dwFlags%, \\", u"\\    dwExtraInfo%"});
const Text kKeybdPacked = Out({u"SYS \"keybd_event\", bVk&, bScan&, dwFlags%, dwExtraInfo%"});

const Text kVersion =
    u"\"version\" Alias \"GetFileVersionInfoSizeA\" (lptstrFilename As String, lpdwHandle&) As Long";
const Text kVersionShowParams =
    Out({u"SYS \"GetModuleHandle\", \"version.dll\" TO `version%",
         u"IF `version%=0 SYS \"LoadLibrary\", \"version.dll\" TO `version%",
         u"SYS \"GetProcAddress\", `version%, \"GetFileVersionInfoSizeA\" TO GetFileVersionInfoSizeA",
         u"SYS GetFileVersionInfoSizeA, lptstrFilename$, \\", u"\\    lpdwHandle% TO ret%:REM returns Long"});

INSTANTIATE_TEST_SUITE_P(
    Examples, ProcedureTest,
    ::testing::Values(
        ProcCase{"sub_system_formatted", Call::kSub, With(-1, 0), u"keybd_event", kKeybd, kKeybdFormatted},
        ProcCase{"sub_system_formatted_showparams", Call::kSub, With(-1, -1), u"keybd_event", kKeybd,
                 kKeybdFormatted},
        ProcCase{"sub_system_formatted_charset_explconst", Call::kSub, With(-1, -1, 1, -1), u"keybd_event",
                 kKeybd, kKeybdFormatted},
        ProcCase{"sub_system_packed", Call::kSub, With(0, 0), u"keybd_event", kKeybd, kKeybdPacked},
        ProcCase{"sub_system_packed_showparams", Call::kSub, With(0, -1, 1), u"keybd_event", kKeybd,
                 kKeybdPacked},
        ProcCase{"func_showparams_formatted", Call::kFunc, With(-1, -1), u"GetFileVersionInfoSize", kVersion,
                 kVersionShowParams},
        ProcCase{
            "func_showparams_formatted_wide", Call::kFunc, With(-1, -1, 1), u"GetFileVersionInfoSize",
            kVersion,
            Out({u"SYS \"GetModuleHandle\", \"version.dll\" TO `version%",
                 u"IF `version%=0 SYS \"LoadLibrary\", \"version.dll\" TO `version%",
                 u"SYS \"GetProcAddress\", `version%, \"GetFileVersionInfoSizeW\" TO GetFileVersionInfoSizeW",
                 u"SYS GetFileVersionInfoSizeW, lptstrFilename$, \\",
                 u"\\    lpdwHandle% TO ret%:REM returns Long"})},
        ProcCase{"func_loaddll_formatted", Call::kFunc, With(-1, 0), u"GetFileVersionInfoSize", kVersion,
                 Out({u"GetFileVersionInfoSizeA = FN_LoadDLL(\"version.dll\", \"GetFileVersionInfoSizeA\")",
                      u"SYS GetFileVersionInfoSizeA, lptstrFilename$, \\",
                      u"\\    lpdwHandle% TO ret%:REM returns Long"})},
        ProcCase{"func_loaddll_packed", Call::kFunc, With(0, 0), u"GetFileVersionInfoSize", kVersion,
                 Out({u"GetFileVersionInfoSizeA = FN_LoadDLL(\"version.dll\", \"GetFileVersionInfoSizeA\")",
                      u"SYS GetFileVersionInfoSizeA, lptstrFilename$, lpdwHandle% TO ret%"})},
        ProcCase{
            "func_showparams_packed_keeps_binding_lines", Call::kFunc, With(0, -1), u"GetFileVersionInfoSize",
            kVersion,
            Out({u"SYS \"GetModuleHandle\", \"version.dll\" TO `version%",
                 u"IF `version%=0 SYS \"LoadLibrary\", \"version.dll\" TO `version%",
                 u"SYS \"GetProcAddress\", `version%, \"GetFileVersionInfoSizeA\" TO GetFileVersionInfoSizeA",
                 u"SYS GetFileVersionInfoSizeA, lptstrFilename$, lpdwHandle% TO ret%"})},
        ProcCase{"func_no_parameters_formatted", Call::kFunc, With(-1, 0), u"GetTickCount",
                 u"\"kernel32\" () As Long", Out({u"SYS \"GetTickCount\" TO ret%:REM returns Long"})},
        ProcCase{"func_no_parameters_packed", Call::kFunc, With(0, -1), u"GetTickCount",
                 u"\"kernel32\" () As Long", Out({u"SYS \"GetTickCount\" TO ret%"})}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Libraries, ProcedureTest,
    ::testing::Values(
        ProcCase{"upper_case_without_extension_is_system", Call::kSub, With(-1, -1), u"Sleep",
                 u"\"KERNEL32\" (ms&)", Out({u"SYS \"Sleep\", ms%"})},
        ProcCase{"extension_keeps_case", Call::kSub, With(-1, -1), u"Sleep", u"\"Kernel32.dll\" (ms&)",
                 Out({u"SYS \"GetModuleHandle\", \"Kernel32.dll\" TO `Kernel32%",
                      u"IF `Kernel32%=0 SYS \"LoadLibrary\", \"Kernel32.dll\" TO `Kernel32%",
                      u"SYS \"GetProcAddress\", `Kernel32%, \"Sleep\" TO Sleep", u"SYS Sleep, ms%"})},
        ProcCase{"module_before_first_full_stop", Call::kSub, With(-1, 0), u"Go", u"\"my.lib.dll\" ()",
                 Out({u"Go = FN_LoadDLL(\"my.lib.dll\", \"Go\")", u"SYS Go"})},
        ProcCase{"module_name_first_part", Call::kSub, With(-1, -1), u"Go", u"\"my.lib.dll\" ()",
                 Out({u"SYS \"GetModuleHandle\", \"my.lib.dll\" TO `my%",
                      u"IF `my%=0 SYS \"LoadLibrary\", \"my.lib.dll\" TO `my%",
                      u"SYS \"GetProcAddress\", `my%, \"Go\" TO Go", u"SYS Go"})},
        ProcCase{
            "empty_library_name", Call::kSub, With(-1, -1), u"Go", u"\"\" ()",
            Out({u"SYS \"GetModuleHandle\", \".dll\" TO `%", u"IF `%=0 SYS \"LoadLibrary\", \".dll\" TO `%",
                 u"SYS \"GetProcAddress\", `%, \"Go\" TO Go", u"SYS Go"})},
        ProcCase{"library_lowered_as_windows_does", Call::kSub, With(-1, 0), u"F", u"\"\u00c9NV\" ()",
                 Out({u"F = FN_LoadDLL(\"\u00e9nv.dll\", \"F\")", u"SYS F"})},
        ProcCase{"winmm_is_system", Call::kSub, With(-1, 0), u"F", u"\"winmm\" ()", Out({u"SYS \"F\""})},
        ProcCase{"explconst_clear_keeps_binding", Call::kSub, With(-1, 0, 0, 0), u"F", u"\"mine\" ()",
                 Out({u"F = FN_LoadDLL(\"mine.dll\", \"F\")", u"SYS F"})},
        ProcCase{"loaddll_packed_with_call", Call::kSub, With(0, 0), u"F", u"\"mine\" (a&, b&)",
                 Out({u"F = FN_LoadDLL(\"mine.dll\", \"F\")", u"SYS F, a%, b%"})}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    EntryNames, ProcedureTest,
    ::testing::Values(
        ProcCase{"alias_unquoted_ends_at_blank", Call::kSub, With(-1, 0), u"F", u"\"user32\" Alias Real (x&)",
                 Out({u"SYS \"Real\", x%"})},
        ProcCase{"alias_two_blanks_missed", Call::kFunc, With(-1, 0), u"GetFileVersionInfo",
                 u"\"version.dll\"  Alias \"GetFileVersionInfoA\" (x&) As Long",
                 Out({u"GetFileVersionInfo = FN_LoadDLL(\"version.dll\", \"GetFileVersionInfo\")",
                      u"SYS GetFileVersionInfo, x% TO ret%:REM returns Long"})},
        ProcCase{"alias_inside_library_name", Call::kSub, With(-1, 0), u"F", u"\"MyAlias\" Alias \"G\" ()",
                 Out({u" Alias = FN_LoadDLL(\"myalias.dll\", \" Alias\")", u"SYS  Alias"})},
        ProcCase{"charset_one_makes_wide", Call::kSub, With(-1, 0, 1), u"MessageBoxA", u"\"user32\" ()",
                 Out({u"SYS \"MessageBoxW\""})},
        ProcCase{"charset_zero_makes_ansi", Call::kSub, With(-1, 0, 0), u"MessageBoxW", u"\"user32\" ()",
                 Out({u"SYS \"MessageBoxA\""})},
        ProcCase{"charset_two_makes_ansi", Call::kSub, With(-1, 0, 2), u"MessageBoxW", u"\"user32\" ()",
                 Out({u"SYS \"MessageBoxA\""})},
        ProcCase{"charset_minus_one_makes_ansi", Call::kSub, With(-1, 0, -1), u"MessageBoxW",
                 u"\"user32\" ()", Out({u"SYS \"MessageBoxA\""})},
        ProcCase{"lower_case_ending_kept", Call::kSub, With(-1, 0, 1), u"Drawa", u"\"user32\" ()",
                 Out({u"SYS \"Drawa\""})},
        ProcCase{"charset_follows_call_target", Call::kSub, With(-1, 0, 1), u"DoA", u"\"mine\" ()",
                 Out({u"DoW = FN_LoadDLL(\"mine.dll\", \"DoW\")", u"SYS DoW"})},
        ProcCase{"keyword_entry_made_safe", Call::kSub, With(-1, -1), u"TOGGLE", u"\"mine\" ()",
                 Out({u"SYS \"GetModuleHandle\", \"mine.dll\" TO `mine%",
                      u"IF `mine%=0 SYS \"LoadLibrary\", \"mine.dll\" TO `mine%",
                      u"SYS \"GetProcAddress\", `mine%, \"TOGGLE\" TO _TOGGLE", u"SYS _TOGGLE"})}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Results, ProcedureTest,
    ::testing::Values(ProcCase{"sub_empty_list_no_comma", Call::kSub, With(-1, 0), u"F", u"\"user32\" ()",
                               Out({u"SYS \"F\""})},
                      ProcCase{"func_empty_list", Call::kFunc, With(-1, 0), u"F", u"\"mine\" ()",
                               Out({u"F = FN_LoadDLL(\"mine.dll\", \"F\")", u"SYS F TO ret"})},
                      ProcCase{"boolean_result", Call::kFunc, With(-1, 0), u"F",
                               u"\"user32\" (x&) As Boolean", Out({u"SYS \"F\", x% TO ret%"})},
                      ProcCase{"byte_result", Call::kFunc, With(-1, 0), u"F", u"\"user32\" (x&) As Byte",
                               Out({u"SYS \"F\", x% TO ret&"})},
                      ProcCase{"string_result", Call::kFunc, With(-1, 0), u"F", u"\"user32\" (x&) As String",
                               Out({u"SYS \"F\", x% TO ret%"})},
                      ProcCase{"no_result_type", Call::kFunc, With(-1, 0), u"F", u"\"user32\" (x&)",
                               Out({u"SYS \"F\", x% TO ret"})},
                      ProcCase{"suffix_result_mark", Call::kFunc, With(-1, 0), u"F", u"\"user32\" (x&)%",
                               Out({u"SYS \"F\", x% TO ret%"})},
                      ProcCase{"result_mark_not_taken_across_lines", Call::kFunc, With(-1, 0), u"F",
                               u"\"user32\" (a&) x, b&)%",
                               Out({u"SYS \"F\", a%) x, \\", u"\\    b% TO ret%"})},
                      ProcCase{"structure_result", Call::kFunc, With(-1, 0), u"F",
                               u"\"user32\" (lpRect As RECT) As Long",
                               Out({u"SYS \"F\", Rect{} TO ret%:REM RECT, returns Long"})},
                      ProcCase{"byref_result", Call::kFunc, With(0, 0), u"F",
                               u"\"user32\" (ByRef x&) As Long", Out({u"SYS \"F\", x% TO ret%"})},
                      ProcCase{"sub_drops_every_paren", Call::kSub, With(-1, 0), u"F", u"\"user32\" (a&) b)",
                               Out({u"SYS \"F\", a% b"})},
                      ProcCase{"func_drops_last_paren", Call::kFunc, With(-1, 0), u"F", u"\"user32\" (a&) b)",
                               Out({u"SYS \"F\", a%) b TO ret"})},
                      ProcCase{"func_local_ret_cuts_arguments", Call::kFunc, With(-1, 0), u"F",
                               u"\"user32\" (x\r\nLOCAL ret)", Out({u"SYS \"F\" TO ret"})},
                      ProcCase{"sub_local_ret_cuts_arguments", Call::kSub, With(-1, 0), u"F",
                               u"\"user32\" (x\r\nLOCAL ret)", Out({u"SYS \"F\", x"})},
                      ProcCase{"caret_blank_narrowed", Call::kSub, With(-1, 0), u"F", u"\"user32\" (x&, ~s&)",
                               Out({u"SYS \"F\", x%, \\", u"\\   ^s%"})},
                      ProcCase{"structure_parameter_last", Call::kSub, With(-1, 0), u"F",
                               u"\"user32\" (p As POINT)", Out({u"SYS \"F\", p{}:REM POINT"})}),
    [](const auto& row) { return std::string(row.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Failures, ProcedureTest,
    ::testing::Values(ProcCase{"no_closing_quote", Call::kSub, With(-1, 0), u"F", u"\"user32 (x&)",
                               u"REM Sorry I could not convert F"},
                      ProcCase{"empty_data", Call::kFunc, With(-1, 0), u"F", u"",
                               u"REM Sorry I could not convert F"},
                      ProcCase{"alias_without_closing_quote", Call::kSub, With(-1, 0), u"F",
                               u"\"u\" Alias \"G (x&)", u"REM Sorry I could not convert F"},
                      ProcCase{"alias_without_blank", Call::kSub, With(-1, 0), u"F", u"\"u\" Alias G",
                               u"REM Sorry I could not convert F"},
                      ProcCase{"no_open_paren", Call::kSub, With(-1, 0), u"F", u"\"user32\"",
                               u"REM Sorry I could not convert F"},
                      ProcCase{"func_no_close_paren", Call::kFunc, With(-1, 0), u"F", u"\"user32\" (x&",
                               u"REM Sorry I could not convert F"},
                      ProcCase{"sub_list_failed", Call::kSub, With(-1, 0), u"F", u"\"user32\" (ByRef x&",
                               u"REM Sorry I could not convert F"},
                      // With parentheses in the name, the failure sentence could pass for a list.
                      ProcCase{"sub_list_failed_name_with_parens", Call::kSub, With(-1, 0), u"F(x)",
                               u"\"user32\" (ByRef x&", u"REM Sorry I could not convert F(x)"},
                      ProcCase{"func_list_failed_name_with_parens", Call::kFunc, With(0, -1), u"F(x)",
                               u"\"mine\" (ByRef x&", u"REM Sorry I could not convert F(x)"},
                      ProcCase{"func_as_ends_list", Call::kFunc, With(-1, 0), u"(F)", u"\"user32\" (x&) As ",
                               u"REM Sorry I could not convert (F)"},
                      // A parameter text of 32,768 characters (with the blank in front).
                      ProcCase{"sub_parameter_text_too_long", Call::kSub, With(-1, 0), u"L",
                               u"\"\"(" + Text(32765, u'x') + u")", u"REM Sorry I could not convert L"},
                      ProcCase{"sub_parameter_text_too_long_packed", Call::kSub, With(0, 0), u"L",
                               u"\"\"(" + Text(32765, u'x') + u")", u"REM Sorry I could not convert L"},
                      // A remark never splits the line break behind a type.
                      ProcCase{"func_remarked_type_past_line_break", Call::kFunc, With(-1, 0), u"a",
                               u"\"a\" (x As RECT) As Long\r\n", u"REM Sorry I could not convert a"},
                      ProcCase{"func_remarked_type_past_line_break_packed", Call::kFunc, With(0, 0), u"a",
                               u"\"a\" (x As RECT) As Long\r\n", u"REM Sorry I could not convert a"},
                      ProcCase{"sub_remarked_empty_type_past_line_break", Call::kSub, With(-1, 0), u"n",
                               u"n\"(p As  As )\r\n", u"REM Sorry I could not convert n"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(ProcedureLimits, LongDeclarationConverts) {
    Text data = u"\"user32\" (";
    Text packed = u"SYS \"F\", ";
    for (int i = 0; i < 2000; ++i) {
        const auto digits = std::to_string(i);
        const Text n(digits.begin(), digits.end());
        data += (i ? u", a" : u"a") + n + u"&";
        packed += (i ? u", a" : u"a") + n + u"%";
    }
    data += u")";
    Text name = u"F";
    const Text result = GetSub(With(0, 0), name, data);
    // Packed into lines of at most 250 characters of items; joined again they give the call.
    EXPECT_EQ(Replace(Replace(result, u" \\\r\n\\ ", u" "), u"\\\r\n\\ ", u""), packed + u"\r\n");
}

TEST(ProcedureLimits, PositionsBeyondSixteenBitsFailCleanly) {
    Text data = u"\"mine12345678abcd\" (";
    for (int i = 0; i < 1488; ++i) data += u"ByRef lpRect As RECT, ";
    data += u"x&) As Long";
    ASSERT_EQ(Len(data), 32767);
    Text name = u"F";
    EXPECT_EQ(GetFunc(With(-1, -1), name, data), u"REM Sorry I could not convert F");
}

// Any declaration text: a result that ends in CRLF or exactly the failure
// sentence, never an escaping error; only the value 1 of m_Charset counts.
TEST(ProcedureProperties, RandomDeclarationsConvertOrFailCleanly) {
    const std::vector<Text> pieces = {
        u"\"",   u"user32", u"mine.dll", u" Alias ",    u"Alias",     u" (",   u"(",    u")", u", ",
        u",",    u"ByRef ", u" As Long", u" As String", u" As RECT",  u" as ", u" As ", u"&", u"~",
        u"?",    u"$",      u"%",        u"lpName",     u"nLen",      u"cch",  u"W",    u"A", u" Optional ",
        u" = 0", u":REM",   u"\\",       u"\r\n",       u"LOCAL ret", u" "};
    std::mt19937 random(42);
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> count(0, 30);
    for (int i = 0; i < 1500; ++i) {
        // Mostly well-formed heads with random parameter texts, some random throughout.
        const std::vector<Text> heads = {u"\"", u"\"user32\" (", u"\"mine\" (", u"\"x.dll\" Alias \"FA\" ("};
        Text data = heads[static_cast<std::size_t>(i) % heads.size()];
        for (int n = count(random); n > 0; --n) data += pieces[pick(random)];
        if (i % 3 != 0) data += i % 2 == 0 ? u")" : u") As Long";
        for (const Call call : {Call::kSub, Call::kFunc}) {
            for (const Options& options : {With(0, 0), With(-1, 0), With(0, -1, 1), With(-1, -1, 2)}) {
                Text name = u"P(x)";
                Text copy = data;
                const Text result =
                    call == Call::kSub ? GetSub(options, name, copy) : GetFunc(options, name, copy);
                EXPECT_TRUE(result == u"REM Sorry I could not convert P(x)" || result.ends_with(u"\r\n"))
                    << i;
                Options zero = options;
                zero.m_Charset = options.m_Charset == 1 ? 1 : 0;
                Text again = data;
                EXPECT_EQ(call == Call::kSub ? GetSub(zero, name, again) : GetFunc(zero, name, again),
                          result);
            }
        }
    }
}

}  // namespace
}  // namespace declshift
