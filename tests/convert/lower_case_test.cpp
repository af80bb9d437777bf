#include "lower_case.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace declshift {
namespace {

struct LowerCaseCase {
    const char* label;
    Text text;
    Text expected;
};

void PrintTo(const LowerCaseCase& row, std::ostream* out) { *out << row.label; }

class LowerCaseTest : public ::testing::TestWithParam<LowerCaseCase> {};

TEST_P(LowerCaseTest, LowersAsWindowsDoes) { EXPECT_EQ(LowerCase(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Letters, LowerCaseTest,
    ::testing::Values(
        LowerCaseCase{"ascii", u"USER32.Dll_@[`{", u"user32.dll_@[`{"},
        LowerCaseCase{"latin", u"\u00c9NV\u00de\u00d7", u"\u00e9nv\u00fe\u00d7"},
        LowerCaseCase{"cyrillic", u"\u0416\u0418\u041b\u0400", u"\u0436\u0438\u043b\u0450"},
        // Runs where every other code point is a capital.
        LowerCaseCase{"alternating", u"\u0100\u0101\u0102\u012e\u0130", u"\u0101\u0101\u0103\u012f\u0130"},
        LowerCaseCase{"capitals_kept", u"\u0130\u1e9e\u03f4", u"\u0130\u1e9e\u03f4"},
        LowerCaseCase{"last_capital", u"\uff3a\uff3b", u"\uff5a\uff3b"},
        LowerCaseCase{"surrogate_pairs", u"\U00010400\U0001E921\U0001E922",
                      u"\U00010428\U0001E943\U0001E922"},
        LowerCaseCase{"lone_surrogates", u"\xd801\x0041\xdc00\xd801", u"\xd801\x0061\xdc00\xd801"}),
    [](const auto& row) { return std::string(row.param.label); });

#ifdef _WIN32
// The engine's table against Windows' own lower-casing.
TEST(LowerCaseOnWindows, EveryCodeUnitAsCharLowerBuffW) {
    int mismatches = 0;
    for (char32_t c = 0; c <= 0xFFFF && mismatches < 10; ++c) {
        WCHAR unit = static_cast<WCHAR>(c);
        CharLowerBuffW(&unit, 1);
        const Text lowered = LowerCase(Text(1, static_cast<char16_t>(c)));
        if (lowered != Text(1, static_cast<char16_t>(unit))) {
            ADD_FAILURE() << std::hex << "U+" << static_cast<unsigned>(c) << ": Windows U+"
                          << static_cast<unsigned>(unit) << ", engine U+"
                          << static_cast<unsigned>(lowered.front());
            ++mismatches;
        }
    }
}

TEST(LowerCaseOnWindows, EverySurrogatePairAsCharLowerBuffW) {
    Text pairs;
    for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
        pairs.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        pairs.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    std::wstring windows(pairs.begin(), pairs.end());
    CharLowerBuffW(windows.data(), static_cast<DWORD>(windows.size()));
    const Text lowered = LowerCase(pairs);
    ASSERT_EQ(lowered.size(), windows.size());
    for (std::size_t i = 0; i < lowered.size(); ++i) {
        ASSERT_EQ(static_cast<unsigned>(lowered[i]), static_cast<unsigned>(windows[i]))
            << std::hex << "U+" << 0x10000 + i / 2;
    }
}
#endif

}  // namespace
}  // namespace declshift
