// Upgrade packages: the upgrade program's image, the two files as safe blocks, and an
// 8-byte trailer with the blocks' offsets (unsigned 32-bit, little-endian).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace mkupgrade {

using Bytes = std::vector<std::uint8_t>;

class PackageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Packs both files behind the stub. Throws PackageError for an empty input or a
// package whose offsets would not fit in 32 bits.
Bytes BuildPackage(std::span<const std::uint8_t> stub, std::span<const std::uint8_t> ide,
                   std::span<const std::uint8_t> runtime);

struct SegmentInfo {
    std::uint32_t offset = 0;
    std::uint32_t packedSize = 0;    // bytes of the block, header included
    std::uint32_t originalSize = 0;  // unpacked size recorded in the header
};

struct PackageInfo {
    std::uint64_t imageSize = 0;
    SegmentInfo ide;
    SegmentInfo runtime;
};

// Checks a package: trailer sane, both blocks unpack with valid headers and CRCs.
// Throws PackageError naming the first problem.
PackageInfo CheckPackage(std::span<const std::uint8_t> package);

// The trailer's offsets, checked against the package length: o1 <= o2 <= length - 8.
struct Trailer {
    std::uint32_t o1 = 0;
    std::uint32_t o2 = 0;
    std::uint64_t trailerStart = 0;
};
Trailer ReadTrailer(std::span<const std::uint8_t> package);

}  // namespace mkupgrade
