// The "safe" block: a header in front of a raw stream, with the sizes and CRC-32s of both
// the packed and the unpacked bytes (layout in format.h).
#include <algorithm>
#include <cstdlib>
#include <new>

#include "aplib/aplib.h"

namespace aplib {

using format::LoadLe32;
using format::StoreLe32;

const char* StatusText(Status status) noexcept {
    switch (status) {
        case Status::kOk:
            return "ok";
        case Status::kTruncated:
            return "the packed stream is truncated";
        case Status::kOffsetTooFar:
            return "a match reaches before the start of the data";
        case Status::kZeroOffset:
            return "a match has offset 0";
        case Status::kRepBeforeMatch:
            return "a repeat-offset match comes before any match";
        case Status::kGammaOverflow:
            return "a length or offset code overflows";
        case Status::kOutputOverflow:
            return "the packed stream produces more data than there is room for";
        case Status::kShortHeader:
            return "the block is shorter than its header";
        case Status::kBadTag:
            return "the block does not start with the tag AP32";
        case Status::kBadHeaderSize:
            return "the header size is invalid";
        case Status::kBadPackedSize:
            return "the packed size exceeds the block";
        case Status::kBadPackedCrc:
            return "the CRC of the packed data does not match";
        case Status::kBadOrigSize:
            return "the original size exceeds the output capacity";
        case Status::kSizeMismatch:
            return "the packed stream ends before the original size";
        case Status::kBadOrigCrc:
            return "the CRC of the unpacked data does not match";
    }
    return "unknown status";
}

Status ReadSafeHeader(std::span<const std::uint8_t> block, SafeHeader& header) noexcept {
    if (block.size() < kSafeHeaderSize) return Status::kShortHeader;
    const std::uint8_t* p = block.data();
    header.tag = LoadLe32(p + format::kTagAt);
    header.header_size = LoadLe32(p + format::kHeaderSizeAt);
    header.packed_size = LoadLe32(p + format::kPackedSizeAt);
    header.packed_crc = LoadLe32(p + format::kPackedCrcAt);
    header.orig_size = LoadLe32(p + format::kOrigSizeAt);
    header.orig_crc = LoadLe32(p + format::kOrigCrcAt);
    if (header.tag != kSafeTag) return Status::kBadTag;
    if (header.header_size < kSafeHeaderSize) return Status::kBadHeaderSize;
    return Status::kOk;
}

std::uint32_t SafeOrigSize(std::span<const std::uint8_t> block) noexcept {
    SafeHeader header;
    if (ReadSafeHeader(block, header) != Status::kOk) return kError;
    return header.orig_size;
}

namespace {

// The checks before unpacking: header, packed size against the block, packed CRC, and
// the original size against `room`. Leaves the raw stream in `packed`.
SafeResult CheckBlock(std::span<const std::uint8_t> block, std::size_t room,
                      std::span<const std::uint8_t>& packed, std::uint32_t& crc) noexcept {
    SafeResult r;
    SafeHeader header;
    r.status = ReadSafeHeader(block, header);
    if (r.status != Status::kOk) return r;
    r.recorded = header.orig_size;
    crc = header.orig_crc;
    if (header.header_size > block.size()) {
        r.status = Status::kBadHeaderSize;
    } else if (header.packed_size > block.size() - header.header_size) {
        r.status = Status::kBadPackedSize;
    } else if (packed = block.subspan(header.header_size, header.packed_size);
               Crc32(packed) != header.packed_crc) {
        r.status = Status::kBadPackedCrc;
    } else if (header.orig_size > room || header.orig_size == kError) {
        // All bits set cannot be returned: it means failure.
        r.status = Status::kBadOrigSize;
    }
    return r;
}

// The checks after unpacking: every byte the header records, and their CRC.
SafeResult Finish(SafeResult r, const RawResult& raw, std::span<const std::uint8_t> out,
                  std::uint32_t crc) noexcept {
    r.produced = raw.produced;
    if (raw.status != Status::kOk) {
        r.status = raw.status;
    } else if (raw.produced != r.recorded) {
        r.status = Status::kSizeMismatch;
    } else if (Crc32(out.first(raw.produced)) != crc) {
        r.status = Status::kBadOrigCrc;
    } else {
        r.size = r.recorded;
    }
    return r;
}

}  // namespace

SafeResult SafeDepack(std::span<const std::uint8_t> block, std::span<std::uint8_t> dst) noexcept {
    std::span<const std::uint8_t> packed;
    std::uint32_t crc = 0;
    const SafeResult r = CheckBlock(block, dst.size(), packed, crc);
    if (r.status != Status::kOk) return r;
    const auto out = dst.first(r.recorded);
    return Finish(r, DepackRaw(packed, out), out, crc);
}

SafeResult SafeDepack(std::span<const std::uint8_t> block, Output& out, std::size_t limit) {
    std::span<const std::uint8_t> packed;
    std::uint32_t crc = 0;
    const SafeResult r = CheckBlock(block, limit, packed, crc);
    if (r.status != Status::kOk) return r;
    const RawResult raw = DepackRaw(packed, out, r.recorded);
    return Finish(r, raw, out.Bytes(), crc);
}

std::string Explain(const SafeResult& result, std::size_t limit) {
    const std::string recorded = std::to_string(result.recorded);
    switch (result.status) {
        case Status::kBadOrigSize:
            return "the header records an original size of " + recorded + " bytes; the limit is " +
                   std::to_string(std::min<std::uint64_t>(limit, kError - 1));
        case Status::kSizeMismatch:
            return "the packed stream ends after " + std::to_string(result.produced) +
                   " bytes; the header records " + recorded;
        case Status::kOutputOverflow:
            return "the packed stream runs on past the " + recorded + " bytes the header records";
        default:
            return StatusText(result.status);
    }
}

Output::~Output() { std::free(data_); }

void Output::Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(grown);
    capacity_ = capacity;
}

void WriteSafeHeader(const SafeHeader& header, std::uint8_t* out) noexcept {
    StoreLe32(out + format::kTagAt, header.tag);
    StoreLe32(out + format::kHeaderSizeAt, header.header_size);
    StoreLe32(out + format::kPackedSizeAt, header.packed_size);
    StoreLe32(out + format::kPackedCrcAt, header.packed_crc);
    StoreLe32(out + format::kOrigSizeAt, header.orig_size);
    StoreLe32(out + format::kOrigCrcAt, header.orig_crc);
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
