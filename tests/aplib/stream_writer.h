// Writes raw streams token by token, for tests that need exact codes (gamma codes of a
// given size, matches ending at a given place) rather than what the packer would choose.
// It also keeps the bytes the stream unpacks to, as far as its tokens stay within them.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "aplib/format.h"

namespace aplib::testing {

class StreamWriter {
public:
    explicit StreamWriter(std::uint8_t first) {
        stream_.push_back(first);
        out_.push_back(first);
    }

    void Literal(std::uint8_t b) {
        Bit(0);
        stream_.push_back(b);
        out_.push_back(b);
        afterMatch_ = false;
    }

    // offset 0 writes a zero byte
    void ShortLiteral(unsigned offset) {
        Bits(0b1110000 | offset, 7);
        if (offset <= out_.size()) out_.push_back(offset != 0 ? out_[out_.size() - offset] : 0);
        afterMatch_ = false;
    }

    void ShortMatch(unsigned offset, unsigned len) {  // offset 1..127, len 2..3
        Bits(0b110, 3);
        stream_.push_back(static_cast<std::uint8_t>(offset << 1 | (len - 2)));
        Copy(offset, len);
    }

    // A match with a gamma-coded offset; `len` includes the format's bonus for the offset.
    void Match(std::uint32_t offset, std::uint32_t len) {
        Bits(0b10, 2);
        Gamma((offset >> 8) + (afterMatch_ ? format::kHighAfterMatch : format::kHighAfterLiteral));
        stream_.push_back(static_cast<std::uint8_t>(offset));
        Gamma(len - format::LengthBonus(offset));
        Copy(offset, len);
    }

    // A match with the last offset; only after a literal or short literal.
    void Repeat(std::uint32_t len) {
        Bits(0b10, 2);
        Gamma(format::kRepeatCode);
        Gamma(len);
        Copy(lastOffset_, len);
    }

    void End() {
        Bits(0b110, 3);
        stream_.push_back(0);
    }

    const std::vector<std::uint8_t>& Stream() const { return stream_; }
    const std::vector<std::uint8_t>& Output() const { return out_; }

private:
    void Bit(unsigned bit) {
        if (bits_ == 0) {
            tagAt_ = stream_.size();
            stream_.push_back(0);
            bits_ = 8;
        }
        --bits_;
        if (bit) stream_[tagAt_] = static_cast<std::uint8_t>(stream_[tagAt_] | 1u << bits_);
    }

    void Bits(std::uint32_t value, int count) {
        for (int b = count - 1; b >= 0; --b) Bit(value >> b & 1u);
    }

    void Gamma(std::uint32_t v) {  // v >= 2
        for (int b = static_cast<int>(std::bit_width(v)) - 2; b >= 0; --b) {
            Bit(v >> b & 1u);
            Bit(b > 0 ? 1u : 0u);
        }
    }

    void Copy(std::uint32_t offset, std::uint32_t len) {
        for (std::uint32_t i = 0; i < len && offset <= out_.size(); ++i)
            out_.push_back(out_[out_.size() - offset]);
        lastOffset_ = offset;
        afterMatch_ = true;
    }

    std::vector<std::uint8_t> stream_;
    std::vector<std::uint8_t> out_;
    std::size_t tagAt_ = 0;
    unsigned bits_ = 0;
    std::uint32_t lastOffset_ = 0;
    bool afterMatch_ = false;
};

}  // namespace aplib::testing
