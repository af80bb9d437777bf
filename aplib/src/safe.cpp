// The "safe" block: a 24-byte (or longer) header in front of a raw stream, with the sizes
// and CRC-32s of both the packed and the unpacked bytes. All fields are little-endian.
//
//   0  tag "AP32"        8  packed size     16  original size
//   4  header size      12  packed CRC      20  original CRC
#include "aplib/aplib.h"

namespace aplib {
namespace {

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

const char* StatusText(Status status) noexcept {
    switch (status) {
        case Status::ok:
            return "ok";
        case Status::truncated:
            return "the packed stream is truncated";
        case Status::offset_too_far:
            return "a match reaches before the start of the data";
        case Status::zero_offset:
            return "a match has offset 0";
        case Status::rep_before_match:
            return "a repeat-offset match comes before any match";
        case Status::gamma_overflow:
            return "a length or offset code overflows";
        case Status::output_overflow:
            return "the packed stream produces more data than expected";
        case Status::short_header:
            return "the block is shorter than its header";
        case Status::bad_tag:
            return "the block does not start with the tag AP32";
        case Status::bad_header_size:
            return "the header size is invalid";
        case Status::bad_packed_size:
            return "the packed size exceeds the block";
        case Status::bad_packed_crc:
            return "the CRC of the packed data does not match";
        case Status::bad_orig_size:
            return "the original size exceeds the output capacity";
        case Status::size_mismatch:
            return "the packed stream produced another size than recorded";
        case Status::bad_orig_crc:
            return "the CRC of the unpacked data does not match";
    }
    return "unknown status";
}

Status ReadSafeHeader(std::span<const std::uint8_t> block, SafeHeader& header) noexcept {
    if (block.size() < kSafeHeaderSize) return Status::short_header;
    const std::uint8_t* p = block.data();
    header.tag = LoadLe32(p);
    header.header_size = LoadLe32(p + 4);
    header.packed_size = LoadLe32(p + 8);
    header.packed_crc = LoadLe32(p + 12);
    header.orig_size = LoadLe32(p + 16);
    header.orig_crc = LoadLe32(p + 20);
    if (header.tag != kSafeTag) return Status::bad_tag;
    if (header.header_size < kSafeHeaderSize) return Status::bad_header_size;
    return Status::ok;
}

std::uint32_t SafeOrigSize(std::span<const std::uint8_t> block) noexcept {
    SafeHeader header;
    if (ReadSafeHeader(block, header) != Status::ok) return kError;
    return header.orig_size;
}

SafeResult SafeDepack(std::span<const std::uint8_t> block, std::span<std::uint8_t> dst) noexcept {
    SafeHeader header;
    if (const Status s = ReadSafeHeader(block, header); s != Status::ok) return {s, kError};
    if (header.header_size > block.size()) return {Status::bad_header_size, kError};
    if (header.packed_size > block.size() - header.header_size) return {Status::bad_packed_size, kError};
    const auto packed = block.subspan(header.header_size, header.packed_size);
    if (Crc32(packed) != header.packed_crc) return {Status::bad_packed_crc, kError};
    if (header.orig_size > dst.size()) return {Status::bad_orig_size, kError};
    // The result must fit the return value, where all bits set means failure.
    if (header.orig_size == kError) return {Status::bad_orig_size, kError};
    const auto out = dst.first(header.orig_size);
    const RawResult raw = DepackRaw(packed, out);
    if (raw.status != Status::ok) return {raw.status, kError};
    if (raw.produced != header.orig_size) return {Status::size_mismatch, kError};
    if (Crc32(out) != header.orig_crc) return {Status::bad_orig_crc, kError};
    return {Status::ok, header.orig_size};
}

void WriteSafeHeader(const SafeHeader& header, std::uint8_t* out) noexcept {
    StoreLe32(out, header.tag);
    StoreLe32(out + 4, header.header_size);
    StoreLe32(out + 8, header.packed_size);
    StoreLe32(out + 12, header.packed_crc);
    StoreLe32(out + 16, header.orig_size);
    StoreLe32(out + 20, header.orig_crc);
}

}  // namespace aplib

extern "C" unsigned int APLIB_CALL aPsafe_get_orig_size(const void* source) {
    if (source == nullptr) return aplib::kError;
    return aplib::SafeOrigSize({static_cast<const std::uint8_t*>(source), aplib::kSafeHeaderSize});
}

extern "C" unsigned int APLIB_CALL aPsafe_depack(const void* source, unsigned int srclen, void* destination,
                                                 unsigned int dstlen) {
    if (source == nullptr || (destination == nullptr && dstlen != 0)) return aplib::kError;
    const aplib::SafeResult r = aplib::SafeDepack({static_cast<const std::uint8_t*>(source), srclen},
                                                  {static_cast<std::uint8_t*>(destination), dstlen});
    return r.size;
}
