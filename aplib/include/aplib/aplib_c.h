// The library's two C calls, as the upgrade program imports them from "aplib.dll".
// Plain C, so that a C or C++ program can include it alone.
#ifndef APLIB_APLIB_C_H
#define APLIB_APLIB_C_H

// The library's C calls. On 32-bit Windows they use the standard calling convention and
// the DLL exports them as _aPsafe_get_orig_size@4 and _aPsafe_depack@16.
#if defined(_WIN32) && !defined(_WIN64)
#define APLIB_CALL __stdcall
#else
#define APLIB_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Original size from a safe block's header, or 0xFFFFFFFF when the tag or header size is
// wrong. Reads the 24 header bytes; the caller guarantees they are there.
unsigned int APLIB_CALL aPsafe_get_orig_size(const void* source);

// Unpacks a safe block of `srclen` bytes into `destination` (capacity `dstlen`). Returns
// the original size, or 0xFFFFFFFF on any failure.
unsigned int APLIB_CALL aPsafe_depack(const void* source, unsigned int srclen, void* destination,
                                      unsigned int dstlen);

#ifdef __cplusplus
}
#endif

#endif
