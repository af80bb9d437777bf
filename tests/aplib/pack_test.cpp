// The packer: round trips through our depacker, the sizes it reaches, and a stream that
// is the same on every run.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "aplib/aplib.h"
#include "vectors.h"

namespace aplib::testing {
namespace {

// Packs `data` as a safe block and checks that it unpacks exactly; returns the raw stream.
Bytes PackAndCheck(const Bytes& data) {
    const Bytes block = PackSafe(data);
    SafeHeader h;
    EXPECT_EQ(ReadSafeHeader(block, h), Status::kOk);
    EXPECT_EQ(h.header_size, kSafeHeaderSize);
    EXPECT_EQ(h.packed_size, block.size() - kSafeHeaderSize);
    Output out;
    const SafeResult r = SafeDepack(block, out, data.size());
    EXPECT_EQ(r.status, Status::kOk) << StatusText(r.status);
    EXPECT_TRUE(std::ranges::equal(out.Bytes(), data));
    return Bytes(block.begin() + kSafeHeaderSize, block.end());
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
                         ::testing::Values(SizeCase{"one", 3}, SizeCase{"two", 4}, SizeCase{"short_text", 80},
                                           SizeCase{"ext_hello", 13}, SizeCase{"ext_fox", 46},
                                           SizeCase{"text_100k", 28250}, SizeCase{"ls", 63757},
                                           SizeCase{"zeros_1m", 9}, SizeCase{"random_64k", 72319},
                                           SizeCase{"offsets", 328037}, SizeCase{"bigwin", 474820}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(Pack, RefusesEmptyInput) {
    EXPECT_THROW(PackRaw({}), PackError);
    EXPECT_THROW(PackSafe({}), PackError);
}

// Mixed data: runs, text-like repeats, noise, zeros.
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
        ASSERT_EQ(r.status, Status::kOk) << "length " << n << ": " << StatusText(r.status);
        ASSERT_EQ(r.consumed, raw.size()) << "length " << n;
        ASSERT_TRUE(out == data) << "length " << n;
    }
}

// Repeats at the distances where the coded length changes (128, 1280, 32000) and where
// the offset's high part grows a gamma bit, each with lengths around the shortest the
// format allows there, once alone and once repeated after a changed byte.
class OffsetBorderTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(OffsetBorderTest, RepeatsRoundTrip) {
    const std::uint32_t d = GetParam();
    std::mt19937 rng(d);
    for (std::uint32_t len = 2; len <= 5; ++len) {
        Bytes twice(d + 2 * len + 80);
        for (auto& b : twice) b = static_cast<std::uint8_t>(rng());
        for (std::uint32_t i = 0; i < 2 * len + 1; ++i) twice[40 + d + i] = twice[40 + i];
        const Bytes once(twice.begin(), twice.begin() + 40 + d + len);
        twice[40 + d + len] ^= 0x5A;
        PackAndCheck(once);
        PackAndCheck(twice);
    }
}

INSTANTIATE_TEST_SUITE_P(Distances, OffsetBorderTest,
                         ::testing::Values(1, 2, 15, 16, 127, 128, 129, 255, 256, 511, 512, 1279, 1280, 1281,
                                           31999, 32000, 32001, 65535, 65536, 65537),
                         [](const auto& row) { return "d" + std::to_string(row.param); });

// Inputs above 32 KiB are linked block by block and parsed in pieces on two threads:
// sizes around those borders, repeats that straddle them, runs long enough to cover
// whole pieces (which are then not parsed), and more than the window. Every one is
// packed three times to the same bytes.
struct LargeCase {
    const char* label;
    std::function<Bytes()> make;
};

void PrintTo(const LargeCase& row, std::ostream* out) { *out << row.label; }

// `size` bytes of `period`-byte blocks, each repeat broken by one byte.
Bytes Periodic(std::size_t size, std::size_t period) {
    const Bytes block = MixedData(period, 5);
    Bytes data;
    while (data.size() < size) {
        const std::size_t take = std::min(period, size - data.size());
        data.insert(data.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(take));
        if (data.size() < size) data.push_back(static_cast<std::uint8_t>(data.size()));
    }
    return data;
}

Bytes Run(std::size_t before, std::size_t run, std::size_t after) {
    Bytes data = MixedData(before, 11);
    data.insert(data.end(), run, std::uint8_t{0x90});
    const Bytes tail = MixedData(after, 12);
    data.insert(data.end(), tail.begin(), tail.end());
    return data;
}

class LargePackTest : public ::testing::TestWithParam<LargeCase> {};

TEST_P(LargePackTest, RoundTripsToTheSameBytesEveryTime) {
    const Bytes data = GetParam().make();
    const Bytes first = PackAndCheck(data);
    for (int again = 0; again < 2; ++again) EXPECT_TRUE(PackRaw(data) == first) << "pack " << again + 2;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, LargePackTest,
    ::testing::Values(LargeCase{"split_32768", [] { return Periodic(32768, 700); }},
                      LargeCase{"split_32769", [] { return Periodic(32769, 700); }},
                      LargeCase{"period_3", [] { return Periodic(32770, 3); }},
                      LargeCase{"period_16390", [] { return Periodic(40000, 16390); }},
                      LargeCase{"period_49999", [] { return Periodic(100000, 49999); }},
                      LargeCase{"blocks_period_97", [] { return Periodic(600001, 97); }},
                      LargeCase{"blocks_period_262143", [] { return Periodic(800000, 262143); }},
                      LargeCase{"run_over_pieces", [] { return Run(1, 70000, 1); }},
                      LargeCase{"run_in_the_middle", [] { return Run(20000, 60000, 20000); }},
                      LargeCase{"run_at_a_piece", [] { return Run(40000, 8192, 30000); }},
                      LargeCase{"run_to_the_end", [] { return Run(5000, 600000, 0); }},
                      // Pieces that join inside a token: a repeat match after the join may
                      // name an offset that is not the one in force there.
                      LargeCase{"mixed_joins", [] { return MixedData(300000, 2); }},
                      // More than the chains' ring holds: its entries are reused.
                      LargeCase{"ring_reused", [] { return Periodic(5u << 20, 300007); }}),
    [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace aplib::testing
