// A POSIX stand-in for the Win32 calls of the extractor, so the same routine runs
// natively in tests and benchmarks. The package path plays the program's own file,
// and a few knobs inject the failures a real machine produces rarely: exhausted
// memory and a disk that fills up.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "aplib/aplib_c.h"

namespace upgrade {

struct PosixPlatform {
    using Handle = int;
    static constexpr std::uint32_t kFileBegin = 0;
    static constexpr std::uint32_t kFileEnd = 2;
    static constexpr std::uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;
    static constexpr std::uint32_t kGenericRead = 0x80000000u;
    static constexpr std::uint32_t kGenericWrite = 0x40000000u;
    static constexpr std::uint32_t kFileShareRead = 1;
    static constexpr std::uint32_t kOpenExisting = 3;
    static constexpr std::uint32_t kCreateAlways = 2;
    static constexpr std::uint32_t kFileAttributeNormal = 0x80;
    static Handle InvalidHandle() { return -1; }

    // What GetModuleFileNameA answers.
    static inline std::string packagePath;
    // Number of allocations that still succeed (negative: all of them).
    static inline int mallocsLeft = -1;
    // Bytes that still fit on the disk (negative: unlimited).
    static inline long long diskSpace = -1;
    // Allocations not yet released.
    static inline int liveAllocations = 0;

    static void Reset() {
        mallocsLeft = -1;
        diskSpace = -1;
        liveAllocations = 0;
    }

    static void* malloc(std::uint32_t n) {
        if (mallocsLeft == 0) return nullptr;
        if (mallocsLeft > 0) --mallocsLeft;
        void* p = std::malloc(n);
        if (p != nullptr) ++liveAllocations;
        return p;
    }
    static void free(void* p) {
        if (p != nullptr) --liveAllocations;
        std::free(p);
    }
    static bool SetCurrentDirectoryA(const char* path) { return ::chdir(path) == 0; }
    static std::uint32_t GetModuleFileNameA(void*, char* buffer, std::uint32_t size) {
        if (packagePath.size() >= size) return size;
        packagePath.copy(buffer, packagePath.size());
        buffer[packagePath.size()] = '\0';
        return static_cast<std::uint32_t>(packagePath.size());
    }
    static Handle CreateFileA(const char* name, std::uint32_t access, std::uint32_t, void*,
                              std::uint32_t disposition, std::uint32_t, void*) {
        if (access == kGenericRead && disposition == kOpenExisting) return ::open(name, O_RDONLY);
        return ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    static std::uint32_t SetFilePointer(Handle file, std::int32_t distance, std::int32_t*,
                                        std::uint32_t method) {
        const off_t at = ::lseek(file, distance, method == kFileEnd ? SEEK_END : SEEK_SET);
        return at < 0 || at > 0xFFFFFFFEll ? kInvalidSetFilePointer : static_cast<std::uint32_t>(at);
    }
    static bool ReadFile(Handle file, void* buffer, std::uint32_t n, std::uint32_t* got, void*) {
        std::uint32_t total = 0;
        while (total < n) {
            const ssize_t r = ::read(file, static_cast<char*>(buffer) + total, n - total);
            if (r < 0) return false;
            if (r == 0) break;
            total += static_cast<std::uint32_t>(r);
        }
        *got = total;
        return true;
    }
    static bool WriteFile(Handle file, const void* buffer, std::uint32_t n, std::uint32_t* written, void*) {
        std::uint32_t allowed = n;
        if (diskSpace >= 0 && diskSpace < n) allowed = static_cast<std::uint32_t>(diskSpace);
        std::uint32_t total = 0;
        while (total < allowed) {
            const ssize_t w = ::write(file, static_cast<const char*>(buffer) + total, allowed - total);
            if (w <= 0) break;
            total += static_cast<std::uint32_t>(w);
        }
        if (diskSpace >= 0) diskSpace -= total;
        *written = total;
        return total == n;  // like Windows, a full disk fails the call after a partial write
    }
    static bool CloseHandle(Handle file) { return ::close(file) == 0; }
    static bool DeleteFileA(const char* name) { return ::unlink(name) == 0; }
    static std::uint32_t aPsafe_get_orig_size(const void* block) { return ::aPsafe_get_orig_size(block); }
    static std::uint32_t aPsafe_depack(const void* block, std::uint32_t n, void* out,
                                       std::uint32_t capacity) {
        return ::aPsafe_depack(block, n, out, capacity);
    }
};

}  // namespace upgrade
