// The packed block format in one place: the raw stream's token grammar and the safe
// header's layout. The depacker, the packer, the safe layer, the package tools and the
// upgrade program read the format only through these names, so a change of the format
// is one edit here.
//
// Raw stream. The first byte is a literal. After it, control bits are read one at a
// time, most significant first, from tag bytes; a new tag byte is taken from the stream
// at the moment the previous one has run out. Tokens:
//
//   0 + byte                 literal
//   111 + 4 bits             short literal: the byte 1..15 positions back, or 0 for offset 0
//   110 + byte               short match: offset byte>>1 (1..127), length 2 + (byte&1);
//                            offset 0 ends the stream
//   10 + gamma(h) ...        after a literal, h = 2 is a match with the last offset:
//                              gamma(length) follows
//                            otherwise the offset is ((h - 3, or h - 2 after a match) << 8) +
//                            the next byte, then gamma(length - LengthBonus(offset))
//
// gamma(v), v >= 2: start with 1, then repeatedly shift in one bit and read one more bit
// that says whether another follows.
//
// Safe block: a header of little-endian 32-bit fields, then the raw stream.
//
//   0  tag "AP32"        8  packed size     16  original size
//   4  header size      12  packed CRC      20  original CRC
#pragma once

#include <cstddef>
#include <cstdint>

namespace aplib::format {

// Offsets where the coded length of a gamma-offset match changes: below kNearOffset the
// length carries two more, from kMidOffset one more, and from kFarOffset one more again.
inline constexpr std::uint32_t kNearOffset = 128;
inline constexpr std::uint32_t kMidOffset = 1280;
inline constexpr std::uint32_t kFarOffset = 32000;

// What the format adds to the coded length of a match at `offset`. Without branches:
// the offset is no guide to the next one.
constexpr std::uint32_t LengthBonus(std::uint64_t offset) {
    return static_cast<std::uint32_t>(offset >= kFarOffset) +
           static_cast<std::uint32_t>(offset >= kMidOffset) +
           (static_cast<std::uint32_t>(offset < kNearOffset) << 1);
}

// The smallest gamma value, and so the shortest coded length.
inline constexpr std::uint32_t kMinGamma = 2;

// Shortest match that a gamma offset can code at `offset`.
constexpr std::uint32_t MinMatchLength(std::uint32_t offset) { return kMinGamma + LengthBonus(offset); }

// The offset code's high part is h - 3 after a literal and h - 2 after a match; h = 2
// after a literal is the repeat of the last offset.
inline constexpr std::uint32_t kHighAfterLiteral = 3;
inline constexpr std::uint32_t kHighAfterMatch = 2;
inline constexpr std::uint32_t kRepeatCode = 2;

// Short match: offset 1..127 in the top seven bits of its byte, length 2 or 3 in the lowest.
inline constexpr std::uint32_t kShortMatchMaxOffset = 127;
inline constexpr std::uint32_t kShortMatchMinLength = 2;
inline constexpr std::uint32_t kShortMatchMaxLength = 3;

// Short literal: a 4-bit offset, 0 for a zero byte.
inline constexpr std::uint32_t kShortLiteralMaxOffset = 15;

// Bits of the fixed-size tokens, prefix included.
inline constexpr std::uint32_t kLiteralBits = 9;
inline constexpr std::uint32_t kShortLiteralBits = 7;
inline constexpr std::uint32_t kShortMatchBits = 11;

// Safe header.
inline constexpr std::uint32_t kSafeTag = 0x32335041u;  // "AP32" read as little-endian
inline constexpr std::size_t kSafeHeaderSize = 24;
enum HeaderField : std::size_t {  // where each 32-bit field starts
    kTagAt = 0,
    kHeaderSizeAt = 4,
    kPackedSizeAt = 8,
    kPackedCrcAt = 12,
    kOrigSizeAt = 16,
    kOrigCrcAt = 20
};

// The largest original size a block can have: the C calls return sizes as 32-bit values
// with all bits set for failure, and offsets stay below 2^31.
inline constexpr std::uint32_t kMaxOrigSize = 0x7FFFFFFFu;

inline constexpr std::uint32_t LoadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

inline constexpr void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace aplib::format
