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

// What is wrong with a package or with the files for one; what() names the part
// ("segment 1 (TARNIDE.NEW): ...", "not a Windows program: ...").
class PackageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The Windows executable that a package starts with.
struct ProgramInfo {
    std::uint16_t machine = 0;    // 0x14C i386, 0x8664 AMD64
    std::uint16_t subsystem = 0;  // 2 Windows GUI, 3 Windows console
};

// Checks that `image` is a Windows program: MZ header, PE signature, i386 or AMD64
// machine, Windows GUI or console subsystem. Throws PackageError saying which check failed.
ProgramInfo CheckProgram(std::span<const std::uint8_t> image);

// "i386, Windows GUI" and the like.
std::string Describe(const ProgramInfo& program);

// The headers of a Windows program and nothing else, which CheckProgram accepts: a stand-in
// stub for tests and measurements where no real program is at hand.
Bytes BareProgram(std::uint16_t machine, std::uint16_t subsystem);

// Packs both files behind the stub. Throws PackageError for a stub that is no Windows
// program, an empty file, or a package whose offsets would not fit in 32 bits.
Bytes BuildPackage(std::span<const std::uint8_t> stub, std::span<const std::uint8_t> ide,
                   std::span<const std::uint8_t> runtime);

struct SegmentInfo {
    std::uint32_t offset = 0;
    std::uint32_t packedSize = 0;    // bytes of the block, header included
    std::uint32_t originalSize = 0;  // unpacked size recorded in the header
};

struct PackageInfo {
    std::uint64_t imageSize = 0;
    ProgramInfo program;
    SegmentInfo ide;
    SegmentInfo runtime;
};

// Checks a package: the program image, the trailer, and both blocks unpacked in full
// (headers, sizes and CRCs), taking memory only for what the blocks produce. Throws
// PackageError naming the first problem.
PackageInfo CheckPackage(std::span<const std::uint8_t> package);

// The trailer's offsets, checked against the package length: o1 <= o2 <= length - 8.
struct Trailer {
    std::uint32_t o1 = 0;
    std::uint32_t o2 = 0;
    std::uint64_t trailerStart = 0;
};
Trailer ReadTrailer(std::span<const std::uint8_t> package);

}  // namespace mkupgrade
