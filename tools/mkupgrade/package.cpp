#include "package.h"

#include <limits>

#include "aplib/aplib.h"

namespace mkupgrade {
namespace {

void AppendLe32(Bytes& out, std::uint64_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

SegmentInfo CheckSegment(std::span<const std::uint8_t> block, std::uint32_t offset, const char* what) {
    aplib::SafeHeader header;
    if (const auto status = aplib::ReadSafeHeader(block, header); status != aplib::Status::ok) {
        throw PackageError(std::string(what) + ": " + aplib::StatusText(status));
    }
    Bytes unpacked(header.orig_size);
    if (const auto result = aplib::SafeDepack(block, unpacked); result.status != aplib::Status::ok) {
        throw PackageError(std::string(what) + ": " + aplib::StatusText(result.status));
    }
    return {offset, static_cast<std::uint32_t>(block.size()), header.orig_size};
}

}  // namespace

Bytes BuildPackage(std::span<const std::uint8_t> stub, std::span<const std::uint8_t> ide,
                   std::span<const std::uint8_t> runtime) {
    if (stub.empty()) throw PackageError("the upgrade program is empty");
    if (ide.empty()) throw PackageError("the development environment file is empty");
    if (runtime.empty()) throw PackageError("the run-time file is empty");
    const Bytes ideBlock = aplib::PackSafe(ide);
    const Bytes runtimeBlock = aplib::PackSafe(runtime);
    const std::uint64_t o1 = stub.size();
    const std::uint64_t o2 = o1 + ideBlock.size();
    // The program reads the trailer start as a 32-bit position too.
    if (o2 + runtimeBlock.size() > std::numeric_limits<std::uint32_t>::max() - 1) {
        throw PackageError("the package would be larger than 4 GiB; its offsets do not fit in 32 bits");
    }
    Bytes package;
    package.reserve(static_cast<std::size_t>(o2 + runtimeBlock.size() + 8));
    package.insert(package.end(), stub.begin(), stub.end());
    package.insert(package.end(), ideBlock.begin(), ideBlock.end());
    package.insert(package.end(), runtimeBlock.begin(), runtimeBlock.end());
    AppendLe32(package, o1);
    AppendLe32(package, o2);
    return package;
}

Trailer ReadTrailer(std::span<const std::uint8_t> package) {
    if (package.size() < 8) throw PackageError("shorter than its 8-byte trailer");
    Trailer trailer;
    trailer.trailerStart = package.size() - 8;
    trailer.o1 = Le32(package.subspan(package.size() - 8, 4));
    trailer.o2 = Le32(package.subspan(package.size() - 4, 4));
    if (trailer.o1 > trailer.o2) throw PackageError("trailer: segment 1 starts behind segment 2");
    if (trailer.o2 > trailer.trailerStart) throw PackageError("trailer: segment 2 starts behind the trailer");
    return trailer;
}

PackageInfo CheckPackage(std::span<const std::uint8_t> package) {
    const Trailer trailer = ReadTrailer(package);
    PackageInfo info;
    info.imageSize = trailer.o1;
    info.ide = CheckSegment(package.subspan(trailer.o1, trailer.o2 - trailer.o1), trailer.o1, "segment 1");
    info.runtime =
        CheckSegment(package.subspan(trailer.o2, static_cast<std::size_t>(trailer.trailerStart - trailer.o2)),
                     trailer.o2, "segment 2");
    return info;
}

}  // namespace mkupgrade
