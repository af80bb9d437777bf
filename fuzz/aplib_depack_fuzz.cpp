// Fuzzes the depacker. The first input byte picks what the rest is:
//   0: a raw stream, preceded by the output capacity (3 bytes, little-endian), checked
//      against a plain bit-by-bit depacker
//   1: a safe block, unpacked into the capacity its header names (capped) and into one
//      byte less
//   2: data to pack (up to 8 KiB); its block must unpack to the same bytes
// Buffers are allocated at their exact sizes so that AddressSanitizer sees every access
// outside them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "aplib/aplib.h"
#include "aplib/reference_depack.h"

namespace {

constexpr std::size_t kMaxOutput = std::size_t{1} << 18;

std::unique_ptr<std::uint8_t[]> Copy(const std::uint8_t* data, std::size_t size) {
    auto copy = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    if (size != 0) std::memcpy(copy.get(), data, size);
    return copy;
}

void Require(bool condition) {
    if (!condition) std::abort();
}

void Raw(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return;
    const std::size_t capacity =
        (std::size_t{data[0]} | std::size_t{data[1]} << 8 | std::size_t{data[2]} << 16);
    const auto stream = Copy(data + 3, size - 3);
    const auto out = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    const aplib::RawResult r = aplib::DepackRaw({stream.get(), size - 3}, {out.get(), capacity});
    Require(r.produced <= capacity && r.consumed <= size - 3);
    // The plain bit-by-bit depacker must agree on everything.
    const auto plainOut = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    const aplib::RawResult plain =
        aplib::reference::ReferenceDepack({stream.get(), size - 3}, {plainOut.get(), capacity});
    Require(r.status == plain.status && r.produced == plain.produced && r.consumed == plain.consumed);
    Require(r.produced == 0 || std::memcmp(out.get(), plainOut.get(), r.produced) == 0);
}

void Safe(const std::uint8_t* data, std::size_t size) {
    const auto block = Copy(data, size);
    const std::span<const std::uint8_t> in(block.get(), size);
    const std::uint32_t recorded = aplib::SafeOrigSize(in);
    std::size_t capacity = recorded == aplib::kError ? 256 : std::min<std::size_t>(recorded, kMaxOutput);
    for (int round = 0; round < 2; ++round) {
        const auto out = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
        const aplib::SafeResult r = aplib::SafeDepack(in, {out.get(), capacity});
        Require((r.status == aplib::Status::kOk) == (r.size != aplib::kError));
        Require(r.status != aplib::Status::kOk || r.size == recorded);
        if (size >= aplib::kSafeHeaderSize) {
            Require(aPsafe_depack(block.get(), static_cast<unsigned int>(size), out.get(),
                                  static_cast<unsigned int>(capacity)) == r.size);
        }
        if (capacity == 0) break;
        --capacity;
    }
}

void RoundTrip(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 8192) return;  // the packer has tests of its own for large inputs
    const std::vector<std::uint8_t> block = aplib::PackSafe({data, size});
    const auto copy = Copy(block.data(), block.size());
    const auto out = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    const aplib::SafeResult r = aplib::SafeDepack({copy.get(), block.size()}, {out.get(), size});
    Require(r.status == aplib::Status::kOk && r.size == size && std::memcmp(out.get(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    switch (data[0] % 3) {
        case 0:
            Raw(data + 1, size - 1);
            break;
        case 1:
            Safe(data + 1, size - 1);
            break;
        default:
            RoundTrip(data + 1, size - 1);
            break;
    }
    return 0;
}
