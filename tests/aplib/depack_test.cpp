// The depacker and the safe layer against the shared vectors and hand-made streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "aplib/aplib.h"
#include "vectors.h"

namespace aplib::testing {
namespace {

// Every valid vector through every entry point: the raw stream with exact and short
// room, the safe block into a caller buffer, into growing output and through the C calls.
class ValidVectorTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ValidVectorTest, UnpacksExactlyThroughEveryEntryPoint) {
    const std::string name = GetParam();
    const Bytes raw = ReadVector(name + ".apraw");
    const Bytes block = ReadVector(name + ".aps");
    const Bytes expected = ReadVector(name + ".bin");

    Bytes out(expected.size());
    const RawResult r = DepackRaw(raw, out);
    ASSERT_EQ(r.status, Status::kOk) << StatusText(r.status);
    EXPECT_EQ(r.produced, expected.size());
    EXPECT_EQ(r.consumed, raw.size());  // the end marker is the stream's last byte
    EXPECT_TRUE(out == expected);
    out.pop_back();
    EXPECT_EQ(DepackRaw(raw, out).status, Status::kOutputOverflow);

    Bytes roomy(expected.size() + 7, 0xEE);  // more room than needed is fine
    EXPECT_EQ(SafeDepack(block, roomy).size, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), roomy.begin()));

    Output grown;
    EXPECT_EQ(SafeDepack(block, grown, expected.size()).size, expected.size());
    EXPECT_TRUE(std::ranges::equal(grown.Bytes(), expected));

    const unsigned int size = aPsafe_get_orig_size(block.data());
    ASSERT_EQ(size, expected.size());
    EXPECT_EQ(aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), out.data(), size - 1),
              kError);
    out.push_back(0);
    EXPECT_EQ(aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), out.data(), size), size);
    EXPECT_TRUE(out == expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, ValidVectorTest,
                         ::testing::Values("one", "two", "short_text", "text_100k", "ls", "zeros_1m",
                                           "random_64k", "offsets", "bigwin", "ext_hello", "ext_fox",
                                           "edge/eod01", "edge/hdr32"),
                         [](const auto& row) {
                             std::string name = row.param;
                             std::replace(name.begin(), name.end(), '/', '_');
                             return name;
                         });

// Damaged safe blocks, made from short_text.aps (175 bytes unpacked) or bigwin.aps by
// changing their headers here; `room` 0 unpacks into growing output with the format's limit.
struct BadBlockCase {
    const char* label;
    const char* file;     // below bad/, or a valid block for the changes below
    std::size_t at;       // header byte changed...
    std::uint32_t value;  // ...to this 32-bit value (at 0: no change)
    std::size_t room;     // capacity of the output; 0: growing output
    bool sizeReadable;    // get-original-size still answers
    Status expected;
    const char* explained;  // part of what Explain says
};

void PrintTo(const BadBlockCase& row, std::ostream* out) { *out << row.label; }

class BadBlockTest : public ::testing::TestWithParam<BadBlockCase> {};

