// The packer: round trips through our depacker, and the sizes it reaches.
#include <gtest/gtest.h>

#include <random>

#include "aplib/aplib.h"
#include "vectors.h"

namespace aplib::testing {
namespace {

Bytes RoundTrip(const Bytes& data) {
    const Bytes block = PackSafe(data);
    Bytes out(data.size());
    const SafeResult r = SafeDepack(block, out);
    EXPECT_EQ(r.status, Status::ok) << StatusText(r.status);
    return out;
}

// Packs `data` as a raw stream and checks that it unpacks exactly; returns the stream.
Bytes PackAndCheck(const Bytes& data) {
    const Bytes raw = PackRaw(data);
    Bytes out(data.size());
    const RawResult r = DepackRaw(raw, out);
    EXPECT_EQ(r.status, Status::ok) << StatusText(r.status);
    EXPECT_EQ(r.consumed, raw.size());
    EXPECT_TRUE(out == data);
    return raw;
}

struct SizeCase {
    const char* name;
    std::size_t referenceRaw;  // raw stream size listed in the vectors' README
};

void PrintTo(const SizeCase& row, std::ostream* out) { *out << row.name; }

class VectorPackTest : public ::testing::TestWithParam<SizeCase> {};

// The reference sizes come from a packer with an optimal parse; ours must stay within 2%.
TEST_P(VectorPackTest, RoundTripsWithin2PercentOfReference) {
    const Bytes raw = PackAndCheck(ReadVector(std::string(GetParam().name) + ".bin"));
    EXPECT_LE(static_cast<double>(raw.size()), static_cast<double>(GetParam().referenceRaw) * 1.02)
        << "ours " << raw.size() << " reference " << GetParam().referenceRaw;
}

INSTANTIATE_TEST_SUITE_P(Vectors, VectorPackTest,
                         ::testing::Values(SizeCase{"text_100k", 28250}, SizeCase{"ls", 63757},
                                           SizeCase{"zeros_1m", 9}, SizeCase{"random_64k", 72319},
                                           SizeCase{"offsets", 328037}, SizeCase{"bigwin", 474820}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Pack, SmallVectorsRoundTrip) {
    for (const char* name : {"one", "two", "short_text", "ext_hello", "ext_fox"}) {
        const Bytes data = ReadVector(std::string(name) + ".bin");
        EXPECT_TRUE(RoundTrip(data) == data) << name;
    }
}

TEST(Pack, RefusesEmptyInput) {
    EXPECT_THROW(PackRaw({}), PackError);
    EXPECT_THROW(PackSafe({}), PackError);
}

TEST(Pack, WritesAHeaderTheSafeLayerAccepts) {
    const std::string text = "safe header, safe header, safe header";
    const Bytes data(text.begin(), text.end());
    const Bytes block = PackSafe(data);
    SafeHeader h;
    ASSERT_EQ(ReadSafeHeader(block, h), Status::ok);
    EXPECT_EQ(h.header_size, kSafeHeaderSize);
    EXPECT_EQ(h.packed_size, block.size() - kSafeHeaderSize);
    EXPECT_EQ(h.orig_size, data.size());
    EXPECT_EQ(h.orig_crc, Crc32(data));
    EXPECT_EQ(h.packed_crc, Crc32(std::span(block).subspan(kSafeHeaderSize)));
}

// Mixed data: runs, text-like repeats, noise, zeros; every prefix length is packed.
Bytes MixedData(std::size_t size, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes data;
    const std::string words[] = {"alpha ", "beta ", "gamma ", "delta\n", "epsilon ", "\0\0\0", "zz"};
    while (data.size() < size) {
        switch (rng() % 5) {
            case 0:
                data.insert(data.end(), rng() % 40, static_cast<std::uint8_t>(rng()));
                break;
            case 1: {
                const auto& w = words[rng() % 7];
                data.insert(data.end(), w.begin(), w.end());
                break;
            }
            case 2:
                for (auto n = rng() % 30; n; --n) data.push_back(static_cast<std::uint8_t>(rng()));
                break;
            default:
                if (data.size() > 8) {
                    const std::size_t off = 1 + rng() % std::min<std::size_t>(data.size(), 2000);
                    const std::size_t len = 2 + rng() % 60;
                    for (std::size_t i = 0; i < len; ++i) data.push_back(data[data.size() - off]);
                }
        }
    }
    data.resize(size);
    return data;
}

// Every length up to 2048, then every 37th up to 4096.
TEST(Pack, EveryLengthUpTo2048RoundTrips) {
    const Bytes all = MixedData(4096, 7);
    for (std::size_t n = 1; n <= all.size(); n += n < 2048 ? 1 : 37) {
        const Bytes data(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
        const Bytes raw = PackRaw(data);
        Bytes out(n);
        const RawResult r = DepackRaw(raw, out);
        ASSERT_EQ(r.status, Status::ok) << "length " << n << ": " << StatusText(r.status);
        ASSERT_EQ(r.consumed, raw.size()) << "length " << n;
        ASSERT_TRUE(out == data) << "length " << n;
    }
}

// Repeats at the distances where the coded length changes (128, 1280, 32000) and where
// the offset's high part grows a gamma bit, each with lengths around the shortest the
// format allows there.
struct BorderCase {
    std::uint32_t distance;
};

void PrintTo(const BorderCase& row, std::ostream* out) { *out << "distance " << row.distance; }

class OffsetBorderTest : public ::testing::TestWithParam<BorderCase> {};

TEST_P(OffsetBorderTest, RepeatsRoundTrip) {
    const std::uint32_t d = GetParam().distance;
    std::mt19937 rng(d);
    for (std::uint32_t len = 2; len <= 5; ++len) {
        Bytes data(d + len + 64);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        // The same `len` bytes at distance d, with noise around both copies.
        for (std::uint32_t i = 0; i < len; ++i) data[32 + d + i] = data[32 + i];
        EXPECT_TRUE(RoundTrip(data) == data) << "length " << len;
        // And a repeat of the match after one changed byte, at the same distance.
        Bytes twice(d + 2 * len + 80);
        for (auto& b : twice) b = static_cast<std::uint8_t>(rng());
        for (std::uint32_t i = 0; i < 2 * len + 1; ++i) twice[40 + d + i] = twice[40 + i];
        twice[40 + d + len] ^= 0x5A;
        EXPECT_TRUE(RoundTrip(twice) == twice) << "length " << len << " twice";
    }
}

INSTANTIATE_TEST_SUITE_P(Distances, OffsetBorderTest,
                         ::testing::Values(BorderCase{1}, BorderCase{2}, BorderCase{15}, BorderCase{16},
                                           BorderCase{127}, BorderCase{128}, BorderCase{129}, BorderCase{255},
                                           BorderCase{256}, BorderCase{511}, BorderCase{512},
                                           BorderCase{1279}, BorderCase{1280}, BorderCase{1281},
                                           BorderCase{31999}, BorderCase{32000}, BorderCase{32001},
                                           BorderCase{65535}, BorderCase{65536}, BorderCase{65537}),
                         [](const auto& row) { return "d" + std::to_string(row.param.distance); });

// Inputs above 32 KiB are linked in two halves joined at the middle and parsed in 8 KiB
// pieces on two threads: sizes around that threshold, with one block repeated so that
// matches, repeat matches and runs straddle the cuts.
struct SplitCase {
    std::size_t size;
    std::size_t period;  // distance of the repeats
};

void PrintTo(const SplitCase& row, std::ostream* out) { *out << row.size << " bytes, period " << row.period; }

class SplitPackTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPackTest, RoundTripsAcrossTheCut) {
    const SplitCase row = GetParam();
    const Bytes block = MixedData(row.period, 5);
    Bytes data;
    while (data.size() < row.size) {
        const std::size_t take = std::min(row.period, row.size - data.size());
        data.insert(data.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(take));
        if (data.size() < row.size)
            data.push_back(static_cast<std::uint8_t>(data.size()));  // breaks each repeat
    }
    PackAndCheck(data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SplitPackTest,
                         ::testing::Values(SplitCase{32768, 700}, SplitCase{32769, 700}, SplitCase{32770, 3},
                                           SplitCase{40000, 16390}, SplitCase{65537, 32768},
                                           SplitCase{100000, 49999}, SplitCase{100001, 97}),
                         [](const auto& row) {
                             return std::to_string(row.param.size) + "_" + std::to_string(row.param.period);
                         });

// A run of one byte long enough to cover whole pieces, which are then not parsed; the
// data after it must still come out, and the stream must not depend on which pieces the
// threads got to parse.
struct RunCase {
    std::size_t before;
    std::size_t run;
    std::size_t after;
};

void PrintTo(const RunCase& row, std::ostream* out) {
    *out << row.before << " + run " << row.run << " + " << row.after;
}

class RunPackTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunPackTest, RoundTrips) {
    const RunCase row = GetParam();
    Bytes data = MixedData(row.before, 11);
    data.insert(data.end(), row.run, std::uint8_t{0x90});
    const Bytes after = MixedData(row.after, 12);
    data.insert(data.end(), after.begin(), after.end());
    const Bytes first = PackAndCheck(data);
    for (int again = 0; again < 3; ++again) EXPECT_TRUE(PackRaw(data) == first) << "pack " << again + 2;
}

INSTANTIATE_TEST_SUITE_P(Runs, RunPackTest,
                         ::testing::Values(RunCase{1, 70000, 1}, RunCase{20000, 60000, 20000},
                                           RunCase{40000, 8192, 30000}, RunCase{5000, 200000, 0}),
                         [](const auto& row) {
                             return std::to_string(row.param.before) + "_" + std::to_string(row.param.run) +
                                    "_" + std::to_string(row.param.after);
                         });

// Long runs and long repeats cross the parser's settle points and its long-match shortcut.
TEST(Pack, LongStructuredInputsRoundTrip) {
    Bytes data;
    std::mt19937 rng(99);
    for (int part = 0; part < 12; ++part) {
        const Bytes piece = MixedData(20000 + rng() % 50000, static_cast<std::uint32_t>(rng()));
        data.insert(data.end(), piece.begin(), piece.end());
        data.insert(data.end(), rng() % 3000, static_cast<std::uint8_t>(part));
        const std::size_t off = 1 + rng() % data.size();
        const std::size_t len = rng() % 5000;
        for (std::size_t i = 0; i < len; ++i) data.push_back(data[data.size() - off]);
    }
    EXPECT_TRUE(RoundTrip(data) == data);
}

}  // namespace
}  // namespace aplib::testing
