// The depacker and the safe layer against the shared vectors and hand-made streams.
#include <gtest/gtest.h>

#include <cstring>

#include "aplib/aplib.h"
#include "vectors.h"

namespace aplib::testing {
namespace {

struct VectorCase {
    const char* name;  // path below the vector directory, without extension
};

void PrintTo(const VectorCase& row, std::ostream* out) { *out << row.name; }

class ValidVectorTest : public ::testing::TestWithParam<VectorCase> {};

TEST_P(ValidVectorTest, RawStreamUnpacksExactly) {
    const Bytes raw = ReadVector(std::string(GetParam().name) + ".apraw");
    const Bytes expected = ReadVector(std::string(GetParam().name) + ".bin");
    Bytes out(expected.size());
    const RawResult r = DepackRaw(raw, out);
    ASSERT_EQ(r.status, Status::ok) << StatusText(r.status);
    EXPECT_EQ(r.produced, expected.size());
    EXPECT_EQ(r.consumed, raw.size());  // the end marker is the stream's last byte
    EXPECT_TRUE(out == expected);
}

TEST_P(ValidVectorTest, RawStreamRejectsOneByteLessRoom) {
    const Bytes raw = ReadVector(std::string(GetParam().name) + ".apraw");
    const Bytes expected = ReadVector(std::string(GetParam().name) + ".bin");
    Bytes out(expected.size() - 1);
    EXPECT_EQ(DepackRaw(raw, out).status, Status::output_overflow);
}

TEST_P(ValidVectorTest, SafeBlockUnpacksExactly) {
    const Bytes block = ReadVector(std::string(GetParam().name) + ".aps");
    const Bytes expected = ReadVector(std::string(GetParam().name) + ".bin");
    EXPECT_EQ(SafeOrigSize(block), expected.size());
    Bytes out(expected.size() + 7, 0xEE);  // more room than needed is fine
    const SafeResult r = SafeDepack(block, out);
    ASSERT_EQ(r.status, Status::ok) << StatusText(r.status);
    EXPECT_EQ(r.size, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
}

TEST_P(ValidVectorTest, CCallsUnpackExactly) {
    const Bytes block = ReadVector(std::string(GetParam().name) + ".aps");
    const Bytes expected = ReadVector(std::string(GetParam().name) + ".bin");
    const unsigned int size = aPsafe_get_orig_size(block.data());
    ASSERT_EQ(size, expected.size());
    Bytes out(size);
    EXPECT_EQ(aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), out.data(), size), size);
    EXPECT_TRUE(out == expected);
}

TEST_P(ValidVectorTest, SafeHeaderCarriesOurCrcs) {
    const Bytes block = ReadVector(std::string(GetParam().name) + ".aps");
    const Bytes raw = ReadVector(std::string(GetParam().name) + ".apraw");
    const Bytes orig = ReadVector(std::string(GetParam().name) + ".bin");
    SafeHeader h;
    ASSERT_EQ(ReadSafeHeader(block, h), Status::ok);
    EXPECT_EQ(h.packed_crc, Crc32(raw));
    EXPECT_EQ(h.orig_crc, Crc32(orig));
}

INSTANTIATE_TEST_SUITE_P(Vectors, ValidVectorTest,
                         ::testing::Values(VectorCase{"one"}, VectorCase{"two"}, VectorCase{"short_text"},
                                           VectorCase{"text_100k"}, VectorCase{"ls"}, VectorCase{"zeros_1m"},
                                           VectorCase{"random_64k"}, VectorCase{"offsets"},
                                           VectorCase{"bigwin"}, VectorCase{"ext_hello"},
                                           VectorCase{"ext_fox"}, VectorCase{"edge/eod01"},
                                           VectorCase{"edge/hdr32"}),
                         [](const auto& row) {
                             std::string name = row.param.name;
                             for (auto& c : name) {
                                 if (c == '/') c = '_';
                             }
                             return name;
                         });

// Damaged safe blocks: all made from short_text.aps (175 bytes unpacked).
struct BadBlockCase {
    const char* file;
    std::size_t dstlen;
    bool sizeReadable;  // get-original-size still answers
    Status expected;
};

void PrintTo(const BadBlockCase& row, std::ostream* out) { *out << row.file << " dstlen " << row.dstlen; }

class BadBlockTest : public ::testing::TestWithParam<BadBlockCase> {};

TEST_P(BadBlockTest, IsRejected) {
    const auto& c = GetParam();
    const Bytes block = ReadVector(std::string("bad/") + c.file);
    Bytes out(c.dstlen);
    const SafeResult r = SafeDepack(block, out);
    EXPECT_EQ(r.status, c.expected) << StatusText(r.status);
    EXPECT_EQ(r.size, kError);
    EXPECT_EQ(SafeOrigSize(block) != kError, c.sizeReadable);
    EXPECT_EQ(aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), out.data(),
                            static_cast<unsigned int>(out.size())),
              kError);
    if (block.size() >= kSafeHeaderSize) {
        EXPECT_EQ(aPsafe_get_orig_size(block.data()) != kError, c.sizeReadable);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, BadBlockTest,
    ::testing::Values(BadBlockCase{"bad_tag.aps", 175, false, Status::bad_tag},
                      BadBlockCase{"bad_hdrsize.aps", 175, false, Status::bad_header_size},
                      BadBlockCase{"short_header.aps", 175, false, Status::short_header},
                      BadBlockCase{"truncated.aps", 175, true, Status::bad_packed_size},
                      BadBlockCase{"packed_size_too_big.aps", 175, true, Status::bad_packed_size},
                      BadBlockCase{"bad_packed_crc.aps", 175, true, Status::bad_packed_crc},
                      BadBlockCase{"bad_orig_size.aps", 175, true, Status::bad_orig_size},
                      BadBlockCase{"bad_orig_size.aps", 176, true, Status::size_mismatch},
                      BadBlockCase{"bad_orig_crc.aps", 175, true, Status::bad_orig_crc}));

