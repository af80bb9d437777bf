// The raw stream depacker.
//
// Stream layout: the first byte is a literal. After it, control bits are read one at a
// time, most significant first, from tag bytes; a new tag byte is taken from the stream at
// the moment the previous one has run out, so tag bytes sit between the data bytes exactly
// where the decoder needs them. Tokens:
//
//   0 + byte                 literal
//   111 + 4 bits             short literal: the byte 1..15 positions back, or 0 for offset 0
//   110 + byte               short match: offset byte>>1 (1..127), length 2 + (byte&1);
//                            offset 0 ends the stream
//   10 + gamma(h) ...        after a literal, h = 2 is a match with the last offset:
//                              gamma(length) follows
//                            otherwise the offset is ((h - 3, or h - 2 after a match) << 8) +
//                            the next byte, then gamma(length); the length grows by one from
//                            offset 1280 and again from 32000, and by two below offset 128
//
// gamma(v), v >= 2: start with 1, then repeatedly shift in one bit and read one more bit
// that says whether another follows.
//
// Every read is checked against the end of the input and every write against the end of
// the output; matches are copied in 16-byte chunks where the offset allows, and repeating
// patterns of short offsets are widened to at least 16 bytes first.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "aplib/aplib.h"

namespace aplib {
namespace {

inline void Copy16(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint8_t chunk[16];
    std::memcpy(chunk, src, 16);
    std::memcpy(dst, chunk, 16);
}

inline void Copy8(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint8_t chunk[8];
    std::memcpy(chunk, src, 8);
    std::memcpy(dst, chunk, 8);
}

// Copies `len` bytes from `op - off` to `op`; the caller has checked that the source lies
// inside the output produced so far and that `len` bytes fit before `oend`.
inline void CopyMatch(std::uint8_t* op, std::size_t off, std::size_t len, std::uint8_t* oend) {
    const std::uint8_t* m = op - off;
    const std::size_t room = static_cast<std::size_t>(oend - op);
    if (off >= 16) {
        if (len <= 16 && room >= 16) {
            Copy16(op, m);
            return;
        }
        if (room >= len + 15) {  // whole chunks may run past the match, not past the buffer
            for (std::size_t done = 0; done < len; done += 16) Copy16(op + done, m + done);
            return;
        }
        for (; len >= 16; len -= 16, op += 16, m += 16) Copy16(op, m);
        std::memcpy(op, m, len);  // off >= 16 > len: the two ranges do not overlap
        return;
    }
    if (off == 1) {
        std::memset(op, *m, len);
        return;
    }
    if (len <= 16) {
        for (std::size_t i = 0; i < len; ++i) op[i] = m[i];
        return;
    }
    // Repeat the pattern until `step`, a multiple of the offset of at least 16, is written;
    // from then on every 16-byte chunk can be copied from `step` bytes back without overlap.
    const std::size_t step = off * ((16 + off - 1) / off);
    std::size_t done = 0;
    const std::size_t head = std::min(step, len);
    for (; done < head; ++done) op[done] = m[done];
    for (; done + 16 <= len; done += 16) Copy16(op + done, op + done - step);
    for (; done < len; ++done) op[done] = op[done - step];
}

// The data bits of the four (data, more) pairs in a byte, read from the top.
constexpr std::array<std::uint8_t, 256> kDataBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = static_cast<std::uint8_t>((b >> 7 & 1u) << 3 | (b >> 5 & 1u) << 2 | (b >> 3 & 1u) << 1 |
                                             (b >> 1 & 1u));
    }
    return table;
}();

// The value of the gamma code of `pairs` (data, more) pairs at the top of `code`.
inline std::uint32_t GammaValue(std::uint32_t code, unsigned pairs) {
    const std::uint32_t data = std::uint32_t{kDataBits[code >> 24]} << 12 |
                               std::uint32_t{kDataBits[(code >> 16) & 0xFFu]} << 8 |
                               std::uint32_t{kDataBits[(code >> 8) & 0xFFu]} << 4 | kDataBits[code & 0xFFu];
    return (1u << pairs) | (data >> (16 - pairs));
}

// The rest of the tag byte (`bits` bits at the top of `tag`, zeros below) followed by the
// next four stream bytes, as they would be read as control bits: at least 32 bits at the
// top of the result. Needs four bytes at `ip`.
inline std::uint64_t Window(const std::uint8_t* ip, std::uint32_t tag, unsigned bits) {
    const std::uint32_t next = static_cast<std::uint32_t>(ip[0]) << 24 |
                               static_cast<std::uint32_t>(ip[1]) << 16 |
                               static_cast<std::uint32_t>(ip[2]) << 8 | ip[3];
    return (std::uint64_t{tag} << 32) | (std::uint64_t{next} << (32 - bits));
}

