#include "command_line.h"

#include <gtest/gtest.h>

namespace upgrade {
namespace {

struct LineCase {
    const char* label;
    const char* commandLine;
    const char* target;
};

void PrintTo(const LineCase& row, std::ostream* out) { *out << row.label; }

class TargetDirectoryTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(TargetDirectoryTest, TakesEverythingBehindTheProgramName) {
    EXPECT_EQ(TargetDirectory(GetParam().commandLine), GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TargetDirectoryTest,
    ::testing::Values(LineCase{"plain", "upgrade.exe C:\\Tarnwick", "C:\\Tarnwick"},
                      LineCase{"quoted_program", "\"C:\\Program Files\\upgrade.exe\" C:\\T", "C:\\T"},
                      LineCase{"blanks_in_target_kept", "upgrade.exe C:\\My Dir\\x  ", "C:\\My Dir\\x  "},
                      LineCase{"leading_blanks_and_tabs", " \t upgrade.exe \t D:\\", "D:\\"},
                      LineCase{"quoted_target_unquoted", "upgrade.exe \"C:\\My Dir\"", "C:\\My Dir"},
                      LineCase{"only_one_pair_removed", "upgrade.exe \"\"C:\\x\"\"", "\"C:\\x\""},
                      LineCase{"quote_not_enclosing_kept", "upgrade.exe \"C:\\x\" ", "\"C:\\x\" "},
                      LineCase{"lone_quote_kept", "upgrade.exe \"", "\""},
                      LineCase{"empty_quotes_give_empty", "upgrade.exe \"\"", ""},
                      LineCase{"nothing_behind_program", "upgrade.exe", ""},
                      LineCase{"blanks_behind_program", "upgrade.exe   ", ""}, LineCase{"empty_line", "", ""},
                      LineCase{"unterminated_program_quote", "\"C:\\up grade.exe", ""},
                      LineCase{"program_quote_then_text", "\"a b\"c D:\\", "c D:\\"},
                      LineCase{"tab_separates", "upgrade.exe\tE:\\", "E:\\"}));

}  // namespace
}  // namespace upgrade