// Raw streams that must be rejected: the shared ones and hand-made ones.
struct BadStreamCase {
    const char* label;
    Bytes stream;
    std::size_t dstlen;
    Status expected;
};

void PrintTo(const BadStreamCase& row, std::ostream* out) { *out << row.label; }

class BadStreamTest : public ::testing::TestWithParam<BadStreamCase> {};

TEST_P(BadStreamTest, IsRejected) {
    const auto& c = GetParam();
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    auto stream = std::make_unique<std::uint8_t[]>(c.stream.size());
    if (!c.stream.empty()) std::memcpy(stream.get(), c.stream.data(), c.stream.size());
    auto out = std::make_unique<std::uint8_t[]>(c.dstlen);
    const RawResult r = DepackRaw({stream.get(), c.stream.size()}, {out.get(), c.dstlen});
    EXPECT_EQ(r.status, c.expected) << StatusText(r.status);
    EXPECT_LE(r.consumed, c.stream.size());
    EXPECT_LE(r.produced, c.dstlen);
}

Bytes Vector(const char* relative) { return ReadVector(relative); }

INSTANTIATE_TEST_SUITE_P(
    Streams, BadStreamTest,
    ::testing::Values(
        BadStreamCase{"raw_empty", Vector("bad/raw_empty.apraw"), 16, Status::truncated},
        BadStreamCase{"raw_truncated", Vector("bad/raw_truncated.apraw"), 102400, Status::truncated},
        BadStreamCase{"offset_too_far", Vector("bad/offset_too_far.apraw"), 16, Status::offset_too_far},
        BadStreamCase{"rep_before_match", Vector("bad/rep_before_match.apraw"), 16, Status::rep_before_match},
        // 'A', 10 gamma(3) (high part 0 after a literal), offset byte 0, gamma(2): offset 0.
        BadStreamCase{"zero_offset", {0x41, 0xA0, 0x00, 0x00}, 16, Status::zero_offset},
        // 'A', tag 10 then gamma continuing with 1 bits for 33 steps: overflows 32 bits.
        BadStreamCase{"gamma_overflow",
                      {0x41, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                      16,
                      Status::gamma_overflow},
        // 'A', short literal with offset 2 after one byte.
        BadStreamCase{"short_literal_too_far", {0x41, 0xE4, 0x00}, 16, Status::offset_too_far},
        // 'A' then literal 'B' with no room for it.
        BadStreamCase{"literal_past_output", {0x41, 0x00, 0x42, 0x00}, 1, Status::output_overflow},
        // 'A', literal 'B', short match offset 1 length 3 into room for 4.
        BadStreamCase{"match_past_output", {0x41, 0x60, 0x42, 0x03, 0x00}, 4, Status::output_overflow},
        BadStreamCase{"no_room_at_all", {0x41, 0xC0, 0x00}, 0, Status::output_overflow},
        BadStreamCase{"tag_missing", {0x41}, 16, Status::truncated},
        BadStreamCase{"short_match_byte_missing", {0x41, 0xC0}, 16, Status::truncated},
        BadStreamCase{"offset_byte_missing", {0x41, 0xA0}, 16, Status::truncated},
        BadStreamCase{"literal_byte_missing", {0x41, 0x00}, 16, Status::truncated},
        // 'A', match with high part 0 and offset byte 1, its length gamma cut off midway.
        BadStreamCase{"gamma_cut", {0x41, 0xA5, 0x01}, 16, Status::truncated}));

// Hand-made valid streams for the corners of the format.
struct GoodStreamCase {
    const char* label;
    Bytes stream;
    std::string expected;
};

void PrintTo(const GoodStreamCase& row, std::ostream* out) { *out << row.label; }

class GoodStreamTest : public ::testing::TestWithParam<GoodStreamCase> {};

TEST_P(GoodStreamTest, Unpacks) {
    const auto& c = GetParam();
    Bytes out(c.expected.size());
    const RawResult r = DepackRaw(c.stream, out);
    ASSERT_EQ(r.status, Status::ok) << StatusText(r.status);
    EXPECT_EQ(std::string(out.begin(), out.end()), c.expected);
    EXPECT_EQ(r.consumed, c.stream.size());
}

INSTANTIATE_TEST_SUITE_P(
    Streams, GoodStreamTest,
    ::testing::Values(
        GoodStreamCase{"end_marker_00", {0x41, 0xC0, 0x00}, "A"},
        GoodStreamCase{"end_marker_01", {0x41, 0xC0, 0x01}, "A"},
        // 'A', short literal offset 1, short literal offset 0 (a zero byte), end.
        GoodStreamCase{"short_literals", {0x41, 0xE3, 0xC3, 0x00, 0x00}, std::string("AA\0", 3)},
        // 'A', literal 'B', short match offset 2 length 3, end.
        GoodStreamCase{"short_match", {0x41, 0x6C, 0x42, 0x05, 0x00}, "ABABA"},
        // 'A', literal 'B', match with gamma(3) (high part 0 after a literal), offset byte 2
        // and gamma(2) (+2 below offset 128: 4 bytes), literal 'C', repeat match of 2, end.
        GoodStreamCase{"repeat_match", {0x41, 0x50, 0x42, 0x02, 0x43, 0x83, 0x00, 0x00}, "ABABABCBC"},
        // After a match, gamma(2) is no repeat match but high part 0: 'A', literal 'B',
        // short match offset 2 length 2, match offset 1 (+2: length 4), end.
        GoodStreamCase{"high_part_after_match", {0x41, 0x68, 0x42, 0x04, 0x01, 0x30, 0x00}, "ABABBBBB"}));

TEST(SafeLayer, ReadsTheSizeOnlyFromAWholeHeader) {
    const Bytes block = ReadVector("short_text.aps");
    EXPECT_EQ(SafeOrigSize(std::span(block).first(23)), kError);
    EXPECT_EQ(SafeOrigSize(std::span(block).first(24)), 175u);
}

TEST(SafeLayer, RejectsAHeaderSizeBeyondTheBlock) {
    Bytes block = ReadVector("short_text.aps");
    block[4] = static_cast<std::uint8_t>(block.size() + 1);
    Bytes out(175);
    EXPECT_EQ(SafeDepack(block, out).status, Status::bad_header_size);
}

TEST(SafeLayer, CCallsRejectNullPointers) {
    const Bytes block = ReadVector("short_text.aps");
    Bytes out(175);
    EXPECT_EQ(aPsafe_get_orig_size(nullptr), kError);
    EXPECT_EQ(aPsafe_depack(nullptr, 10, out.data(), 175), kError);
    EXPECT_EQ(aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), nullptr, 175), kError);
}

TEST(Crc32, KnownValues) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
    EXPECT_EQ(Crc32({}), 0u);
    // Piecewise equals whole, across the eight-byte steps.
    const std::string text = "The quick brown fox jumps over the lazy dog";
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        EXPECT_EQ(Crc32({p + cut, text.size() - cut}, Crc32({p, cut})), 0x414FA339u) << cut;
    }
}

}  // namespace
}  // namespace aplib::testing
