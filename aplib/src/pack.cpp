// The packer: a match finder over the whole input and a forward optimal-cost parse.
//
// Match finder. For every position it lists the matches worth considering as pairs
// (length, offset) with strictly growing length and offset: for each length, the nearest
// earlier occurrence. The nearest occurrence of the next 2 and 3 bytes comes from two
// direct tables, longer matches from hash chains over 4 bytes walked nearest first, to a
// fixed depth.
//
// Parse. Every position keeps a few "arrivals": the cheapest ways found so far to have
// written everything before it, each with the state that decides the price of what
// follows (the last offset, which a repeat match reuses, and whether the last token was a
// match). Positions are visited in order; each arrival there is extended by a literal, a
// short literal, a repeat match, or any listed match at any length it allows. Prices are
// exact bit counts of the tokens. A match of kNice bytes or more is taken at once, and the
// parse is also settled every kWindow positions, which bounds the memory of the parse.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "aplib/aplib.h"

namespace aplib {
namespace {

constexpr std::uint32_t kNice = 96;          // take matches this long without weighing them
constexpr std::uint32_t kWindow = 1u << 16;  // positions parsed before the path is settled
constexpr unsigned kArrivals = 4;            // states kept per position
constexpr unsigned kChainDepth = 24;         // chain entries visited per position
constexpr unsigned kHash4Bits = 17;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// Bits of gamma(v), v >= 2.
inline std::uint32_t GammaBits(std::uint32_t v) { return 2u * static_cast<std::uint32_t>(std::bit_width(v) - 1); }

// How much the format adds to the coded length of a match at this offset.
inline std::uint32_t LengthBonus(std::uint32_t offset) {
    return (offset >= 32000 ? 1u : 0u) + (offset >= 1280 ? 1u : 0u) + (offset < 128 ? 2u : 0u);
}

// Shortest match length that can be coded with a gamma offset.
inline std::uint32_t MinMatchLength(std::uint32_t offset) { return 2 + LengthBonus(offset); }

// Bits of a gamma-offset match, without the length part.
inline std::uint32_t OffsetBits(std::uint32_t offset, bool afterMatch) {
    return 2 + GammaBits((offset >> 8) + (afterMatch ? 2u : 3u)) + 8;
}

constexpr std::uint32_t kLiteralBits = 9;
constexpr std::uint32_t kShortLiteralBits = 7;
constexpr std::uint32_t kShortMatchBits = 11;

inline std::uint32_t RepBits(std::uint32_t len) { return 4 + GammaBits(len); }

enum class Kind : std::uint8_t { literal, short_literal, short_match, match, rep };

struct Arrival {
    std::uint32_t cost = kInfinite;
    std::uint32_t lastOffset = 0;  // 0: no match yet
    std::uint32_t len = 0;         // length of the token that arrives here
    std::uint32_t offset = 0;      // its offset (short literal: 0..15)
    std::uint8_t from = 0;         // arrival slot at the token's start
    Kind kind = Kind::literal;
    bool afterMatch = false;
};

struct Token {
    Kind kind;
    std::uint32_t len;
    std::uint32_t offset;
};

inline std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Length of the common prefix of a and b, at most `limit`.
inline std::uint32_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
    std::uint32_t n = 0;
    while (n + 8 <= limit) {
        const std::uint64_t x = Load64(a + n) ^ Load64(b + n);
        if (x != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return n + static_cast<std::uint32_t>(std::countr_zero(x)) / 8;
            } else {
                return n + static_cast<std::uint32_t>(std::countl_zero(x)) / 8;
            }
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Byte(std::uint8_t b) { out_.push_back(b); }

    void Bit(std::uint32_t bit) {
        if (bits_ == 0) {
            tagPos_ = out_.size();
            out_.push_back(0);
            bits_ = 8;
        }
        --bits_;
        if (bit) out_[tagPos_] = static_cast<std::uint8_t>(out_[tagPos_] | (1u << bits_));
    }

    void Gamma(std::uint32_t v) {
        const int top = static_cast<int>(std::bit_width(v)) - 1;
        for (int b = top - 1; b >= 0; --b) {
            Bit((v >> b) & 1u);
            Bit(b > 0 ? 1u : 0u);
        }
    }

private:
    std::vector<std::uint8_t>& out_;
    std::size_t tagPos_ = 0;
    unsigned bits_ = 0;
};

class Packer {
public:
    explicit Packer(std::span<const std::uint8_t> data)
        : in_(data.data()),
          size_(static_cast<std::uint32_t>(data.size())),
          prev_(data.size(), kNone),
          head4_(std::size_t{1} << kHash4Bits, kNone),
          head3_(std::size_t{1} << 16, kNone),
          head2_(std::size_t{1} << 16, kNone),
          arrivals_((std::min<std::size_t>(kWindow, data.size()) + kNice + 1) * kArrivals) {}

