#include "identifiers.h"

#include <gtest/gtest.h>

#include <set>

#include "declshift.h"

namespace declshift {
namespace {

struct SafeCase {
    const char16_t* name;
    const char16_t* expected;
};

class SafeIdentifierTest : public ::testing::TestWithParam<SafeCase> {};

TEST_P(SafeIdentifierTest, RenamesOnlyWhatMustBeRenamed) {
    EXPECT_EQ(SafeIdentifier(GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Names, SafeIdentifierTest,
                         ::testing::Values(SafeCase{u"", u""}, SafeCase{u"x", u"x"}, SafeCase{u"9", u"_9"},
                                           SafeCase{u"9abc", u"_9abc"}, SafeCase{u"0x", u"_0x"},
                                           SafeCase{u"_abs", u"_abs"}, SafeCase{u"abs", u"_abs"},
                                           SafeCase{u"ABS", u"_ABS"}, SafeCase{u"Abs", u"Abs"},
                                           SafeCase{u"TOTAL", u"_TOTAL"}, SafeCase{u"total", u"_total"},
                                           SafeCase{u"Total", u"Total"}, SafeCase{u"ONE", u"_ONE"},
                                           SafeCase{u"INT32", u"_INT32"}, SafeCase{u"colorref", u"colorref"},
                                           SafeCase{u"COLORREF", u"_COLORREF"},
                                           SafeCase{u"COLOURS", u"_COLOURS"}, SafeCase{u" abs", u" abs"},
                                           SafeCase{u"widthX", u"_widthX"}, SafeCase{u"_9", u"_9"},
                                           SafeCase{u"\u00e9t\u00e9", u"\u00e9t\u00e9"}));

TEST(KeywordForms, HoldsTheFullListInLowerAndUpperCaseButColorOnlyUpper) {
    const auto& forms = KeywordForms();
    EXPECT_EQ(forms.size(), 179u);
    const std::set<Text> distinct(forms.begin(), forms.end());
    EXPECT_EQ(distinct.size(), 179u);
    EXPECT_TRUE(distinct.count(u"COLOR"));
    EXPECT_FALSE(distinct.count(u"color"));
    for (const char16_t* word : {u"colour", u"COLOUR", u"otherwise", u"RECTANGLE", u"width", u"ADVAL"}) {
        EXPECT_TRUE(distinct.count(word)) << std::string(Text(word).begin(), Text(word).end());
    }
}

struct PrefixCase {
    const char16_t* src;
    const char16_t* contains;
    bool expected;
};

class StartsWithTest : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(StartsWithTest, ComparesTheLeadingCodeUnits) {
    EXPECT_EQ(StartsWith(std::u16string(GetParam().src), std::u16string(GetParam().contains)),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Pairs, StartsWithTest,
                         ::testing::Values(PrefixCase{u"abc", u"", true}, PrefixCase{u"ab", u"abc", false},
                                           PrefixCase{u"ABC", u"abc", false},
                                           PrefixCase{u"abc", u"abc", true}, PrefixCase{u"", u"", true},
                                           PrefixCase{u"", u"a", false},
                                           PrefixCase{u"abcdef", u"abc", true}));

struct PredicateCase {
    const char* predicate;
    const char16_t* text;
    bool expected;
};

class PredicateTest : public ::testing::TestWithParam<PredicateCase> {};

TEST_P(PredicateTest, LooksOnlyAtTheBeginning) {
    const auto& c = GetParam();
    const std::string which = c.predicate;
    const bool actual = which == "IsLetter"        ? IsLetter(c.text)
                        : which == "IsUpperLetter" ? IsUpperLetter(c.text)
                        : which == "IsDigit"       ? IsDigit(c.text)
                                                   : LacksOperatorWord(c.text);
    EXPECT_EQ(actual, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, PredicateTest,
    ::testing::Values(
        PredicateCase{"IsLetter", u"", false}, PredicateCase{"IsLetter", u"Zebra", true},
        PredicateCase{"IsLetter", u"_", false}, PredicateCase{"IsLetter", u"[", false},
        PredicateCase{"IsLetter", u"`", false}, PredicateCase{"IsLetter", u"{", false},
        PredicateCase{"IsLetter", u"@", false}, PredicateCase{"IsLetter", u"\u00c4", false},
        PredicateCase{"IsUpperLetter", u"a", false}, PredicateCase{"IsUpperLetter", u"Q", true},
        PredicateCase{"IsUpperLetter", u"", false}, PredicateCase{"IsDigit", u"5", true},
        PredicateCase{"IsDigit", u"9x", true}, PredicateCase{"IsDigit", u"/", false},
        PredicateCase{"IsDigit", u":", false}, PredicateCase{"IsDigit", u"", false},
        PredicateCase{"LacksOperatorWord", u"NOT x", false},
        PredicateCase{"LacksOperatorWord", u"AND y", false},
        PredicateCase{"LacksOperatorWord", u"OR z", false}, PredicateCase{"LacksOperatorWord", u"NOTE", true},
        PredicateCase{"LacksOperatorWord", u"not x", true}, PredicateCase{"LacksOperatorWord", u"OR", true},
        PredicateCase{"LacksOperatorWord", u"ORx", true}, PredicateCase{"LacksOperatorWord", u"", true}));

}  // namespace
}  // namespace declshift
