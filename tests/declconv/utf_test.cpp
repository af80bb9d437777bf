#include "utf.h"

#include <gtest/gtest.h>

namespace declconv {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" + std::string(1, '\0') + "z";
    const auto wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, std::u16string(u"a\u00e9\u20ac\U0001F600") + char16_t{0} + u"z");
    EXPECT_EQ(wide.size(), 7u);  // the emoji is a surrogate pair
    EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf, RejectsMalformedInput) {
    for (const std::string bad :
         {"\x80", "\xC3", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"}) {
        EXPECT_THROW(Utf8ToUtf16(bad), std::invalid_argument);
    }
}

TEST(Utf, LoneSurrogateBecomesReplacementCharacter) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace declconv
