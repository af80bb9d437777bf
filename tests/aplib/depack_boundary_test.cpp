// The depacker's fast path hands tokens to its careful path near the end of the input,
// for long gamma codes and for output that does not fit. These tests put streams right
// on those borders and check the result against a plain bit-by-bit depacker: same
// status, same counts, same bytes, with buffers of exact size so that AddressSanitizer
// sees any access past them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "aplib/aplib.h"
#include "reference_depack.h"
#include "stream_writer.h"
#include "vectors.h"

namespace aplib::testing {
namespace {

// Unpacks `stream` (copied to a buffer of its exact size) into `capacity` bytes with both
// depackers and expects the same outcome.
void ExpectSameAsReference(const Bytes& stream, std::size_t capacity, const std::string& what) {
    auto in = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(stream.size(), 1));
    if (!stream.empty()) std::memcpy(in.get(), stream.data(), stream.size());
    auto out = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(capacity, 1));
    Bytes expected(capacity);
    const RawResult got = DepackRaw({in.get(), stream.size()}, {out.get(), capacity});
    const RawResult want = ReferenceDepack(stream, expected);
    ASSERT_EQ(got.status, want.status)
        << what << ": " << StatusText(got.status) << " / " << StatusText(want.status);
    ASSERT_EQ(got.produced, want.produced) << what;
    ASSERT_EQ(got.consumed, want.consumed) << what;
    ASSERT_TRUE(std::equal(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(want.produced),
                           out.get()))
        << what;
}