    std::vector<std::uint8_t> Run() {
        out_.reserve(size_ / 2 + 64);
        BitWriter writer(out_);
        writer_ = &writer;
        out_.push_back(in_[0]);
        Insert(0);

        base_ = 1;
        ResetWindow(Arrival{8, 0, 1, 0, 0, Kind::literal, false});
        std::uint32_t pos = 1;
        while (pos < size_) {
            if (pos - base_ >= kWindow) {
                Settle(pos, 0);  // slots are sorted by cost
                continue;
            }
            pos = Visit(pos);
        }
        if (size_ > 1) Settle(size_, 0);
        // End marker: a short match with offset 0.
        writer.Bit(1);
        writer.Bit(1);
        writer.Bit(0);
        writer.Byte(0);
        return std::move(out_);
    }

private:
    Arrival* At(std::uint32_t pos) { return &arrivals_[(pos - base_) * kArrivals]; }

    void ResetWindow(const Arrival& start) {
        const std::size_t used = (std::size_t{reached_} + 1) * kArrivals;
        for (std::size_t i = 0; i < used && i < arrivals_.size(); ++i) arrivals_[i].cost = kInfinite;
        reached_ = 0;
        arrivals_[0] = start;
        lastOffset_ = start.lastOffset;
        afterMatch_ = start.afterMatch;
    }

    // Offers an arrival at `pos`; keeps the list sorted by cost, one entry per state.
    void Offer(std::uint32_t pos, const Arrival& a) {
        reached_ = std::max(reached_, pos - base_);
        Arrival* list = At(pos);
        unsigned i = 0;
        for (; i < kArrivals && list[i].cost != kInfinite; ++i) {
            if (list[i].lastOffset == a.lastOffset && list[i].afterMatch == a.afterMatch) {
                if (a.cost >= list[i].cost) return;
                // Move the cheaper replacement up to its place.
                unsigned j = i;
                while (j > 0 && list[j - 1].cost > a.cost) {
                    list[j] = list[j - 1];
                    --j;
                }
                list[j] = a;
                return;
            }
        }
        // New state: insert by cost, dropping the most expensive when full.
        if (i == kArrivals) {
            if (a.cost >= list[kArrivals - 1].cost) return;
            i = kArrivals - 1;
        }
        while (i > 0 && list[i - 1].cost > a.cost) {
            list[i] = list[i - 1];
            --i;
        }
        list[i] = a;
    }

    static std::uint32_t Hash4(std::uint32_t v) { return (v * 2654435761u) >> (32 - kHash4Bits); }
    static std::uint32_t Hash3(std::uint32_t v) { return ((v & 0xFFFFFFu) * 2654435761u) >> 16; }

    void Insert(std::uint32_t pos) {
        if (pos + 4 <= size_) {
            const std::uint32_t v = Load32(in_ + pos);
            const std::uint32_t h = Hash4(v);
            prev_[pos] = head4_[h];
            head4_[h] = pos;
            head3_[Hash3(v)] = pos;
            head2_[v & 0xFFFFu] = pos;
        } else if (pos + 2 <= size_) {
            const std::uint32_t v = std::uint32_t{in_[pos]} | std::uint32_t{in_[pos + 1]} << 8;
            if (pos + 3 <= size_) head3_[Hash3(v | std::uint32_t{in_[pos + 2]} << 16)] = pos;
            head2_[v] = pos;
        }
    }

    // Fills matches_ with (length, offset) pairs for `pos`, nearest first, growing length.
    void FindMatches(std::uint32_t pos) {
        matches_.clear();
        const std::uint32_t limit = size_ - pos;
        if (limit < 2) return;
        const std::uint8_t* cur = in_ + pos;
        std::uint32_t best = 1;
        auto consider = [&](std::uint32_t cand) {
            if (cand == kNone || cand >= pos) return false;
            if (best < limit && cur[best] != in_[cand + best]) return false;
            const std::uint32_t len = MatchLength(cur, in_ + cand, limit);
            if (len > best) {
                best = len;
                matches_.push_back({len, pos - cand});
                return len >= kNice || len == limit;
            }
            return false;
        };
        const std::uint32_t v2 = std::uint32_t{cur[0]} | std::uint32_t{cur[1]} << 8;
        if (consider(head2_[v2])) return;
        if (limit < 3) return;
        const std::uint32_t v3 = v2 | std::uint32_t{cur[2]} << 16;
        if (consider(head3_[Hash3(v3)])) return;
        if (limit < 4) return;
        std::uint32_t cand = head4_[Hash4(Load32(cur))];
        for (unsigned depth = 0; depth < kChainDepth && cand != kNone; ++depth) {
            if (consider(cand)) return;
            cand = prev_[cand];
        }
    }

