// Our own implementation of the packed block format that the upgrade package uses:
// the raw bit stream, the 24-byte "safe" header with its two CRC-32s, and a packer.
//
// The C++ interface below is what the native tools, the tests and the benchmarks use.
// The two C entry points at the end are the library's public calls as the upgrade
// program imports them from "aplib.dll".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "aplib/aplib_c.h"

namespace aplib {

// Every failure of the C entry points, and of SafeOrigSize: all bits set.
inline constexpr std::uint32_t kError = 0xFFFFFFFFu;

inline constexpr std::uint32_t kSafeTag = 0x32335041u;  // "AP32" read as little-endian
inline constexpr std::size_t kSafeHeaderSize = 24;

// CRC-32 with the reflected polynomial 0xEDB88320 (the zlib/PNG one). Pass the previous
// result as `crc` to continue over several pieces; the CRC of no bytes is 0.
std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0) noexcept;

// Why a stream or a block was rejected.
enum class Status {
    ok,
    // raw stream
    truncated,         // the stream ended before its end marker (or has no first byte)
    offset_too_far,    // a match reaches back before the start of the output
    zero_offset,       // a match with offset 0
    rep_before_match,  // a repeat-offset match before any offset was set
    gamma_overflow,    // a length or offset code does not fit in 32 bits
    output_overflow,   // the stream produces more than the output can hold
    // safe layer
    short_header,     // fewer bytes than a header
    bad_tag,          // not "AP32"
    bad_header_size,  // header size below 24, or beyond the block
    bad_packed_size,  // packed size larger than the bytes behind the header
    bad_packed_crc,   // CRC of the packed bytes differs from the header
    bad_orig_size,    // original size larger than the output capacity
    size_mismatch,    // the stream produced another number of bytes than the header says
    bad_orig_crc,     // CRC of the output differs from the header
};

const char* StatusText(Status status) noexcept;

struct RawResult {
    Status status = Status::ok;
    std::size_t produced = 0;  // bytes written to the output (up to the failure, if any)
    std::size_t consumed = 0;  // bytes of the stream read, end marker included
};

// Unpacks a raw stream into `dst`. Never reads outside `src` nor writes outside `dst`,
// whatever the bytes; bytes of `dst` beyond `produced` may have been overwritten.
RawResult DepackRaw(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) noexcept;

struct SafeHeader {
    std::uint32_t tag = kSafeTag;
    std::uint32_t header_size = kSafeHeaderSize;
    std::uint32_t packed_size = 0;
    std::uint32_t packed_crc = 0;
    std::uint32_t orig_size = 0;
    std::uint32_t orig_crc = 0;
};

// Reads the header of a safe block that is `block.size()` bytes long: the tag must be
// "AP32" and the header size at least 24. Only the header's own fields are checked.
Status ReadSafeHeader(std::span<const std::uint8_t> block, SafeHeader& header) noexcept;

// The original size recorded in a safe block's header, or kError.
std::uint32_t SafeOrigSize(std::span<const std::uint8_t> block) noexcept;

struct SafeResult {
    Status status = Status::ok;
    std::uint32_t size = kError;  // the original size on success, kError otherwise
};

// Unpacks a safe block with every check of the format: tag, header size, packed size
// against the block's length, CRC of the packed bytes, original size against the
// capacity of `dst`, bytes produced against the original size, CRC of the output.
SafeResult SafeDepack(std::span<const std::uint8_t> block, std::span<std::uint8_t> dst) noexcept;

// Thrown by the packers for input the format cannot encode (empty, or 2 GiB and more).
class PackError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Packs `data` into a raw stream, with an optimal-cost parse.
std::vector<std::uint8_t> PackRaw(std::span<const std::uint8_t> data);

// Packs `data` into one safe block: header followed by the raw stream.
std::vector<std::uint8_t> PackSafe(std::span<const std::uint8_t> data);

// Writes the 24-byte header for the given fields.
void WriteSafeHeader(const SafeHeader& header, std::uint8_t* out) noexcept;

}  // namespace aplib
