#include "package.h"

#include <limits>

#include "aplib/aplib.h"

namespace mkupgrade {
namespace {

using aplib::format::LoadLe32;

std::uint16_t LoadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

void AppendLe32(Bytes& out, std::uint64_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Where the PE headers keep what is checked, from the PE signature on.
constexpr std::size_t kPeOffsetAt = 0x3C;        // in the MZ header
constexpr std::size_t kMachineAt = 4;            // COFF header
constexpr std::size_t kOptionalSizeAt = 4 + 16;  // size of the optional header
constexpr std::size_t kOptionalAt = 4 + 20;
constexpr std::size_t kMagicAt = kOptionalAt;  // 0x10B PE32, 0x20B PE32+
constexpr std::size_t kSubsystemAt = kOptionalAt + 68;
constexpr std::uint16_t kI386 = 0x14C;
constexpr std::uint16_t kAmd64 = 0x8664;
constexpr std::uint16_t kWindowsGui = 2;
constexpr std::uint16_t kWindowsConsole = 3;

SegmentInfo CheckSegment(std::span<const std::uint8_t> block, std::uint32_t offset, const char* what) {
    aplib::Output unpacked;
    const aplib::SafeResult r = aplib::SafeDepack(block, unpacked, aplib::format::kMaxOrigSize);
    if (r.status != aplib::Status::kOk) {
        throw PackageError(std::string(what) + ": " + aplib::Explain(r, aplib::format::kMaxOrigSize));
    }
    return {offset, static_cast<std::uint32_t>(block.size()), r.size};
}

}  // namespace

ProgramInfo CheckProgram(std::span<const std::uint8_t> image) {
    auto fail = [](const std::string& why) { throw PackageError("not a Windows program: " + why); };
    if (image.size() < kPeOffsetAt + 4 || image[0] != 'M' || image[1] != 'Z') fail("no MZ header");
    const std::uint32_t pe = LoadLe32(&image[kPeOffsetAt]);
    if (pe > image.size() || image.size() - pe < kSubsystemAt + 2) fail("its PE header lies beyond the file");
    const std::uint8_t* h = &image[pe];
    if (h[0] != 'P' || h[1] != 'E' || h[2] != 0 || h[3] != 0) fail("no PE signature");
    ProgramInfo info{LoadLe16(h + kMachineAt), LoadLe16(h + kSubsystemAt)};
    if (info.machine != kI386 && info.machine != kAmd64) {
        fail("machine " + std::to_string(info.machine) + " is neither i386 (332) nor AMD64 (34404)");
    }
    const std::uint16_t magic = LoadLe16(h + kMagicAt);
    if (LoadLe16(h + kOptionalSizeAt) < kSubsystemAt + 2 - kOptionalAt ||
        (magic != 0x10B && magic != 0x20B)) {
        fail("no valid optional header");
    }
    if (info.subsystem != kWindowsGui && info.subsystem != kWindowsConsole) {
        fail("subsystem " + std::to_string(info.subsystem) + " is neither Windows GUI (2) nor console (3)");
    }
    return info;
}

std::string Describe(const ProgramInfo& program) {
    return std::string(program.machine == kI386 ? "i386" : "AMD64") +
           (program.subsystem == kWindowsGui ? ", Windows GUI" : ", Windows console");
}

Bytes BareProgram(std::uint16_t machine, std::uint16_t subsystem) {
    constexpr std::size_t kPe = 0x40;
    Bytes image(kPe + kSubsystemAt + 2);
    image[0] = 'M';
    image[1] = 'Z';
    aplib::format::StoreLe32(&image[kPeOffsetAt], kPe);
    image[kPe] = 'P';
    image[kPe + 1] = 'E';
    auto store16 = [&](std::size_t at, std::uint16_t v) {
        image[kPe + at] = static_cast<std::uint8_t>(v);
        image[kPe + at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    store16(kMachineAt, machine);
    store16(kOptionalSizeAt, kSubsystemAt + 2 - kOptionalAt);
    store16(kMagicAt, machine == kAmd64 ? 0x20B : 0x10B);
    store16(kSubsystemAt, subsystem);
    return image;
}

Bytes BuildPackage(std::span<const std::uint8_t> stub, std::span<const std::uint8_t> ide,
                   std::span<const std::uint8_t> runtime) {
    CheckProgram(stub);
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
    trailer.o1 = LoadLe32(&package[package.size() - 8]);
    trailer.o2 = LoadLe32(&package[package.size() - 4]);
    if (trailer.o1 > trailer.o2) throw PackageError("trailer: segment 1 starts behind segment 2");
    if (trailer.o2 > trailer.trailerStart) throw PackageError("trailer: segment 2 starts behind the trailer");
    return trailer;
}

PackageInfo CheckPackage(std::span<const std::uint8_t> package) {
    const Trailer trailer = ReadTrailer(package);
    PackageInfo info;
    info.imageSize = trailer.o1;
    info.program = CheckProgram(package.first(trailer.o1));
    info.ide = CheckSegment(package.subspan(trailer.o1, trailer.o2 - trailer.o1), trailer.o1,
                            "segment 1 (TARNIDE.NEW)");
    info.runtime =
        CheckSegment(package.subspan(trailer.o2, static_cast<std::size_t>(trailer.trailerStart - trailer.o2)),
                     trailer.o2, "segment 2 (TARNEXEC.NEW)");
    return info;
}

}  // namespace mkupgrade
