#include "decode.h"

#include <gtest/gtest.h>

#include "named_rows.h"

namespace declconv {
namespace {

struct DecodeCase {
    const char* label;
    std::string bytes;
    std::u16string text;
    Encoding encoding;
    std::size_t firstBadLine = 0;
    const char* codePage = "";
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, ReadsTheFileAsItsWriterMeantIt) {
    const auto& row = GetParam();
    const DecodedText decoded = DecodeDeclarationFile(row.bytes, row.codePage);
    EXPECT_EQ(decoded.text, row.text);
    EXPECT_EQ(EncodingName(decoded.encoding), std::string(EncodingName(row.encoding)));
    EXPECT_EQ(decoded.firstBadLine, row.firstBadLine);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Files, DecodeTest,
    ::testing::Values(
        DecodeCase{"empty", "", u"", Encoding::kUtf8},
        DecodeCase{"ascii", "Const A = 1\r\n", u"Const A = 1\r\n", Encoding::kUtf8},
        DecodeCase{"utf8_without_mark", "' \xC3\xA9t\xC3\xA9 \xE2\x82\xAC", u"' \u00e9t\u00e9 \u20ac",
                   Encoding::kUtf8},
        DecodeCase{"utf8_mark_removed",
                   "\xEF\xBB\xBF"
                   "Const A = 1",
                   u"Const A = 1", Encoding::kUtf8Bom},
        DecodeCase{"utf8_mark_before_other_bytes", "\xEF\xBB\xBF\xE9", u"\u00e9", Encoding::kWindows1252, 1},
        DecodeCase{"cp1252_latin_letters", "' caf\xE9 \xC4", u"' caf\u00e9 \u00c4", Encoding::kWindows1252,
                   1},
        DecodeCase{"cp1252_0x80_to_0x9f", "\x80\x82\x85\x8A\x8C\x91\x92\x93\x94\x96\x97\x99\x9C\x9F",
                   u"\u20ac\u201a\u2026\u0160\u0152\u2018\u2019\u201c\u201d\u2013\u2014\u2122\u0153\u0178",
                   Encoding::kWindows1252, 1},
        DecodeCase{"cp1252_undefined_bytes_stay_controls", "\x81\x8D\x8F\x90\x9D",
                   u"\u0081\u008d\u008f\u0090\u009d", Encoding::kWindows1252, 1},
        DecodeCase{"cp1252_first_bad_line_counted_as_the_splitter_does", "a\r\r\nb\rc\n\xC3\xA9\xE2\x82",
                   u"a\r\r\nb\rc\n\u00c3\u00a9\u00e2\u201a", Encoding::kWindows1252, 4},
        DecodeCase{"utf16le_mark",
                   "\xFF\xFE"
                   "C\0\xE9\0\xAC\x20"s,
                   u"C\u00e9\u20ac", Encoding::kUtf16Le},
        DecodeCase{"utf16be_mark", "\xFE\xFF\0C\0\xE9\x20\xAC"s, u"C\u00e9\u20ac", Encoding::kUtf16Be},
        DecodeCase{"utf16_surrogate_pair_kept", "\xFF\xFE\x3D\xD8\x00\xDE"s, u"\U0001F600",
                   Encoding::kUtf16Le},
        DecodeCase{"utf16_odd_last_byte_marked",
                   "\xFF\xFE"
                   "A\0B"s,
                   u"A\uFFFD", Encoding::kUtf16Le},
        DecodeCase{"utf16le_without_mark", "C\0\r\0\n\0\x14\x04"s, u"C\r\n\u0414", Encoding::kUtf16Le},
        DecodeCase{"utf16be_without_mark", "\0C\0\n\0\n\0\n\x04\x14"s, u"C\n\n\n\u0414", Encoding::kUtf16Be},
        DecodeCase{"code_page_named", "' \xC4\xE0", u"' \u0414\u0430", Encoding::kNamed, 0, "windows-1251"},
        DecodeCase{"double_byte_code_page", "\x93\xFA\x96\x7B", u"\u65e5\u672c", Encoding::kNamed, 0,
                   "shift_jis"},
        DecodeCase{"named_code_page_marks_bad_bytes", "ok\r\n\xFFx", u"ok\r\n\uFFFDx", Encoding::kNamed, 2,
                   "utf-8"},
        DecodeCase{"mark_wins_over_the_name", "\xEF\xBB\xBF\xC3\xA9", u"\u00e9", Encoding::kUtf8Bom, 0,
                   "windows-1251"}),
    kRowName);

TEST(Decode, RefusesWhatIsNoText) {
    for (const std::string& bytes :
         {"MZ\x90\0\x03\0\0\0"s, "Const A = 1\r\n\0"s, "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s,
          "\xFF\xFE"
          "A\0\0\0"s,
          "\0\0\0\0"s}) {
        EXPECT_THROW(DecodeDeclarationFile(bytes), NotText) << bytes;
        EXPECT_THROW(DecodeDeclarationFile(bytes, "windows-1251"), NotText) << bytes;
    }
}

}  // namespace
}  // namespace declconv
