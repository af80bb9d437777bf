// A plain depacker for the raw stream, one bit and one byte at a time, to check the fast
// one against: same status, same counts, same bytes. Used by the tests and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "aplib/aplib.h"

namespace aplib::reference {

inline RawResult ReferenceDepack(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst) {
    std::size_t ip = 0;
    std::size_t op = 0;
    unsigned tag = 0;
    unsigned bits = 0;
    std::size_t lastOffset = 0;
    bool afterMatch = false;
    Status failure = Status::kOk;

    auto fail = [&](Status why) {
        failure = why;
        return false;
    };
    auto bit = [&](unsigned& out) {
        if (bits == 0) {
            if (ip == src.size()) return fail(Status::kTruncated);
            tag = src[ip++];
            bits = 8;
        }
        --bits;
        out = (tag >> bits) & 1u;
        return true;
    };
    auto byte = [&](std::uint32_t& out) {
        if (ip == src.size()) return fail(Status::kTruncated);
        out = src[ip++];
        return true;
    };
    auto gamma = [&](std::uint64_t& out) {
        std::uint64_t v = 1;
        unsigned more = 1;
        while (more) {
            unsigned b = 0;
            if (!bit(b)) return false;
            if (v >= 0x80000000u) return fail(Status::kGammaOverflow);
            v = v << 1 | b;
            if (!bit(more)) return false;
        }
        out = v;
        return true;
    };
    auto copy = [&](std::uint64_t offset, std::uint64_t len) {
        if (offset == 0) return fail(Status::kZeroOffset);
        if (offset > op) return fail(Status::kOffsetTooFar);
        if (len > dst.size() - op) return fail(Status::kOutputOverflow);
        for (std::uint64_t i = 0; i < len; ++i, ++op) dst[op] = dst[op - static_cast<std::size_t>(offset)];
        return true;
    };
    auto result = [&](Status status) { return RawResult{status, op, ip}; };

    if (src.empty()) return result(Status::kTruncated);
    if (dst.empty()) return result(Status::kOutputOverflow);
    dst[op++] = src[ip++];
    for (;;) {
        unsigned b = 0;
        if (!bit(b)) return result(failure);
        if (b == 0) {  // literal: both checks before the byte counts as read
            if (ip == src.size()) return result(Status::kTruncated);
            if (op == dst.size()) return result(Status::kOutputOverflow);
            dst[op++] = src[ip++];
            afterMatch = false;
            continue;
        }
        if (!bit(b)) return result(failure);
        if (b == 0) {  // match
            std::uint64_t high = 0;
            std::uint64_t len = 0;
            std::uint64_t offset = 0;
            if (!gamma(high)) return result(failure);
            if (!afterMatch && high == 2) {
                if (lastOffset == 0) return result(Status::kRepBeforeMatch);
                offset = lastOffset;
                if (!gamma(len)) return result(failure);
            } else {
                std::uint32_t low = 0;
                if (!byte(low)) return result(failure);
                offset = (high - (afterMatch ? 2 : 3)) << 8 | low;
                if (!gamma(len)) return result(failure);
                len += (offset >= format::kFarOffset ? 1u : 0u) + (offset >= format::kMidOffset ? 1u : 0u) +
                       (offset < format::kNearOffset ? 2u : 0u);
            }
            if (!copy(offset, len)) return result(failure);
            lastOffset = static_cast<std::size_t>(offset);
            afterMatch = true;
            continue;
        }
        if (!bit(b)) return result(failure);
        if (b == 0) {  // short match or end
            std::uint32_t code = 0;
            if (!byte(code)) return result(failure);
            if ((code >> 1) == 0) return result(Status::kOk);
            if (!copy(code >> 1, 2 + (code & 1u))) return result(failure);
            lastOffset = code >> 1;
            afterMatch = true;
            continue;
        }
        unsigned offset = 0;  // short literal
        for (int i = 0; i < 4; ++i) {
            if (!bit(b)) return result(failure);
            offset = offset << 1 | b;
        }
        if (offset > op) return result(Status::kOffsetTooFar);
        if (op == dst.size()) return result(Status::kOutputOverflow);
        dst[op] = offset != 0 ? dst[op - offset] : 0;
        ++op;
        afterMatch = false;
    }
}

}  // namespace aplib::reference
