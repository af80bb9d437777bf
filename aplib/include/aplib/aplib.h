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
#include <string>
#include <vector>

#include "aplib/aplib_c.h"
#include "aplib/format.h"

namespace aplib {

// Every failure of the C entry points, and of SafeOrigSize: all bits set.
inline constexpr std::uint32_t kError = 0xFFFFFFFFu;

using format::kSafeHeaderSize;
using format::kSafeTag;

// CRC-32 with the reflected polynomial 0xEDB88320 (the zlib/PNG one). Pass the previous
// result as `crc` to continue over several pieces; the CRC of no bytes is 0.
std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0) noexcept;

// Why a stream or a block was rejected.
enum class Status {
    kOk,
    // raw stream
    kTruncated,       // the stream ended before its end marker (or has no first byte)
    kOffsetTooFar,    // a match reaches back before the start of the output
    kZeroOffset,      // a match with offset 0
    kRepBeforeMatch,  // a repeat-offset match before any offset was set
    kGammaOverflow,   // a length or offset code does not fit in 32 bits
    kOutputOverflow,  // the stream produces more than the output can hold
    // safe layer
    kShortHeader,    // fewer bytes than a header
    kBadTag,         // not "AP32"
    kBadHeaderSize,  // header size below 24, or beyond the block
    kBadPackedSize,  // packed size larger than the bytes behind the header
    kBadPackedCrc,   // CRC of the packed bytes differs from the header
    kBadOrigSize,    // original size larger than the output capacity (or the limit)
    kSizeMismatch,   // the stream ended before it produced the original size
    kBadOrigCrc,     // CRC of the output differs from the header
};

const char* StatusText(Status status) noexcept;

struct RawResult {
    Status status = Status::kOk;
    std::size_t produced = 0;  // bytes written to the output (up to the failure, if any)
    std::size_t consumed = 0;  // bytes of the stream read, end marker included
};

// Unpacks a raw stream into `dst`. Never reads outside `src` nor writes outside `dst`,
// whatever the bytes; bytes of `dst` beyond `produced` may have been overwritten.
RawResult DepackRaw(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) noexcept;

// Output whose memory is taken as it is written: room is added by reallocation, which
// for large sizes maps address space, and a page counts as memory only once written.
// A header that claims more than a stream produces thus costs nothing.
class Output {
public:
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output();

    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

    // For the depacker: room for at least `capacity` bytes; throws std::bad_alloc.
    void Reserve(std::size_t capacity);
    std::span<std::uint8_t> Room() { return {data_, capacity_}; }
    void SetSize(std::size_t size) { size_ = size; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Unpacks a raw stream into `out`, adding room as the stream produces data, up to
// `limit` bytes (beyond that: kOutputOverflow). Throws std::bad_alloc when room
// cannot be had.
RawResult DepackRaw(std::span<const std::uint8_t> src, Output& out, std::size_t limit);

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
    Status status = Status::kOk;
    std::uint32_t size = kError;  // the original size on success, kError otherwise
    std::uint32_t recorded = 0;   // the original size in the header, once it was read
    std::size_t produced = 0;     // bytes the stream produced before it ended or failed
};

// Unpacks a safe block with every check of the format: tag, header size, packed size
// against the block's length, CRC of the packed bytes, original size against the
// capacity of `dst`, bytes produced against the original size, CRC of the output.
SafeResult SafeDepack(std::span<const std::uint8_t> block, std::span<std::uint8_t> dst) noexcept;

// The same checks, unpacking into `out`, which takes memory only as the stream produces
// data: a block that records an original size above `limit` is refused before anything
// is unpacked. Throws std::bad_alloc when the memory for the output cannot be had.
SafeResult SafeDepack(std::span<const std::uint8_t> block, Output& out, std::size_t limit);

// What the status of `result` means, with the sizes it concerns ("the packed stream ends
// after 40 bytes; the header records 100"); `limit` is the room or limit it was given.
std::string Explain(const SafeResult& result, std::size_t limit);

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
