// The extractor's platform on Windows: the ANSI Win32 calls themselves and the
// unpacking library imported from "aplib.dll".
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "aplib/aplib_c.h"

namespace upgrade {

struct Win32Platform {
    using Handle = HANDLE;
    static constexpr DWORD kFileBegin = FILE_BEGIN;
    static constexpr DWORD kFileEnd = FILE_END;
    static constexpr DWORD kInvalidSetFilePointer = INVALID_SET_FILE_POINTER;
    static constexpr DWORD kGenericRead = GENERIC_READ;
    static constexpr DWORD kGenericWrite = GENERIC_WRITE;
    static constexpr DWORD kFileShareRead = FILE_SHARE_READ;
    static constexpr DWORD kOpenExisting = OPEN_EXISTING;
    static constexpr DWORD kCreateAlways = CREATE_ALWAYS;
    static constexpr DWORD kFileAttributeNormal = FILE_ATTRIBUTE_NORMAL;
    static Handle InvalidHandle() { return INVALID_HANDLE_VALUE; }

    static void* malloc(std::uint32_t n) { return std::malloc(n); }
    static void free(void* p) { std::free(p); }
    static BOOL SetCurrentDirectoryA(const char* path) { return ::SetCurrentDirectoryA(path); }
    static DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
        return ::GetModuleFileNameA(module, buffer, size);
    }
    static Handle CreateFileA(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                              DWORD disposition, DWORD flags, Handle tmpl) {
        return ::CreateFileA(name, access, share, security, disposition, flags, tmpl);
    }
    static DWORD SetFilePointer(Handle file, std::int32_t distance, LONG* high, DWORD method) {
        return ::SetFilePointer(file, distance, high, method);
    }
    static bool ReadFile(Handle file, void* buffer, std::uint32_t n, std::uint32_t* got,
                         OVERLAPPED* overlapped) {
        DWORD read = 0;
        const BOOL ok = ::ReadFile(file, buffer, n, &read, overlapped);
        *got = read;
        return ok != FALSE;
    }
    static bool WriteFile(Handle file, const void* buffer, std::uint32_t n, std::uint32_t* written,
                          OVERLAPPED* overlapped) {
        DWORD done = 0;
        const BOOL ok = ::WriteFile(file, buffer, n, &done, overlapped);
        *written = done;
        return ok != FALSE;
    }
    static bool CloseHandle(Handle file) { return ::CloseHandle(file) != FALSE; }
    static BOOL DeleteFileA(const char* name) { return ::DeleteFileA(name); }
    static std::uint32_t aPsafe_get_orig_size(const void* block) { return ::aPsafe_get_orig_size(block); }
    static std::uint32_t aPsafe_depack(const void* block, std::uint32_t n, void* out,
                                       std::uint32_t capacity) {
        return ::aPsafe_depack(block, n, out, capacity);
    }
};

}  // namespace upgrade
