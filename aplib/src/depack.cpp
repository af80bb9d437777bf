// The raw stream depacker (the format is described in format.h).
//
// Two decoders share the state. The fast one keeps the stream in a 64-bit bit buffer
// (the rest of the tag byte, then the bytes after it) and takes data bytes out of the
// buffer too. It runs while at least kInputMargin bytes of input are left, so its loads
// never need a check, and it changes nothing unless the token is whole and valid and its
// output fits: otherwise it leaves the token to the careful decoder, which reads bit by
// bit, checks every read and write, and says exactly what is wrong. The careful decoder
// also does the last tokens of the input.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>

#include "aplib/aplib.h"

// 64-bit x86 only: on 32-bit x86 the bit buffer lives in register pairs, where the
// bit-count build gains little, and under the 32-bit emulator that the Windows tests run
// in it misjudged offsets of damaged streams.
#if defined(__GNUC__) && defined(__x86_64__)
#include <cpuid.h>
#define APLIB_X86_DISPATCH 1
#else
#define APLIB_X86_DISPATCH 0
#endif

namespace aplib {
namespace {

// Input the fast decoder needs left at a token's start: eight bytes for the refill and,
// as the refill moves on by up to seven bytes, eight for a run of literals, which is
// copied from the stream and may reach past the buffer's valid bits.
constexpr std::ptrdiff_t kInputMargin = 16;

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

// The next eight stream bytes, the first one at the top.
inline std::uint64_t LoadBe64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
}

// The top `n` bits set, n < 64.
inline std::uint64_t TopMask(unsigned n) { return ~(~std::uint64_t{0} >> n); }

// Copies `len` bytes from `op - off` to `op`; the caller has checked that the source lies
// inside the output produced so far and that `len` bytes fit before `oend`. Bytes between
// `op + len` and `oend` may be overwritten.
inline void CopyMatch(std::uint8_t* op, std::size_t off, std::size_t len, std::uint8_t* oend) {
    const std::uint8_t* m = op - off;
    const auto room = static_cast<std::size_t>(oend - op);
    if (off >= 16) {
        if (len >= 256 && off >= len) {  // long and apart: the library copy is faster
            std::memcpy(op, m, len);
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
    if (off >= 8 && room >= len + 7) {
        for (std::size_t done = 0; done < len; done += 8) Copy8(op + done, m + done);
        return;
    }
    // Repeat the pattern until `step`, a multiple of the offset of at least 16, is written;
    // from then on every 16-byte chunk can be copied from `step` bytes back without overlap.
    const std::size_t step = off * ((16 + off - 1) / off);
    std::size_t done = 0;
    const std::size_t head = std::min(step, len);
    for (; done < head; ++done) op[done] = m[done];
    if (room >= len + 15) {
        for (; done < len; done += 16) Copy16(op + done, op + done - step);
        return;
    }
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

struct Gamma {
    std::uint32_t value;
    unsigned used;  // bits of the code; 0: longer than eight pairs
};

// The gamma code at the top of `code` when it has at most eight pairs (values below 512,
// nearly all of them): it ends at the first "more" bit that is 0, and its data bits are
// gathered a byte at a time by table.
inline Gamma ShortGamma(std::uint64_t code) {
    const std::uint64_t stop = ~code & 0x5555000000000000u;
    if (stop == 0) return Gamma{0, 0};
    const unsigned used = static_cast<unsigned>(std::countl_zero(stop)) + 1;
    const std::uint32_t data = std::uint32_t{kDataBits[static_cast<std::size_t>(code >> 56)]} << 4 |
                               kDataBits[static_cast<std::size_t>((code >> 48) & 0xFFu)];
    return Gamma{(0x100u | data) >> (8 - used / 2), used};
}

using format::LengthBonus;

// Where the stream stands: the next byte, and the current tag byte's unread bits at the
// top of `tag` (`bits` of them, 0..8; the bits below are zero).
struct Cursor {
    const std::uint8_t* ip;
    std::uint64_t tag;
    unsigned bits;
};

// What the decoders share: the stream position, the output so far and the match state.
struct Decoder {
    Cursor c;
    std::uint8_t* op;
    std::size_t lastOffset;  // 0 until the first match sets it
    bool afterMatch;
    const std::uint8_t* iend;
    std::uint8_t* obegin;
    std::uint8_t* oend;
    Status status;  // why CarefulToken failed
};

enum class Step : std::uint8_t { kMore, kEnd, kFail };

// Decodes one token bit by bit, checking every read and write. Out of line, so that it
// takes no registers from the fast loop.
[[gnu::noinline]] Step CarefulToken(Decoder& d) noexcept {
    Cursor& c = d.c;
    std::uint8_t*& op = d.op;
#define APLIB_FAIL(why)     \
    do {                    \
        d.status = (why);   \
        return Step::kFail; \
    } while (0)

#define APLIB_GETBIT(out)                                       \
    do {                                                        \
        if (c.bits == 0) {                                      \
            if (c.ip == d.iend) APLIB_FAIL(Status::kTruncated); \
            c.tag = std::uint64_t{*c.ip++} << 56;               \
            c.bits = 8;                                         \
        }                                                       \
        (out) = static_cast<std::uint32_t>(c.tag >> 63);        \
        c.tag <<= 1;                                            \
        --c.bits;                                               \
    } while (0)

#define APLIB_GETGAMMA(out)                                           \
    do {                                                              \
        std::uint32_t v_ = 1, b_ = 0, more_ = 0;                      \
        do {                                                          \
            APLIB_GETBIT(b_);                                         \
            if (v_ & 0x80000000u) APLIB_FAIL(Status::kGammaOverflow); \
            v_ = (v_ << 1) | b_;                                      \
            APLIB_GETBIT(more_);                                      \
        } while (more_);                                              \
        (out) = v_;                                                   \
    } while (0)

    std::uint32_t bit = 0;
    APLIB_GETBIT(bit);
    if (!bit) {
        if (c.ip == d.iend) APLIB_FAIL(Status::kTruncated);
        if (op == d.oend) APLIB_FAIL(Status::kOutputOverflow);
        *op++ = *c.ip++;
        d.afterMatch = false;
        return Step::kMore;
    }
    APLIB_GETBIT(bit);
    if (!bit) {
        // 10: a match with a gamma-coded offset, or with the last offset.
        std::uint32_t high = 0;
        APLIB_GETGAMMA(high);
        std::uint64_t offset = 0;
        std::uint32_t code = 0;
        std::uint64_t len = 0;
        if (!d.afterMatch && high == format::kRepeatCode) {
            if (d.lastOffset == 0) APLIB_FAIL(Status::kRepBeforeMatch);
            offset = d.lastOffset;
            APLIB_GETGAMMA(code);
            len = code;
        } else {
            high -= d.afterMatch ? format::kHighAfterMatch : format::kHighAfterLiteral;
            if (c.ip == d.iend) APLIB_FAIL(Status::kTruncated);
            offset = (std::uint64_t{high} << 8) | *c.ip++;
            APLIB_GETGAMMA(code);
            len = code;
            // Bit by bit, as the format states it (the fast loop uses LengthBonus).
            if (offset >= format::kFarOffset) ++len;
            if (offset >= format::kMidOffset) ++len;
            if (offset < format::kNearOffset) len += 2;
        }
        // One comparison for both offset 0 and an offset beyond the output so far.
        if (offset - 1 >= static_cast<std::uint64_t>(op - d.obegin)) {
            APLIB_FAIL(offset == 0 ? Status::kZeroOffset : Status::kOffsetTooFar);
        }
        if (len > static_cast<std::uint64_t>(d.oend - op)) APLIB_FAIL(Status::kOutputOverflow);
        CopyMatch(op, static_cast<std::size_t>(offset), static_cast<std::size_t>(len), d.oend);
        op += len;
        d.lastOffset = static_cast<std::size_t>(offset);
        d.afterMatch = true;
        return Step::kMore;
    }
    APLIB_GETBIT(bit);
    if (!bit) {
        // 110: short match, or the end of the stream.
        if (c.ip == d.iend) APLIB_FAIL(Status::kTruncated);
        const std::uint32_t code = *c.ip++;
        const std::size_t offset = code >> 1;
        if (offset == 0) return Step::kEnd;
        const std::size_t len = format::kShortMatchMinLength + (code & 1u);
        if (offset > static_cast<std::size_t>(op - d.obegin)) APLIB_FAIL(Status::kOffsetTooFar);
        if (len > static_cast<std::size_t>(d.oend - op)) APLIB_FAIL(Status::kOutputOverflow);
        const std::uint8_t* m = op - offset;
        for (std::size_t i = 0; i < len; ++i) op[i] = m[i];
        op += len;
        d.lastOffset = offset;
        d.afterMatch = true;
        return Step::kMore;
    }
    // 111: one byte from up to 15 back, or a zero byte.
    std::uint32_t offset = 0;
    for (int i = 0; i < 4; ++i) {
        APLIB_GETBIT(bit);
        offset = (offset << 1) | bit;
    }
    if (offset > static_cast<std::size_t>(op - d.obegin)) APLIB_FAIL(Status::kOffsetTooFar);
    if (op == d.oend) APLIB_FAIL(Status::kOutputOverflow);
    *op = offset ? op[-static_cast<std::ptrdiff_t>(offset)] : 0;
    ++op;
    d.afterMatch = false;
    return Step::kMore;
#undef APLIB_GETBIT
#undef APLIB_GETGAMMA
#undef APLIB_FAIL
}

// Decodes tokens until the next one is for the careful decoder: less than kInputMargin
// bytes left, a code too long, an invalid token, the end, or output that does not fit.
// Compiled once for any processor and, on 64-bit x86, once more with the bit-count instructions
// (a zero count takes one step instead of about five).
[[gnu::always_inline]] inline void FastTokens(Decoder& d) noexcept {
    // What the loop relies on: the first byte is out, the cursor lies within the input,
    // the tag byte has at most 8 unread bits and nothing below them.
    assert(d.op > d.obegin && d.op <= d.oend);
    assert(d.c.ip <= d.iend);
    assert(d.c.bits <= 8 && (d.c.tag & ~TopMask(d.c.bits)) == 0);
    assert(d.afterMatch ? d.lastOffset != 0 : true);
    // The fast loop keeps the stream in a bit buffer: the rest of the tag byte at the top,
    // then the stream bytes that follow it, `avail` valid bits in all; `sp` is the stream
    // byte after them. As whole bytes follow the tag's rest, that rest is avail % 8 bits.
    // Bits below the valid ones are a prefix of the bytes at `sp` or zero, so refilling
    // by OR is safe. A data byte is taken out of the buffer right after the tag's rest.
    std::uint64_t buf = d.c.tag;
    unsigned avail = d.c.bits;
    const std::uint8_t* sp = d.c.ip;
    std::uint8_t* op = d.op;
    // The last offset and whether the last token was a match, as lastOffset * 2 + 1 or 0.
    std::uint64_t matchState = std::uint64_t{d.lastOffset} << 1 | (d.afterMatch ? 1u : 0u);
    const std::uint8_t* const iend = d.iend;
    std::uint8_t* const obegin = d.obegin;
    std::uint8_t* const oend = d.oend;
    for (;;) {
        if (iend - sp >= kInputMargin) {
            // At least 56 valid bits after this: enough for any other token. Set bits
            // below the valid ones must be bits of the bytes at `sp`, or the OR corrupts them.
            assert(avail <= 63 && (buf & ~TopMask(avail) & ~(LoadBe64(sp) >> avail)) == 0);
            buf |= LoadBe64(sp) >> avail;
            sp += (63 - avail) >> 3;
            avail |= 56;
            assert(sp <= iend);
            const auto produced = static_cast<std::uint64_t>(op - obegin);
            const auto room = static_cast<std::size_t>(oend - op);
            if (!(buf >> 63)) {
                // A run of literals: as many as there are zero bits before the next one bit
                // of this tag byte (the next byte when none is left), and their bytes follow
                // each other in the stream. They are copied from the stream, and the buffer
                // starts again behind them.
                const unsigned tagBits = ((avail - 1) & 7) + 1;  // avail >= 56 here
                const unsigned run = std::min(static_cast<unsigned>(std::countl_zero(buf | 1u)), tagBits);
                const std::uint8_t* ip = sp - ((avail - tagBits) >> 3);
                if (room >= 8) {
                    Copy8(op, ip);
                    op += run;
                    matchState &= ~std::uint64_t{1};
                    if (run == tagBits) {
                        // The next tag byte follows the literals. Its place does not wait
                        // for the count, so its load can start early.
                        buf = 0;
                        avail = 0;
                        sp = ip + tagBits;
                        continue;
                    }
                    avail = tagBits - run;
                    buf = (buf << run) & TopMask(avail);
                    sp = ip + run;
                    continue;
                }
            } else if (!(buf & (std::uint64_t{1} << 62))) {
                // 10: a match with a gamma-coded offset, or with the last offset.
                const std::uint64_t code = buf << 2;
                const Gamma high = ShortGamma(code);
                if (high.used != 0) {
                    std::uint64_t offset = matchState >> 1;
                    Gamma length{0, 0};
                    std::uint64_t rest = 0;  // the buffer after the token
                    unsigned tokenBits = 0;  // and how many valid bits it took
                    if ((high.value == format::kRepeatCode) & !(matchState & 1)) {
                        // gamma(length) follows at once.
                        length = ShortGamma(code << 2);
                        rest = code << (2 + length.used);
                        tokenBits = 4 + length.used;
                    } else {
                        // The offset's low byte, then gamma(length).
                        const unsigned used = 2 + high.used;
                        const unsigned tagLeft = (avail - used) & 7;
                        std::uint64_t b = buf << used;
                        static_assert(format::kHighAfterLiteral == format::kHighAfterMatch + 1);
                        offset = ((std::uint64_t{high.value} - format::kHighAfterLiteral + (matchState & 1))
                                  << 8) |
                                 ((b << tagLeft) >> 56);
                        const std::uint64_t keep = TopMask(tagLeft);
                        b = (b & keep) | ((b << 8) & ~keep);
                        length = ShortGamma(b);
                        length.value += static_cast<std::uint32_t>(LengthBonus(offset));
                        rest = b << length.used;
                        tokenBits = used + 8 + length.used;
                    }
                    // One comparison for offset 0 (no last offset yet) and one beyond the
                    // output so far.
                    if (length.used != 0 && offset - 1 < produced && length.value <= room) {
                        const auto off = static_cast<std::size_t>(offset);
                        const std::size_t len = length.value;
                        if (off >= 16 && len <= 32 && room >= 32) {
                            // Most matches: two chunks without looking at the length.
                            Copy16(op, op - off);
                            Copy16(op + 16, op + 16 - off);
                        } else {
                            CopyMatch(op, off, len, oend);
                        }
                        op += len;
                        buf = rest;
                        avail -= tokenBits;
                        matchState = offset << 1 | 1;
                        continue;
                    }
                }
            } else if (!(buf & (std::uint64_t{1} << 61))) {
                // 110: short match, or the end of the stream (left to the careful decoder).
                const unsigned tagLeft = (avail - 3) & 7;
                std::uint64_t b = buf << 3;
                const auto code = static_cast<std::uint32_t>((b << tagLeft) >> 56);
                const std::size_t offset = code >> 1;
                if (offset != 0 && offset <= produced && room >= 3) {
                    op[0] = op[-static_cast<std::ptrdiff_t>(offset)];
                    op[1] = op[1 - static_cast<std::ptrdiff_t>(offset)];
                    // The third byte is written even for length 2: the next token
                    // overwrites it, and leaving out the branch is faster.
                    op[2] = op[2 - static_cast<std::ptrdiff_t>(offset)];
                    op += 2 + (code & 1u);
                    const std::uint64_t keep = TopMask(tagLeft);
                    buf = (b & keep) | ((b << 8) & ~keep);
                    avail -= 11;
                    matchState = offset << 1 | 1;
                    continue;
                }
            } else {
                // 111: one byte from up to 15 back, or a zero byte.
                const auto offset = static_cast<std::size_t>((buf >> 57) & 15u);
                if (offset <= produced && room >= 1) {
                    // Offset 0 reads the byte about to be written (there is room for it)
                    // and drops it: no branch on the offset.
                    const std::uint8_t back = op[-static_cast<std::ptrdiff_t>(offset)];
                    *op = static_cast<std::uint8_t>(back & (0u - static_cast<unsigned>(offset != 0)));
                    ++op;
                    buf <<= 7;
                    avail -= 7;
                    matchState &= ~std::uint64_t{1};
                    continue;
                }
            }
        }
        d.c = Cursor{sp - (avail >> 3), buf & TopMask(avail & 7), avail & 7};
        d.op = op;
        d.lastOffset = static_cast<std::size_t>(matchState >> 1);
        d.afterMatch = (matchState & 1) != 0;
        return;
    }
}

void FastTokensPlain(Decoder& d) noexcept { FastTokens(d); }

#if APLIB_X86_DISPATCH
[[gnu::target("lzcnt,bmi,bmi2")]] void FastTokensBitCount(Decoder& d) noexcept { FastTokens(d); }

bool HasBitCount() noexcept {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0x80000001u, &a, &b, &c, &d) || !(c & (1u << 5))) return false;  // LZCNT
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b & (1u << 3)) && (b & (1u << 8));  // BMI1, BMI2
}
#endif

using FastLoop = void (*)(Decoder&) noexcept;

FastLoop ChooseFastLoop() noexcept {
#if APLIB_X86_DISPATCH
    if (HasBitCount()) return FastTokensBitCount;
#endif
    return FastTokensPlain;
}

}  // namespace