    // Parses from `pos`; returns the next position to visit.
    std::uint32_t Visit(std::uint32_t pos) {
        Arrival* here = At(pos);
        FindMatches(pos);
        Insert(pos);

        const std::uint32_t limit = size_ - pos;
        const std::uint8_t* cur = in_ + pos;

        // Repeat-match lengths of the arrivals that may use one.
        std::array<std::uint32_t, kArrivals> repLen{};
        std::uint32_t longest = matches_.empty() ? 0 : matches_.back().len;
        for (unsigned s = 0; s < kArrivals && here[s].cost != kInfinite; ++s) {
            const Arrival& a = here[s];
            if (a.afterMatch || a.lastOffset == 0 || a.lastOffset > pos) continue;
            repLen[s] = MatchLength(cur, cur - a.lastOffset, limit);
            longest = std::max(longest, repLen[s]);
        }

        if (longest >= kNice || (longest == limit && longest >= 2 && limit > 8)) {
            return TakeLong(pos, repLen);
        }

        // Literal and short literal.
        std::uint32_t shortLit = kNone;
        if (cur[0] == 0) {
            shortLit = 0;
        } else {
            const std::uint32_t reach = std::min<std::uint32_t>(15, pos);
            for (std::uint32_t k = 1; k <= reach; ++k) {
                if (cur[-static_cast<std::ptrdiff_t>(k)] == cur[0]) {
                    shortLit = k;
                    break;
                }
            }
        }
        std::uint32_t best[2] = {kInfinite, kInfinite};
        std::uint8_t bestSlot[2] = {0, 0};
        for (unsigned s = 0; s < kArrivals && here[s].cost != kInfinite; ++s) {
            const Arrival& a = here[s];
            const unsigned m = a.afterMatch ? 1 : 0;
            if (a.cost < best[m]) {
                best[m] = a.cost;
                bestSlot[m] = static_cast<std::uint8_t>(s);
            }
            const auto slot = static_cast<std::uint8_t>(s);
            if (shortLit != kNone) {
                Offer(pos + 1, {a.cost + kShortLiteralBits, a.lastOffset, 1, shortLit, slot, Kind::short_literal, false});
            } else {
                Offer(pos + 1, {a.cost + kLiteralBits, a.lastOffset, 1, 0, slot, Kind::literal, false});
            }
            for (std::uint32_t len = 2; len <= repLen[s]; ++len) {
                Offer(pos + len, {a.cost + RepBits(len), a.lastOffset, len, a.lastOffset, slot, Kind::rep, true});
            }
        }

        // Matches, from whichever state prices them lower.
        std::uint32_t from = 2;
        for (const auto& m : matches_) {
            for (std::uint32_t len = from; len <= m.len; ++len) {
                if (m.offset < 128 && len <= 3) {
                    const unsigned src = best[0] <= best[1] ? 0 : 1;
                    Offer(pos + len, {best[src] + kShortMatchBits, m.offset, len, m.offset, bestSlot[src], Kind::short_match, true});
                    continue;
                }
                if (len < MinMatchLength(m.offset)) continue;
                const std::uint32_t lenBits = GammaBits(len - LengthBonus(m.offset));
                std::uint32_t cost = kInfinite;
                std::uint8_t slot = 0;
                for (unsigned st = 0; st < 2; ++st) {
                    if (best[st] == kInfinite) continue;
                    const std::uint32_t c = best[st] + OffsetBits(m.offset, st == 1) + lenBits;
                    if (c < cost) {
                        cost = c;
                        slot = bestSlot[st];
                    }
                }
                Offer(pos + len, {cost, m.offset, len, m.offset, slot, Kind::match, true});
            }
            from = m.len + 1;
        }
        return pos + 1;
    }