TEST_P(BadBlockTest, IsRejectedWithItsReason) {
    const auto& c = GetParam();
    Bytes block = ReadVector(std::string(c.file));
    if (c.at != 0) format::StoreLe32(&block[c.at], c.value);
    SafeResult r;
    if (c.room == 0) {
        Output out;
        r = SafeDepack(block, out, format::kMaxOrigSize);
        // Room grows with what the stream produces, from 1 MiB, whatever the header claims.
        EXPECT_LE(out.Room().size(), std::max<std::size_t>(2 * r.produced, std::size_t{1} << 20));
    } else {
        Bytes out(c.room);
        r = SafeDepack(block, out);
        EXPECT_EQ(aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), out.data(),
                                static_cast<unsigned int>(out.size())),
                  kError);
    }
    EXPECT_EQ(r.status, c.expected) << StatusText(r.status);
    EXPECT_EQ(r.size, kError);
    EXPECT_NE(Explain(r, c.room == 0 ? format::kMaxOrigSize : c.room).find(c.explained), std::string::npos)
        << Explain(r, c.room);
    EXPECT_EQ(SafeOrigSize(block) != kError, c.sizeReadable);
    if (block.size() >= kSafeHeaderSize) {
        EXPECT_EQ(aPsafe_get_orig_size(block.data()) != kError, c.sizeReadable);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, BadBlockTest,
    ::testing::Values(
        BadBlockCase{"tag", "bad/bad_tag.aps", 0, 0, 175, false, Status::kBadTag, "tag AP32"},
        BadBlockCase{"header_size", "bad/bad_hdrsize.aps", 0, 0, 175, false, Status::kBadHeaderSize,
                     "header size"},
        BadBlockCase{"header_size_beyond_block", "short_text.aps", format::kHeaderSizeAt, 200, 175, true,
                     Status::kBadHeaderSize, "header size"},
        BadBlockCase{"short_header", "bad/short_header.aps", 0, 0, 175, false, Status::kShortHeader,
                     "shorter"},
        BadBlockCase{"truncated", "bad/truncated.aps", 0, 0, 175, true, Status::kBadPackedSize,
                     "packed size"},
        BadBlockCase{"packed_size", "bad/packed_size_too_big.aps", 0, 0, 175, true, Status::kBadPackedSize,
                     "packed size"},
        BadBlockCase{"packed_crc", "bad/bad_packed_crc.aps", 0, 0, 175, true, Status::kBadPackedCrc, "CRC"},
        BadBlockCase{"orig_size_over_room", "bad/bad_orig_size.aps", 0, 0, 175, true, Status::kBadOrigSize,
                     "records an original size of 176 bytes; the limit is 175"},
        BadBlockCase{"orig_size_one_more", "bad/bad_orig_size.aps", 0, 0, 176, true, Status::kSizeMismatch,
                     "ends after 175 bytes; the header records 176"},
        BadBlockCase{"orig_crc", "bad/bad_orig_crc.aps", 0, 0, 175, true, Status::kBadOrigCrc, "CRC"},
        // Headers that lie about the size, unpacked into growing output.
        BadBlockCase{"claims_2_gib", "short_text.aps", format::kOrigSizeAt, 0x7FFFFFFF, 0, true,
                     Status::kSizeMismatch, "ends after 175 bytes; the header records 2147483647"},
        BadBlockCase{"claims_4_gib", "short_text.aps", format::kOrigSizeAt, 0xFFFFFFFF, 0, false,
                     Status::kBadOrigSize,
                     "records an original size of 4294967295 bytes; the limit is 2147483647"},
        BadBlockCase{"claims_less", "short_text.aps", format::kOrigSizeAt, 100, 0, true,
                     Status::kOutputOverflow, "runs on past the 100 bytes the header records"},
        BadBlockCase{"claims_nothing", "short_text.aps", format::kOrigSizeAt, 0, 0, true,
                     Status::kOutputOverflow, "past the 0 bytes"},
        // 1.1 MB that claims a byte over 1 MiB: the output grows once, and no further.
        BadBlockCase{"claims_less_after_growing", "bigwin.aps", format::kOrigSizeAt, 1048577, 0, true,
                     Status::kOutputOverflow, "runs on past the 1048577 bytes"}),
    [](const auto& row) { return std::string(row.param.label); });

// Hand-made raw streams, valid and not, with exact-size buffers so that AddressSanitizer
// sees any access past them.
struct StreamCase {
    const char* label;
    Bytes stream;
    std::size_t room;
    Status expected;
    std::string output;  // what a valid stream unpacks to
};

void PrintTo(const StreamCase& row, std::ostream* out) { *out << row.label; }

class StreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamTest, UnpacksOrIsRejected) {
    const auto& c = GetParam();
    auto stream = std::make_unique<std::uint8_t[]>(c.stream.size());
    if (!c.stream.empty()) std::memcpy(stream.get(), c.stream.data(), c.stream.size());
    auto out = std::make_unique<std::uint8_t[]>(c.room);
    const RawResult r = DepackRaw({stream.get(), c.stream.size()}, {out.get(), c.room});
    EXPECT_EQ(r.status, c.expected) << StatusText(r.status);
    EXPECT_LE(r.consumed, c.stream.size());
    EXPECT_LE(r.produced, c.room);
    if (c.expected == Status::kOk) {
        EXPECT_EQ(std::string(out.get(), out.get() + r.produced), c.output);
        EXPECT_EQ(r.consumed, c.stream.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamTest,
    ::testing::Values(
        StreamCase{"raw_empty", ReadVector("bad/raw_empty.apraw"), 16, Status::kTruncated, ""},
        StreamCase{"raw_truncated", ReadVector("bad/raw_truncated.apraw"), 102400, Status::kTruncated, ""},
        StreamCase{"offset_too_far", ReadVector("bad/offset_too_far.apraw"), 16, Status::kOffsetTooFar, ""},
        StreamCase{"rep_before_match", ReadVector("bad/rep_before_match.apraw"), 16, Status::kRepBeforeMatch,
                   ""},
        // 'A', 10 gamma(3) (high part 0 after a literal), offset byte 0, gamma(2): offset 0.
        StreamCase{"zero_offset", {0x41, 0xA0, 0x00, 0x00}, 16, Status::kZeroOffset, ""},
        // 'A', tag 10 then gamma continuing with 1 bits for 33 steps: overflows 32 bits.
        StreamCase{"gamma_overflow",
                   {0x41, 0xBF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                   16,
                   Status::kGammaOverflow,
                   ""},
        StreamCase{"short_literal_too_far", {0x41, 0xE4, 0x00}, 16, Status::kOffsetTooFar, ""},
        StreamCase{"literal_past_output", {0x41, 0x00, 0x42, 0x00}, 1, Status::kOutputOverflow, ""},
        // 'A', literal 'B', short match offset 1 length 3 into room for 4.
        StreamCase{"match_past_output", {0x41, 0x60, 0x42, 0x03, 0x00}, 4, Status::kOutputOverflow, ""},
        StreamCase{"no_room_at_all", {0x41, 0xC0, 0x00}, 0, Status::kOutputOverflow, ""},
        StreamCase{"tag_missing", {0x41}, 16, Status::kTruncated, ""},
        StreamCase{"short_match_byte_missing", {0x41, 0xC0}, 16, Status::kTruncated, ""},
        StreamCase{"offset_byte_missing", {0x41, 0xA0}, 16, Status::kTruncated, ""},
        StreamCase{"literal_byte_missing", {0x41, 0x00}, 16, Status::kTruncated, ""},
        // 'A', match with high part 0 and offset byte 1, its length gamma cut off midway.
        StreamCase{"gamma_cut", {0x41, 0xA5, 0x01}, 16, Status::kTruncated, ""},
        StreamCase{"end_marker_00", {0x41, 0xC0, 0x00}, 1, Status::kOk, "A"},
        StreamCase{"end_marker_01", {0x41, 0xC0, 0x01}, 1, Status::kOk, "A"},
        // 'A', short literal offset 1, short literal offset 0 (a zero byte), end.
        StreamCase{"short_literals", {0x41, 0xE3, 0xC3, 0x00, 0x00}, 3, Status::kOk, std::string("AA\0", 3)},
        // 'A', literal 'B', short match offset 2 length 3, end.
        StreamCase{"short_match", {0x41, 0x6C, 0x42, 0x05, 0x00}, 5, Status::kOk, "ABABA"},
        // 'A', literal 'B', match with gamma(3) (high part 0 after a literal), offset byte 2
        // and gamma(2) (+2 below offset 128: 4 bytes), literal 'C', repeat match of 2, end.
        StreamCase{
            "repeat_match", {0x41, 0x50, 0x42, 0x02, 0x43, 0x83, 0x00, 0x00}, 9, Status::kOk, "ABABABCBC"},
        // After a match, gamma(2) is no repeat match but high part 0: 'A', literal 'B',
        // short match offset 2 length 2, match offset 1 (+2: length 4), end.
        StreamCase{
            "high_part_after_match", {0x41, 0x68, 0x42, 0x04, 0x01, 0x30, 0x00}, 8, Status::kOk, "ABABBBBB"}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(SafeLayer, ReadsTheSizeOnlyFromAWholeHeaderAndRefusesNullPointers) {
    const Bytes block = ReadVector("short_text.aps");
    EXPECT_EQ(SafeOrigSize(std::span(block).first(23)), kError);
    EXPECT_EQ(SafeOrigSize(std::span(block).first(24)), 175u);
    Bytes out(175);
    EXPECT_EQ(aPsafe_get_orig_size(nullptr), kError);
    EXPECT_EQ(aPsafe_depack(nullptr, 10, out.data(), 175), kError);
    EXPECT_EQ(aPsafe_depack(block.data(), static_cast<unsigned int>(block.size()), nullptr, 175), kError);
}

TEST(Crc32, KnownValuesAndPiecewise) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
    EXPECT_EQ(Crc32({}), 0u);
    // Piecewise equals whole, across the eight-byte steps and the 64-byte folds.
    const Bytes text = ReadVector("ext_fox.bin");
    const Bytes big = ReadVector("short_text.bin");
    for (std::size_t cut = 0; cut <= big.size(); ++cut) {
        EXPECT_EQ(Crc32(std::span(big).subspan(cut), Crc32(std::span(big).first(cut))), Crc32(big)) << cut;
    }
    EXPECT_EQ(Crc32(text), 0x414FA339u);
    SafeHeader header;
    ASSERT_EQ(ReadSafeHeader(ReadVector("short_text.aps"), header), Status::kOk);
    EXPECT_EQ(Crc32(big), header.orig_crc);
}

}  // namespace
}  // namespace aplib::testing
