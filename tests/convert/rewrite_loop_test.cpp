// The in-place rewrite loop must give exactly what whole-text rebuilds give: the
// same text, the same failures, and the same text left behind by a failure.
#include "rewrite_loop.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "rewrite_loop_reference.h"

namespace declshift {
namespace {

struct Outcome {
    bool failed = false;
    Text text;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    out << (o.failed ? "failed, left " : "converted to ") << '"';
    for (const char16_t c : o.text) {
        if (c == u'\r') {
            out << "\\r";
        } else if (c == u'\n') {
            out << "\\n";
        } else {
            out << static_cast<char>(c < 128 ? c : '?');
        }
    }
    return out << '"';
}

template <typename Rewrite>
Outcome Run(Text text, Rewrite rewrite) {
    Outcome outcome;
    try {
        rewrite(text);
    } catch (const ConversionFailure&) {
        outcome.failed = true;
    }
    outcome.text = text;
    return outcome;
}

// Checked chunks verify all counts after every edit: thorough, and slow on long texts.
void ExpectSameAsReference(const Text& input, RewriteStorage chunks = RewriteStorage::kCheckedChunks) {
    const Outcome expected = Run(input, [](Text& t) { RewriteByRefAndTypesLiterally(t); });
    EXPECT_EQ(Run(input, [](Text& t) { RewriteByRefAndTypes(t, RewriteStorage::kOneString); }), expected)
        << "one string, input " << Outcome{false, input};
    EXPECT_EQ(Run(input, [&](Text& t) { RewriteByRefAndTypes(t, chunks); }), expected)
        << "chunks, input " << Outcome{false, input};
}

// Pieces that the passes react to, and some filler.
const std::vector<Text> kTokens = {u"ByRef ",      u" As ",       u" as ",   u" As As ", u"As",
                                   u" ",           u"  ",         u":REM",   u":",       u"REM",
                                   u"\\",          u")",          u"(",      u",",       u", \\\r\n\\   ",
                                   u"\r\n",        u"\r",         u"\n",     u"x",       u"lpRect",
                                   u"RECT",        u"Long",       u"A",      u"s",       u"a",
                                   u"By",          u"Ref",        u"%",      u"$",       u"^",
                                   u" Pointer to", u":REM Type ", u"returns"};

Text RandomText(std::mt19937& random, std::size_t tokens, std::size_t fillerEvery) {
    std::uniform_int_distribution<std::size_t> pick(0, kTokens.size() - 1);
    std::uniform_int_distribution<std::size_t> fillerLength(0, 40);
    Text text = u"(";
    for (std::size_t i = 0; i < tokens; ++i) {
        text += kTokens[pick(random)];
        if (fillerEvery != 0 && i % fillerEvery == 0) text += Text(fillerLength(random), u'x');
    }
    return text;
}

TEST(RewriteLoopEquivalence, ShortRandomTexts) {
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::size_t> count(1, 60);
    for (int i = 0; i < 2500; ++i) ExpectSameAsReference(RandomText(random, count(random), 0));
}

TEST(RewriteLoopEquivalence, RandomTextsAcrossManyChunks) {
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> count(30, 150);
    for (int i = 0; i < 150; ++i) ExpectSameAsReference(RandomText(random, count(random), 3));
    std::uniform_int_distribution<std::size_t> more(150, 400);
    for (int i = 0; i < 150; ++i)
        ExpectSameAsReference(RandomText(random, more(random), 3), RewriteStorage::kChunks);
}

TEST(RewriteLoopEquivalence, LongTextsBeyondTheShortForm) {
    std::mt19937 random(99);
    for (int i = 0; i < 12; ++i) {
        Text text = RandomText(random, 400, 1);
        EXPECT_GT(text.size(), 4096u);
        ExpectSameAsReference(text, RewriteStorage::kByLength);
    }
}

Text Repeat(TextView unit, std::size_t times) {
    Text out;
    for (std::size_t i = 0; i < times; ++i) out += unit;
    return out;
}

// Shapes that make many passes: each must come out exactly as the reference's.
TEST(RewriteLoopEquivalence, ManyPassShapes) {
    const Text comma = u", \\\r\n\\   ";
    for (const Text& text : {
             u"(" + Repeat(u" ByRef lpRect As RECT" + comma, 200) + u" x%) As Long",
             u"(" + Repeat(u" p As T" + comma, 250) + u" z%)",
             u" (x" + Repeat(u" As A", 500) + u")",
             u" (a" + Repeat(u" As B)", 400) + u")",
             u" (x" + Repeat(u" as", 1000) + u" As A)",
             u" (x" + Repeat(u" As", 1000) + u" A)",
             u"(" + Repeat(u"ByRef ", 1000) + u"x%)",
             u"(" + Repeat(u"ByRef x" + comma, 300) + u"ByRef y%) As Long",
             u"(" + Repeat(u"x As ", 700) + u"y",
             Repeat(u"x As A:REM", 400) + u")",
         }) {
        ExpectSameAsReference(text, RewriteStorage::kChunks);
    }
}

// The parameter texts of the real declarations, laid out as BuildParamList does.
TEST(RewriteLoopEquivalence, CorpusDeclarations) {
    std::ifstream corpus(std::string(TARNWICK_SHARED_DIR) + "/corpus/win32api.txt", std::ios::binary);
    if (!corpus) GTEST_SKIP() << "corpus not found";
    std::string line;
    int seen = 0;
    while (std::getline(corpus, line)) {
        if (line.find("Declare ") == std::string::npos) continue;
        const auto open = line.find('(');
        if (open == std::string::npos) continue;
        std::string params = line.substr(open);
        while (!params.empty() && (params.back() == '\r' || params.back() == '\n')) params.pop_back();
        const Text text = Replace(Text(params.begin(), params.end()), u",", u", \\\r\n\\   ");
        ExpectSameAsReference(text, RewriteStorage::kChunks);
        ExpectSameAsReference(u" " + text, RewriteStorage::kChunks);
        ++seen;
    }
    EXPECT_GT(seen, 1000);
}

}  // namespace
}  // namespace declshift
