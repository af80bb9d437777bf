// The upgrade routine and its segment extractor, written once against a platform
// type P that offers the ANSI Win32 calls they use under their own names. On Windows
// P is the real API (win32_platform.h); natively it is a POSIX stand-in, so the very
// same code is tested under sanitizers and benchmarked.
//
// Package layout: program image | safe block 1 | safe block 2 | o1 | o2, where o1
// and o2 are the blocks' offsets as unsigned 32-bit little-endian numbers.
#pragma once

#include <cstdint>
#include <string>

#include "aplib/format.h"
#include "command_line.h"

namespace upgrade {

inline constexpr const char* kIdeFile = "TARNIDE.NEW";
inline constexpr const char* kRuntimeFile = "TARNEXEC.NEW";

// The results: 0 for success, the segment extractor's codes (10 and up, never shown) and
// the failure codes that the message box shows.
enum Code : int {
    kSucceeded = 0,
    kNoTargetDirectory = 6,
    kCannotOpenPackage = 7,
    kSegment1Failed = 8,
    kSegment2Failed = 9,
    kNoPackedMemory = 10,
    kReadFailed = 11,
    kBadSize = 12,
    kNoUnpackedMemory = 13,
    kUnpackFailed = 14,
    kCreateFailed = 15,
    kWriteFailed = 16,
};

// Unpacks the package bytes [start, end) into the file `name` in the current directory.
// Every buffer is released on every path; a file that was created but could not be
// written completely is removed again.
template <typename P>
int ExtractSegment(typename P::Handle package, std::uint32_t start, std::uint32_t end, const char* name) {
    if (end < start) return kReadFailed;  // a damaged trailer: no such range in the file
    const std::uint32_t n = end - start;
    void* packed = P::malloc(n == 0 ? 1 : n);
    if (packed == nullptr) return kNoPackedMemory;

    std::uint32_t got = 0;
    if (P::SetFilePointer(package, static_cast<std::int32_t>(start), nullptr, P::kFileBegin) ==
            P::kInvalidSetFilePointer ||
        !P::ReadFile(package, packed, n, &got, nullptr) || got != n) {
        P::free(packed);
        return kReadFailed;
    }
    // The size query reads a whole header: never hand it fewer bytes.
    const std::uint32_t size =
        n < aplib::format::kSafeHeaderSize ? 0xFFFFFFFFu : P::aPsafe_get_orig_size(packed);
    if (size == 0xFFFFFFFFu) {
        P::free(packed);
        return kBadSize;
    }
    void* unpacked = P::malloc(size == 0 ? 1 : size);
    if (unpacked == nullptr) {
        P::free(packed);
        return kNoUnpackedMemory;
    }
    const std::uint32_t produced = P::aPsafe_depack(packed, n, unpacked, size);
    P::free(packed);
    if (produced == 0xFFFFFFFFu) {
        P::free(unpacked);
        return kUnpackFailed;
    }
    const auto output = P::CreateFileA(name, P::kGenericWrite, 0, nullptr, P::kCreateAlways,
                                       P::kFileAttributeNormal, nullptr);
    if (output == P::InvalidHandle()) {
        P::free(unpacked);
        return kCreateFailed;
    }
    std::uint32_t written = 0;
    const bool wrote = P::WriteFile(output, unpacked, produced, &written, nullptr) && written == produced;
    const bool closed = P::CloseHandle(output);
    P::free(unpacked);
    if (!wrote || !closed) {
        P::DeleteFileA(name);
        return kWriteFailed;
    }
    return kSucceeded;
}

// Reads the two segment offsets from the package's last 8 bytes; `trailerStart` gets
// the trailer's own offset, where segment 2 ends.
template <typename P>
bool ReadTrailer(typename P::Handle package, std::uint32_t& o1, std::uint32_t& o2,
                 std::uint32_t& trailerStart) {
    trailerStart = P::SetFilePointer(package, -8, nullptr, P::kFileEnd);
    if (trailerStart == P::kInvalidSetFilePointer) return false;  // shorter than a trailer
    std::uint8_t trailer[8];
    std::uint32_t got = 0;
    if (!P::ReadFile(package, trailer, 8, &got, nullptr) || got != 8) return false;
    o1 = aplib::format::LoadLe32(trailer);
    o2 = aplib::format::LoadLe32(trailer + 4);
    return true;
}

// The whole upgrade: target directory from the command line, then both segments.
// Returns 0 or the failure code to show.
template <typename P>
int Upgrade(const char* commandLine) {
    const std::string target = TargetDirectory(commandLine == nullptr ? "" : commandLine);
    if (!target.empty() && !P::SetCurrentDirectoryA(target.c_str())) return kNoTargetDirectory;

    char self[260];
    const std::uint32_t length = P::GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) return kCannotOpenPackage;
    const auto package = P::CreateFileA(self, P::kGenericRead, P::kFileShareRead, nullptr, P::kOpenExisting,
                                        P::kFileAttributeNormal, nullptr);
    if (package == P::InvalidHandle()) return kCannotOpenPackage;

    std::uint32_t o1 = 0, o2 = 0, trailerStart = 0;
    if (!ReadTrailer<P>(package, o1, o2, trailerStart) ||
        ExtractSegment<P>(package, o1, o2, kIdeFile) != kSucceeded) {
        P::CloseHandle(package);
        return kSegment1Failed;
    }
    if (ExtractSegment<P>(package, o2, trailerStart, kRuntimeFile) != kSucceeded) {
        P::DeleteFileA(kIdeFile);
        P::CloseHandle(package);
        return kSegment2Failed;
    }
    P::CloseHandle(package);
    return kSucceeded;
}

}  // namespace upgrade
