// Both texts against a plain string under random edits: the same text, and the
// same answer to every search, after every edit.
#include "chunked_text.h"

#include <gtest/gtest.h>

#include <random>

namespace declshift {
namespace {

// Overlapping patterns, one overlapping itself, over a small alphabet, so that
// occurrences abound and run across the seams between chunks.
constexpr std::array<TextView, 5> kTestPatterns = {u"ab", u"b", u"abcab", u"\r\n", u"ca"};
constexpr TextView kAlphabet = u"abc\r\n";

Text RandomText(std::mt19937& random, std::size_t maxLength) {
    Text text(random() % (maxLength + 1), u' ');
    for (char16_t& c : text) c = kAlphabet[random() % kAlphabet.size()];
    return text;
}

template <typename Buffer>
void ExpectSameAnswers(const Buffer& buffer, const Text& model, std::mt19937& random) {
    ASSERT_EQ(buffer.Flatten(), model);
    ASSERT_EQ(buffer.size(), Len(model));
    for (std::size_t p = 0; p < kTestPatterns.size(); ++p) {
        const TextView pattern = kTestPatterns[p];
        ASSERT_EQ(buffer.Contains(p), model.find(pattern) != Text::npos);
        for (int probe = 0; probe < 4; ++probe) {
            const auto at = static_cast<std::int64_t>(random() % (model.size() + 2));
            const auto found = model.find(pattern, static_cast<std::size_t>(at));
            ASSERT_EQ(buffer.Find(p, at), found == Text::npos ? kNotFound : static_cast<std::int64_t>(found));
            const auto before = at == 0 ? Text::npos : model.rfind(pattern, static_cast<std::size_t>(at - 1));
            ASSERT_EQ(buffer.FindBefore(p, at),
                      before == Text::npos ? kNotFound : static_cast<std::int64_t>(before));
            if (at < Len(model)) {
                ASSERT_EQ(buffer.At(at), model[static_cast<std::size_t>(at)]);
            }
        }
    }
}

template <typename Buffer, typename... Mode>
void EditAtRandom(std::uint32_t seed, std::size_t maxLength, Mode... mode) {
    std::mt19937 random(seed);
    Text model = RandomText(random, maxLength);
    Buffer buffer(model, kTestPatterns, mode...);
    ExpectSameAnswers(buffer, model, random);
    for (int edit = 0; edit < 200; ++edit) {
        const auto pick = [&](std::size_t below) {
            return static_cast<std::int64_t>(random() % (below + 1));
        };
        switch (random() % 3) {
            case 0: {
                const std::int64_t pos = pick(model.size());
                const std::int64_t length = pick(model.size() - static_cast<std::size_t>(pos)) /
                                            static_cast<std::int64_t>(1 + random() % 8);
                // Long insertions now and then, none while the text is long.
                const bool grow = model.size() < 2 * maxLength;
                const Text with = RandomText(random, grow ? (random() % 4 == 0 ? 600 : 8) : 0);
                buffer.Splice(pos, length, with);
                model.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(length), with);
                break;
            }
            case 1: {
                std::array<std::int64_t, 3> at = {pick(model.size()), pick(model.size()), pick(model.size())};
                std::sort(at.begin(), at.end());
                buffer.Rotate(at[0], at[1], at[2]);
                std::rotate(model.begin() + at[0], model.begin() + at[1], model.begin() + at[2]);
                break;
            }
            default: {
                const std::size_t p = random() % kTestPatterns.size();
                const Text with = RandomText(random, 3);
                buffer.ReplaceEvery(p, with);
                model = Replace(model, kTestPatterns[p], with);
                break;
            }
        }
        ExpectSameAnswers(buffer, model, random);
    }
}

TEST(ChunkedText, AnswersAsOneStringUnderRandomEdits) {
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        EditAtRandom<ChunkedText>(seed, seed % 3 == 0 ? 40 : 2000, /*checked=*/true);
    }
}

TEST(FlatText, AnswersAsOneStringUnderRandomEdits) { EditAtRandom<FlatText>(99, 500); }

}  // namespace
}  // namespace declshift
