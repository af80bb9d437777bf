#include "text.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>

namespace declshift {
namespace {

using namespace std::string_view_literals;

TEST(TextPrimitives, TakingPastTheEndGivesWhatThereIs) {
    EXPECT_EQ(Mid(u"abc", 2, 10), u"bc");
    EXPECT_EQ(Mid(u"abc", 4), u"");
    EXPECT_EQ(Mid(u"abc", 9, 1), u"");
    EXPECT_EQ(Left(u"abc", 5), u"abc");
    EXPECT_EQ(Right(u"abc", 5), u"abc");
    EXPECT_EQ(Right(u"abc", 2), u"bc");
    EXPECT_EQ(Mid(u"abc", 1, 0), u"");
}

TEST(TextPrimitives, InvalidStartOrNegativeLengthFails) {
    EXPECT_THROW(Mid(u"abc", 0), ConversionFailure);
    EXPECT_THROW(Mid(u"abc", -3, 1), ConversionFailure);
    EXPECT_THROW(Mid(u"abc", 1, -1), ConversionFailure);
    EXPECT_THROW(Left(u"abc", -1), ConversionFailure);
    EXPECT_THROW(Right(u"abc", -1), ConversionFailure);
    EXPECT_THROW(InStr(0, u"abc", u"a"), ConversionFailure);
    EXPECT_THROW(InStrRev(u"abc", u"a", 0), ConversionFailure);
    EXPECT_THROW(Asc(u""), ConversionFailure);
    EXPECT_THROW(TrimControlEnd(u"\r\n\t"), ConversionFailure);
}

TEST(TextPrimitives, SearchesAreExactAndOneBased) {
    EXPECT_EQ(InStr(u"abcabc", u"c"), 3);
    EXPECT_EQ(InStr(4, u"abcabc", u"c"), 6);
    EXPECT_EQ(InStr(7, u"abcabc", u"c"), 0);
    EXPECT_EQ(InStr(u"abc", u"C"), 0);
    EXPECT_EQ(InStrRev(u"abcabc", u"b"), 5);
    EXPECT_EQ(InStrRev(u"abcabc", u"b", 4), 2);
    EXPECT_EQ(InStrRev(u"abcabc", u"bc", 5), 2);
    EXPECT_EQ(InStrRev(u"abc", u"b", 9), 0);
    // A surrogate pair counts as two code units.
    EXPECT_EQ(InStr(u"\U0001F600x", u"x"), 3);
}

TEST(TextPrimitives, ReplaceIsOnePassAndNonOverlapping) {
    EXPECT_EQ(Replace(u"aaaa", u"aa", u"a"), u"aa");
    EXPECT_EQ(Replace(u"    ", u"  ", u" "), u"  ");
    EXPECT_EQ(ReplaceWhile(u"     x", u"  ", u" "), u" x");
    EXPECT_EQ(Replace(u"abc", u"", u"x"), u"abc");
    EXPECT_EQ(Replace(u"a,b", u",", u", \\\r\n\\   "), u"a, \\\r\n\\   b");
}

TEST(TextPrimitives, SplitKeepsEmptyPieces) {
    EXPECT_EQ(Split(u"a\r\n\r\nb\r\n", kCrLf), (std::vector<Text>{u"a", u"", u"b", u""}));
    EXPECT_EQ(Split(u"", kCrLf), std::vector<Text>{u""});
    EXPECT_EQ(Join({u"a", u"", u"b"}, u" "), u"a  b");
}

TEST(TextPrimitives, SixteenBitCountersFailBeyond32767) {
    EXPECT_EQ(Int16(32767).get(), 32767);
    EXPECT_EQ(Int16(-32768).get(), -32768);
    EXPECT_THROW(Int16(32768), ConversionFailure);
    EXPECT_THROW(Int16(-32769), ConversionFailure);
    Int16 counter = 32766;
    ++counter;
    EXPECT_THROW(++counter, ConversionFailure);
    Int16 sum = 32000;
    EXPECT_THROW(sum += 768, ConversionFailure);
}

// Texts over a small alphabet, so that near misses of the sought text abound, with
// lengths around the 8-unit blocks of the first-unit scan.
Text RandomText(std::mt19937& random, std::size_t maxLength, TextView alphabet) {
    Text text(random() % (maxLength + 1), u' ');
    for (char16_t& c : text) c = alphabet[random() % alphabet.size()];
    return text;
}

TEST(FindEquivalence, AnswersLikeTheStandardSearchFromEveryStart) {
    std::mt19937 random(11);
    for (const TextView alphabet : {u"ab"sv, u" As\\\r\n,)"sv, u"a\u00e9\uffff\u0000"sv}) {
        for (int i = 0; i < 3000; ++i) {
            const Text text = RandomText(random, 70, alphabet);
            const Text find = RandomText(random, 4, alphabet);
            for (std::size_t from = 0; from <= text.size() + 1; ++from) {
                ASSERT_EQ(Find(text, find, from), TextView(text).find(find, from))
                    << "find " << find.size() << " units from " << from << " in " << text.size();
                if (!find.empty()) {
                    ASSERT_EQ(Find(text, find.front(), from), TextView(text).find(find.front(), from));
                }
            }
        }
    }
}

TEST(FindEquivalence, ReplaceInGivesWhatReplaceGives) {
    std::mt19937 random(23);
    for (int i = 0; i < 4000; ++i) {
        const Text text = RandomText(random, 60, u"ab)");
        const Text find = RandomText(random, 3, u"ab)");
        const Text with = RandomText(random, 4, u"abc");
        Text inPlace = text;
        ReplaceIn(inPlace, find, with);
        ASSERT_EQ(inPlace, Replace(text, find, with)) << "case " << i;
    }
}

TEST(FindEquivalence, ReplaceWhileCollapsesRunsAsRepeatedPassesDo) {
    std::mt19937 random(5);
    for (int i = 0; i < 2000; ++i) {
        const Text text = RandomText(random, 60, u"  ^^x");
        for (const TextView find : {TextView(u"  "), TextView(u"^^")}) {
            const TextView with = find.substr(1);
            Text expected = text;
            while (expected.find(find) != Text::npos) expected = Replace(expected, find, with);
            ASSERT_EQ(ReplaceWhile(text, find, with), expected);
        }
    }
}

}  // namespace
}  // namespace declshift
