#include <gtest/gtest.h>

#include "declshift.h"

namespace declshift {
namespace {

std::u16string Lines(std::initializer_list<const char16_t*> lines) {
    std::u16string out;
    for (const char16_t* line : lines) out += (out.empty() ? u"" : u"\r\n") + std::u16string(line);
    return out;
}

const std::u16string kFormattedStructure =
    u"DIM TEST{ \\\r\n\\    Param1%, \\ int32\r\n\\    Param2%, \\ int32\r\n"
    u"\\    Param3%, \\ int32\r\n\\    Param4% \\ int32\r\n\\    }\r\n";
const std::u16string kFormattedCall =
    u"SYS test, Param1$, \\\r\n\\    Param2$, \\\r\n\\    Param3$, \\\r\n"
    u"\\    Param4$ TO ret%";
const std::u16string kBinding =
    u"SYS \"GetModuleHandle\", \"test.dll\" TO `test%\r\n"
    u"IF `test%=0 SYS \"LoadLibrary\", \"test.dll\" TO `test%\r\n"
    u"SYS \"GetProcAddress\", `test%, \"test\" TO test\r\n";

struct PreviewCase {
    const char* label;
    std::int16_t autoFormat;
    std::int16_t explConst;
    std::int16_t showParams;
    std::u16string expected;
};

void PrintTo(const PreviewCase& row, std::ostream* out) { *out << row.label; }

class PreviewTest : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewTest, ShowsTheSample) {
    Options options;
    options.m_AutoFormat = GetParam().autoFormat;
    options.m_ExplConst = GetParam().explConst;
    options.m_ShowParams = GetParam().showParams;
    options.m_Charset = 1;  // plays no part
    EXPECT_EQ(Preview(options), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PreviewTest,
    ::testing::Values(
        PreviewCase{"all_set", -1, -1, -1,
                    Lines({u"Test = 1", u"", u"DIM TEST{ \\", u"\\    Param1%, \\ int32",
                           u"\\    Param2%, \\ int32", u"\\    Param3%, \\ int32", u"\\    Param4% \\ int32",
                           u"\\    }", u"", u"SYS \"GetModuleHandle\", \"test.dll\" TO `test%",
                           u"IF `test%=0 SYS \"LoadLibrary\", \"test.dll\" TO `test%",
                           u"SYS \"GetProcAddress\", `test%, \"test\" TO test", u"SYS test, Param1$, \\",
                           u"\\    Param2$, \\", u"\\    Param3$, \\", u"\\    Param4$ TO ret%"})},
        PreviewCase{"all_clear", 0, 0, 0,
                    Lines({u"Test = 1", u"", u"DIM TEST{ Param1%, Param2%, Param3%, Param4% }", u"",
                           u"SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"})},
        PreviewCase{"show_params_without_binding", 0, 0, -1,
                    Lines({u"Test = 1", u"", u"DIM TEST{ Param1%, Param2%, Param3%, Param4% }", u"",
                           u"SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"})},
        PreviewCase{"function_binding", 0, -1, 0,
                    Lines({u"Test = 1", u"", u"DIM TEST{ Param1%, Param2%, Param3%, Param4% }", u"",
                           u"test = FN_LoadDLL(\"test.dll\", \"test\")",
                           u"SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"})},
        PreviewCase{"listed_binding_packed", 0, 1, 1,
                    u"Test = 1\r\n\r\nDIM TEST{ Param1%, Param2%, Param3%, Param4% }\r\n\r\n" + kBinding +
                        u"SYS test, Param1$, Param2$, Param3$, Param4$ TO ret%"},
        PreviewCase{"formatted_no_binding", 1, 0, 1,
                    u"Test = 1\r\n\r\n" + kFormattedStructure + u"\r\n" + kFormattedCall},
        PreviewCase{"formatted_function_binding", 2, 7, 0,
                    u"Test = 1\r\n\r\n" + kFormattedStructure +
                        u"\r\ntest = FN_LoadDLL(\"test.dll\", \"test\")\r\n" + kFormattedCall},
        PreviewCase{"any_negative_value_is_set", -32768, -5, -2,
                    u"Test = 1\r\n\r\n" + kFormattedStructure + u"\r\n" + kBinding + kFormattedCall}),
    [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace declshift