// Every output capacity up to one byte short, and every cut of the stream, within `span`
// of the end (everything for short streams), besides the exact fit.
void ExpectBordersAgree(const Bytes& stream, const Bytes& output, std::size_t span) {
    {
        Bytes out(output.size());
        const RawResult r = DepackRaw(stream, out);
        ASSERT_EQ(r.status, Status::ok) << StatusText(r.status);
        EXPECT_EQ(r.produced, output.size());
        EXPECT_EQ(r.consumed, stream.size());
        ASSERT_TRUE(out == output);
    }
    const std::size_t n = output.size();
    for (std::size_t cap = n > span ? n - span : 0; cap < n; ++cap) {
        ExpectSameAsReference(stream, cap, "capacity " + std::to_string(cap));
        if (::testing::Test::HasFatalFailure()) return;
    }
    for (std::size_t cut = stream.size() > span ? stream.size() - span : 0; cut < stream.size(); ++cut) {
        const Bytes part(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        ExpectSameAsReference(part, n, "cut at " + std::to_string(cut));
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// Hand-made streams on the fast path's borders.
struct BorderCase {
    const char* label;
    std::function<void(StreamWriter&)> tokens;  // after the first byte 'A'
};

void PrintTo(const BorderCase& row, std::ostream* out) { *out << row.label; }

class BorderStreamTest : public ::testing::TestWithParam<BorderCase> {};

TEST_P(BorderStreamTest, AgreesWithThePlainDepackerAtEveryBorder) {
    StreamWriter w('A');
    GetParam().tokens(w);
    w.End();
    ExpectBordersAgree(w.Stream(), w.Output(), 48);
}

// 251 different bytes, then a match that repeats them to `total` bytes.
void Pattern(StreamWriter& w, std::uint32_t total) {
    for (unsigned i = 1; i < 251; ++i) w.Literal(static_cast<std::uint8_t>(i * 7));
    w.Match(251, total - 251);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, BorderStreamTest,
    ::testing::Values(
        // Length codes of eight pairs are decoded in one step, longer ones bit by bit.
        BorderCase{"length_code_8_pairs", [](StreamWriter& w) { w.Match(1, 2 + 511); }},
        BorderCase{"length_code_9_pairs", [](StreamWriter& w) { w.Match(1, 2 + 512); }},
        BorderCase{"length_code_16_pairs", [](StreamWriter& w) { w.Match(1, 2 + 65535); }},
        BorderCase{"length_code_17_pairs", [](StreamWriter& w) { w.Match(1, 2 + 65536); }},
        // Offset codes: high part 508 (eight pairs after a literal) and 509 (nine).
        BorderCase{"offset_code_8_pairs",
                   [](StreamWriter& w) {
                       Pattern(w, 131000);
                       w.Literal('x');
                       w.Match(130303, 40);
                   }},
        BorderCase{"offset_code_9_pairs",
                   [](StreamWriter& w) {
                       Pattern(w, 131000);
                       w.Literal('x');
                       w.Match(130304, 40);
                   }},
        BorderCase{"offset_code_after_match",
                   [](StreamWriter& w) {
                       Pattern(w, 70000);
                       w.Match(65000, 5);
                       w.Match(300, 3);
                   }},
        // Every small offset with lengths around the 16- and 32-byte copy chunks.
        BorderCase{"small_offsets_all_lengths",
                   [](StreamWriter& w) {
                       for (unsigned i = 0; i < 20; ++i) w.Literal(static_cast<std::uint8_t>('a' + i));
                       for (std::uint32_t off = 1; off < 20; ++off) {
                           for (std::uint32_t len = 2; len < 70; ++len) {
                               if (len < 4) {
                                   w.ShortMatch(off, len);
                               } else {
                                   w.Match(off, len);
                               }
                               w.Literal(static_cast<std::uint8_t>(off + len));
                           }
                       }
                   }},
        // The last tokens are the careful decoder's: offset 32000 takes the second bonus.
        BorderCase{"offset_32000_at_the_end",
                   [](StreamWriter& w) {
                       Pattern(w, 32000);
                       w.Match(32000, 5);
                   }},
        BorderCase{"far_offsets_all_lengths",
                   [](StreamWriter& w) {
                       Pattern(w, 2000);
                       for (std::uint32_t len = 2; len < 100; ++len) {
                           w.Match(1000 + len,
                                   std::max<std::uint32_t>(len, 2 + StreamWriter::Bonus(1000 + len)));
                       }
                   }},
        BorderCase{"repeat_matches",
                   [](StreamWriter& w) {
                       Pattern(w, 600);
                       for (std::uint32_t len = 2; len < 60; ++len) {
                           w.Literal(static_cast<std::uint8_t>(len));
                           w.Repeat(len);
                       }
                   }},
        BorderCase{"short_literals_and_runs",
                   [](StreamWriter& w) {
                       for (unsigned i = 0; i < 300; ++i) {
                           if (i % 3 == 0) w.ShortLiteral(i % 16 <= w.Output().size() ? i % 16 : 0);
                           for (unsigned k = 0; k < i % 11; ++k) w.Literal(static_cast<std::uint8_t>(i + k));
                       }
                   }},
        BorderCase{"ends_right_after_long_match", [](StreamWriter& w) { w.Match(1, 100); }},
        BorderCase{"single_literal", [](StreamWriter& w) { w.Literal('B'); }}),
    [](const auto& row) { return std::string(row.param.label); });

// Streams from our packer: every length up to a few hundred bytes of several kinds of data,
// so that each kind of token lands on each border.
struct DataCase {
    const char* label;
    std::function<Bytes(std::size_t)> make;
};

void PrintTo(const DataCase& row, std::ostream* out) { *out << row.label; }

Bytes Text(std::size_t n) {
    static const std::string words =
        "the packed stream carries tag bits between its data bytes and the depacker reads them ";
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(words[(i * 7 + i / 13) % words.size()]);
    return b;
}

Bytes Random(std::size_t n) {
    std::mt19937 gen(static_cast<unsigned>(n));
    Bytes b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(gen());
    return b;
}

Bytes Runs(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>((i / 37) % 3 == 0 ? 0 : i / 37);
    return b;
}

Bytes Mixed(std::size_t n) {
    Bytes b = Random(n);
    const Bytes t = Text(n);
    for (std::size_t i = 0; i < n; ++i) {
        if ((i / 24) % 2 == 0) b[i] = t[i];
    }
    return b;
}

class PackedLengthTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(PackedLengthTest, EveryLengthAgreesWithThePlainDepackerAtTheBorders) {
    for (std::size_t n = 1; n <= 400; ++n) {
        const Bytes data = GetParam().make(n);
        const Bytes stream = PackRaw(data);
        SCOPED_TRACE("length " + std::to_string(n));
        ExpectBordersAgree(stream, data, 24);
        if (HasFatalFailure()) return;
    }
}

// Damaged streams: every byte of a packed stream changed in a few ways.
TEST_P(PackedLengthTest, DamagedStreamsAgreeWithThePlainDepacker) {
    const Bytes data = GetParam().make(1000);
    const Bytes stream = PackRaw(data);
    for (std::size_t at = 0; at < stream.size(); ++at) {
        for (const unsigned change : {0x01u, 0x80u, 0x24u}) {
            Bytes damaged = stream;
            damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ change);
            ExpectSameAsReference(damaged, data.size(), "byte " + std::to_string(at));
            if (HasFatalFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Data, PackedLengthTest,
                         ::testing::Values(DataCase{"text", Text}, DataCase{"random", Random},
                                           DataCase{"runs", Runs}, DataCase{"mixed", Mixed}),
                         [](const auto& row) { return std::string(row.param.label); });

// The shared vectors, cut and squeezed near their ends.
TEST(VectorBorders, TextAndExecutableAgreeWithThePlainDepacker) {
    for (const char* name : {"text_100k", "ls", "short_text", "ext_fox"}) {
        SCOPED_TRACE(name);
        ExpectBordersAgree(ReadVector(std::string(name) + ".apraw"), ReadVector(std::string(name) + ".bin"),
                           40);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace aplib::testing