// Takes `used` control bits (at most 32) of `window`: as many stream bytes as became tag
// bytes are passed, and the last of them, if partly used, is the current tag byte.
inline void Consume(std::uint64_t window, unsigned used, const std::uint8_t*& ip, std::uint32_t& tag,
                    unsigned& bits) {
    const unsigned taken = (used + 7 - bits) >> 3;
    const unsigned left = bits + 8 * taken - used;
    tag = static_cast<std::uint32_t>((window << used) >> 32) & ~(0xFFFFFFFFu >> left);
    ip += taken;
    bits = left;
}

}  // namespace

RawResult DepackRaw(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) noexcept {
    const std::uint8_t* ip = src.data();
    const std::uint8_t* const iend = ip + src.size();
    std::uint8_t* const obegin = dst.data();
    std::uint8_t* op = obegin;
    std::uint8_t* const oend = op + dst.size();

    // Failures return what was produced and read up to the failure.
#define APLIB_FAIL(status) \
    RawResult { (status), static_cast<std::size_t>(op - obegin), static_cast<std::size_t>(ip - src.data()) }

    if (ip == iend) return APLIB_FAIL(Status::truncated);
    if (op == oend) return APLIB_FAIL(Status::output_overflow);
    *op++ = *ip++;

    // The current tag byte sits in the top bits of `tag`, `bits` of it left; the bits
    // below them are zero.
    std::uint32_t tag = 0;
    unsigned bits = 0;
    std::size_t lastOffset = 0;  // 0 until the first match sets it
    bool afterMatch = false;

#define APLIB_GETBIT(out)                                         \
    do {                                                          \
        if (bits == 0) {                                          \
            if (ip == iend) return APLIB_FAIL(Status::truncated); \
            tag = static_cast<std::uint32_t>(*ip++) << 24;        \
            bits = 8;                                             \
        }                                                         \
        (out) = tag >> 31;                                        \
        tag <<= 1;                                                \
        --bits;                                                   \
    } while (0)

    // Gamma codes use only control bits, so while one is read no data byte comes between
    // the tag bytes: the rest of the current tag and the next four stream bytes form one
    // window of at least 32 bits. A code that ends in it is decoded without a loop: the
    // first pair whose "more" bit is 0 ends it, and its data bits are gathered by table.
    // Near the end of the input, or for codes over 32 bits, bits are read one by one.
#define APLIB_GETGAMMA(out)                                                                \
    do {                                                                                   \
        if (iend - ip >= 4) {                                                              \
            const std::uint64_t window_ = Window(ip, tag, bits);                           \
            const auto top_ = static_cast<std::uint32_t>(window_ >> 32);                   \
            const std::uint32_t stop_ = ~top_ & 0x55555555u;                               \
            if (stop_ != 0) {                                                              \
                const unsigned used_ = static_cast<unsigned>(std::countl_zero(stop_)) + 1; \
                (out) = GammaValue(top_, used_ / 2);                                       \
                Consume(window_, used_, ip, tag, bits);                                    \
                break;                                                                     \
            }                                                                              \
        }                                                                                  \
        std::uint32_t v_ = 1, b_ = 0, more_ = 0;                                           \
        do {                                                                               \
            APLIB_GETBIT(b_);                                                              \
            if (v_ & 0x80000000u) return APLIB_FAIL(Status::gamma_overflow);               \
            v_ = (v_ << 1) | b_;                                                           \
            APLIB_GETBIT(more_);                                                           \
        } while (more_);                                                                   \
        (out) = v_;                                                                        \
    } while (0)

    for (;;) {
        if (bits == 0) {
            if (ip == iend) return APLIB_FAIL(Status::truncated);
            tag = static_cast<std::uint32_t>(*ip++) << 24;
            bits = 8;
        }
        if (!(tag >> 31)) {
            // A run of literals: as many as there are zero bits before the next one bit of
            // this tag byte, and their bytes follow each other in the stream.
            unsigned run = std::min<unsigned>(static_cast<unsigned>(std::countl_zero(tag)), bits);
            if (iend - ip >= 8 && oend - op >= 8) {
                Copy8(op, ip);
            } else {
                run = 1;
                if (ip == iend) return APLIB_FAIL(Status::truncated);
                if (op == oend) return APLIB_FAIL(Status::output_overflow);
                *op = *ip;
            }
            op += run;
            ip += run;
            tag <<= run;
            bits -= run;
            afterMatch = false;
            continue;
        }
        // 1x: the token's kind from its second and third bit, and for 111 its four offset
        // bits, taken at once from the window when the input has four more bytes.
        unsigned kind = 0;  // 2: 10, 6: 110, 7: 111
        std::uint32_t nibble = 0;
        std::uint32_t high = 0;  // for 10: the first gamma code, when already read
        if (iend - ip >= 4) {
            const std::uint64_t window = Window(ip, tag, bits);
            const auto top = static_cast<std::uint32_t>(window >> 32);
            if (!(top & 0x40000000u)) {
                // 10 and, when it ends within the window's next 30 bits, the gamma code
                // behind it (the window holds at least 33 bits here).
                kind = 2;
                const std::uint32_t code = top << 2;
                const std::uint32_t stop = ~code & 0x55555554u;
                unsigned used = 2;
                if (stop != 0) {
                    const unsigned codeBits = static_cast<unsigned>(std::countl_zero(stop)) + 1;
                    high = GammaValue(code, codeBits / 2);
                    used += codeBits;
                }
                Consume(window, used, ip, tag, bits);
            } else if (!(top & 0x20000000u)) {
                kind = 6;
                Consume(window, 3, ip, tag, bits);
            } else {
                kind = 7;
                nibble = (top >> 25) & 15u;
                Consume(window, 7, ip, tag, bits);
            }
        } else {
            std::uint32_t bit = 0;
            tag <<= 1;
            --bits;
            APLIB_GETBIT(bit);
            if (!bit) {
                kind = 2;
            } else {
                APLIB_GETBIT(bit);
                kind = bit ? 7 : 6;
                if (kind == 7) {
                    for (int i = 0; i < 4; ++i) {
                        APLIB_GETBIT(bit);
                        nibble = (nibble << 1) | bit;
                    }
                }
            }
        }
        if (kind == 2) {
            // 10: a match with a gamma-coded offset, or with the last offset.
            if (high == 0) APLIB_GETGAMMA(high);
            std::uint64_t offset = 0;
            std::uint32_t code = 0;
            std::uint64_t len = 0;
            if (!afterMatch && high == 2) {
                if (lastOffset == 0) return APLIB_FAIL(Status::rep_before_match);
                offset = lastOffset;
                APLIB_GETGAMMA(code);
                len = code;
            } else {
                high -= afterMatch ? 2u : 3u;
                if (ip == iend) return APLIB_FAIL(Status::truncated);
                offset = (std::uint64_t{high} << 8) | *ip++;
                APLIB_GETGAMMA(code);
                len = code;
                if (offset >= 32000) ++len;
                if (offset >= 1280) ++len;
                if (offset < 128) len += 2;
            }
            // One comparison for both offset 0 and an offset beyond the output so far.
            if (offset - 1 >= static_cast<std::uint64_t>(op - obegin)) {
                return APLIB_FAIL(offset == 0 ? Status::zero_offset : Status::offset_too_far);
            }
            if (len > static_cast<std::uint64_t>(oend - op)) return APLIB_FAIL(Status::output_overflow);
            CopyMatch(op, static_cast<std::size_t>(offset), static_cast<std::size_t>(len), oend);
            op += len;
            lastOffset = static_cast<std::size_t>(offset);
            afterMatch = true;
            continue;
        }
        if (kind == 6) {
            // 110: short match, or the end of the stream.
            if (ip == iend) return APLIB_FAIL(Status::truncated);
            const std::uint32_t code = *ip++;
            const std::size_t offset = code >> 1;
            if (offset == 0) break;
            const std::size_t len = 2 + (code & 1u);
            if (offset > static_cast<std::size_t>(op - obegin)) return APLIB_FAIL(Status::offset_too_far);
            if (len > static_cast<std::size_t>(oend - op)) return APLIB_FAIL(Status::output_overflow);
            op[0] = op[-static_cast<std::ptrdiff_t>(offset)];
            op[1] = op[1 - static_cast<std::ptrdiff_t>(offset)];
            // The third byte is written even for length 2 when there is room: the next
            // token overwrites it, and leaving out the branch is faster.
            if (oend - op >= 3) op[2] = op[2 - static_cast<std::ptrdiff_t>(offset)];
            op += len;
            lastOffset = offset;
            afterMatch = true;
            continue;
        }
        // 111: one byte from up to 15 back, or a zero byte.
        const std::uint32_t offset = nibble;
        if (offset > static_cast<std::size_t>(op - obegin)) return APLIB_FAIL(Status::offset_too_far);
        if (op == oend) return APLIB_FAIL(Status::output_overflow);
        *op = offset ? op[-static_cast<std::ptrdiff_t>(offset)] : 0;
        ++op;
        afterMatch = false;
    }
#undef APLIB_GETBIT
#undef APLIB_GETGAMMA

#undef APLIB_FAIL
    return RawResult{Status::ok, static_cast<std::size_t>(op - obegin),
                     static_cast<std::size_t>(ip - src.data())};
}

}  // namespace aplib