namespace {

// Decodes tokens until the end, a failure, or (when `room` is given) a token that does not
// fit the output: that one is left whole, for a caller that adds room and goes on.
Step Run(Decoder& d, bool stopForRoom) noexcept {
    static const FastLoop fast = ChooseFastLoop();
    for (;;) {
        fast(d);
        const Cursor before = d.c;
        const Step step = CarefulToken(d);
        if (step == Step::kMore) continue;
        // A token that fails for room has written nothing and set no state but the cursor.
        if (step == Step::kFail && stopForRoom && d.status == Status::kOutputOverflow) d.c = before;
        return step;
    }
}

RawResult Result(const Decoder& d, Step step, std::span<const std::uint8_t> src) {
    return RawResult{step == Step::kEnd ? Status::kOk : d.status, static_cast<std::size_t>(d.op - d.obegin),
                     static_cast<std::size_t>(d.c.ip - src.data())};
}

Decoder Start(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) {
    Decoder d{Cursor{src.data() + 1, 0, 0}, dst.data() + 1, 0, false, src.data() + src.size(), dst.data(),
              dst.data() + dst.size(),      Status::kOk};
    d.obegin[0] = src[0];
    return d;
}

}  // namespace

RawResult DepackRaw(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) noexcept {
    if (src.empty()) return RawResult{Status::kTruncated, 0, 0};
    if (dst.empty()) return RawResult{Status::kOutputOverflow, 0, 0};
    Decoder d = Start(src, dst);
    return Result(d, Run(d, false), src);
}

RawResult DepackRaw(std::span<const std::uint8_t> src, Output& out, std::size_t limit) {
    if (src.empty()) return RawResult{Status::kTruncated, 0, 0};
    if (limit == 0) return RawResult{Status::kOutputOverflow, 0, 0};
    // Room doubles from a start that small blocks never pass; what is not written is
    // address space only.
    constexpr std::size_t kFirstRoom = std::size_t{1} << 20;
    out.Reserve(std::min(limit, kFirstRoom));
    Decoder d = Start(src, out.Room());
    for (;;) {
        const Step step = Run(d, true);
        const bool full = step == Step::kFail && d.status == Status::kOutputOverflow;
        if (!full || d.oend - d.obegin == static_cast<std::ptrdiff_t>(limit)) {
            const RawResult r = Result(d, step, src);
            out.SetSize(r.produced);
            return r;
        }
        const auto produced = d.op - d.obegin;
        const std::size_t capacity = static_cast<std::size_t>(d.oend - d.obegin);
        out.Reserve(capacity > limit / 2 ? limit : capacity * 2);
        const auto room = out.Room();
        d.obegin = room.data();
        d.op = room.data() + produced;
        d.oend = room.data() + room.size();
    }
}

}  // namespace aplib