    // A match long enough to take without weighing: settle the path to `pos`, emit the
    // longest match from the arrival that prices it lowest, and start over behind it.
    std::uint32_t TakeLong(std::uint32_t pos, const std::array<std::uint32_t, kArrivals>& repLen) {
        Arrival* here = At(pos);
        Arrival choice;
        std::uint32_t reach = 0;
        for (unsigned s = 0; s < kArrivals && here[s].cost != kInfinite; ++s) {
            const Arrival& a = here[s];
            const auto slot = static_cast<std::uint8_t>(s);
            Arrival option;
            if (repLen[s] >= 2) {
                option = {a.cost + RepBits(repLen[s]), a.lastOffset, repLen[s], a.lastOffset, slot, Kind::rep, true};
            }
            if (!matches_.empty()) {
                const auto& m = matches_.back();
                if (m.len >= MinMatchLength(m.offset) && m.len >= option.len) {
                    const std::uint32_t c = a.cost + OffsetBits(m.offset, a.afterMatch) +
                                            GammaBits(m.len - LengthBonus(m.offset));
                    if (m.len > option.len || c < option.cost) {
                        option = {c, m.offset, m.len, m.offset, slot, Kind::match, true};
                    }
                }
            }
            if (option.len > reach || (option.len == reach && option.cost < choice.cost)) {
                reach = option.len;
                choice = option;
            }
        }
        Settle(pos, choice.from);
        Emit({choice.kind, choice.len, choice.offset});
        const std::uint32_t end = pos + choice.len;
        for (std::uint32_t p = pos + 1; p < end; ++p) Insert(p);
        base_ = end;
        ResetWindow(Arrival{0, choice.lastOffset, 0, 0, 0, choice.kind, true});
        return end;
    }

    // Emits the cheapest path to arrival `slot` at `pos` and restarts the window there.
    void Settle(std::uint32_t pos, unsigned slot) {
        tokens_.clear();
        std::uint32_t p = pos;
        unsigned s = slot;
        while (p > base_) {
            const Arrival& a = At(p)[s];
            tokens_.push_back({a.kind, a.len, a.offset});
            p -= a.len;
            s = a.from;
        }
        const Arrival end = At(pos)[slot];
        for (auto it = tokens_.rbegin(); it != tokens_.rend(); ++it) Emit(*it);
        if (pos != base_) {
            base_ = pos;
            ResetWindow(Arrival{0, end.lastOffset, 0, 0, 0, end.kind, end.afterMatch});
        }
    }

    void Emit(const Token& t) {
        BitWriter& w = *writer_;
        switch (t.kind) {
            case Kind::literal:
                w.Bit(0);
                w.Byte(in_[emitted_]);
                afterMatch_ = false;
                break;
            case Kind::short_literal:
                w.Bit(1);
                w.Bit(1);
                w.Bit(1);
                for (int b = 3; b >= 0; --b) w.Bit((t.offset >> b) & 1u);
                afterMatch_ = false;
                break;
            case Kind::short_match:
                w.Bit(1);
                w.Bit(1);
                w.Bit(0);
                w.Byte(static_cast<std::uint8_t>(t.offset << 1 | (t.len - 2)));
                lastOffset_ = t.offset;
                afterMatch_ = true;
                break;
            case Kind::rep:
                w.Bit(1);
                w.Bit(0);
                w.Gamma(2);
                w.Gamma(t.len);
                afterMatch_ = true;
                break;
            case Kind::match:
                w.Bit(1);
                w.Bit(0);
                w.Gamma((t.offset >> 8) + (afterMatch_ ? 2u : 3u));
                w.Byte(static_cast<std::uint8_t>(t.offset));
                w.Gamma(t.len - LengthBonus(t.offset));
                lastOffset_ = t.offset;
                afterMatch_ = true;
                break;
        }
        emitted_ += t.len;
    }

    struct Match {
        std::uint32_t len;
        std::uint32_t offset;
    };

    const std::uint8_t* in_;
    std::uint32_t size_;
    std::vector<std::uint32_t> prev_;
    std::vector<std::uint32_t> head4_;
    std::vector<std::uint32_t> head3_;
    std::vector<std::uint32_t> head2_;
    std::vector<Arrival> arrivals_;
    std::vector<Match> matches_;
    std::vector<Token> tokens_;
    std::vector<std::uint8_t> out_;
    BitWriter* writer_ = nullptr;
    std::uint32_t base_ = 0;
    std::uint32_t reached_ = 0;  // furthest window index offered to since the last reset
    std::uint32_t emitted_ = 1;
    std::uint32_t lastOffset_ = 0;
    bool afterMatch_ = false;
};

}  // namespace

std::vector<std::uint8_t> PackRaw(std::span<const std::uint8_t> data) {
    if (data.empty()) throw PackError("cannot pack empty input: the format has no encoding for it");
    if (data.size() >= 0x80000000u) throw PackError("cannot pack 2 GiB or more in one block");
    return Packer(data).Run();
}

std::vector<std::uint8_t> PackSafe(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> raw = PackRaw(data);
    std::vector<std::uint8_t> block(kSafeHeaderSize + raw.size());
    SafeHeader header;
    header.packed_size = static_cast<std::uint32_t>(raw.size());
    header.packed_crc = Crc32(raw);
    header.orig_size = static_cast<std::uint32_t>(data.size());
    header.orig_crc = Crc32(data);
    WriteSafeHeader(header, block.data());
    std::memcpy(block.data() + kSafeHeaderSize, raw.data(), raw.size());
    return block;
}

}  // namespace aplib
