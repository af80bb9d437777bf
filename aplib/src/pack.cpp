// The packer: a match finder over the whole input and a forward optimal-cost parse.
//
// Match finder. A first pass links every position to the previous one with the same
// 5-byte hash and records the distance to the nearest earlier occurrence of its next 2, 3
// and 4 bytes (for large inputs, the two halves are linked at the same time and then
// joined). For any position it then lists the matches worth considering as pairs
// (length, offset) with growing length, each the nearest found for its length, walking
// the chain nearest first to a fixed depth. After the first pass the finder is read-only,
// so several parsers can query it at once.
//
// Parse. Every position keeps a few "arrivals": the cheapest ways found so far to have
// written everything before it, each with the state that decides the price of what
// follows (the last offset, which a repeat match reuses, and whether the last token was a
// match). Positions are visited in order; each arrival there is extended by a literal, a
// short literal, a repeat match, or any listed match at any length it allows. Prices are
// exact bit counts of the tokens. A match of kNice bytes or more is taken at once, and the
// path is settled every kWindow positions, which bounds the memory of the parse.
//
// Large inputs are packed on two threads: the chains are linked in two halves at the same
// time and joined, and the parse is cut into pieces. A piece's parser runs on until it
// settles at or past the piece's end; the next piece's tokens are joined where that one
// ends (a token cut there keeps its tail), and the writer re-checks every repeat match
// against the offset actually in force, so the join is always valid.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "aplib/aplib.h"

namespace aplib {
namespace {

constexpr std::uint32_t kNice = 28;               // take matches this long without weighing them
constexpr std::uint32_t kWindow = 1u << 12;       // positions parsed before the path is settled
constexpr unsigned kArrivals = 2;                 // states kept per position
constexpr unsigned kChainDepth = 24;              // chain entries visited per position
constexpr std::uint32_t kFarDistance = 1u << 16;  // beyond this, only kFarCandidates are tried
constexpr unsigned kFarCandidates = 4;
constexpr std::uint32_t kSplitAbove = 1u << 15;  // inputs larger than this are packed on two threads
constexpr std::uint32_t kPiece = 1u << 13;       // bytes parsed as one piece there
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
static_assert(kNice < 64, "the gamma table covers the lengths below kNice");
// The cost of no arrival. Costs count bits from the start of a window of the parse, far
// below this, and adding a token's bits to it stays above every real cost: offers from
// an empty arrival need no test, they simply never win.
constexpr std::uint32_t kInfinite = 1u << 30;

// Bits of gamma(v), v >= 2.
inline std::uint32_t GammaBits(std::uint32_t v) {
    return 2u * static_cast<std::uint32_t>(std::bit_width(v) - 1);
}

// GammaBits for the lengths the parse weighs one by one.
constexpr std::array<std::uint8_t, 64> kGammaBits = [] {
    std::array<std::uint8_t, 64> t{};
    for (std::uint32_t v = 2; v < 64; ++v) t[v] = static_cast<std::uint8_t>(2 * (std::bit_width(v) - 1));
    return t;
}();

// How much the format adds to the coded length of a match at this offset.
inline std::uint32_t LengthBonus(std::uint32_t offset) {
    return static_cast<std::uint32_t>(offset >= 32000) + static_cast<std::uint32_t>(offset >= 1280) +
           (static_cast<std::uint32_t>(offset < 128) << 1);
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

struct Token {
    Kind kind;
    std::uint32_t len;     // a literal token is a run of `len` literals
    std::uint32_t offset;  // short literal: 0..15
};

struct Match {
    std::uint32_t len;
    std::uint32_t offset;
};

// The matches found at one position, with growing length (so fewer than kNice + 1).
struct Matches {
    std::array<Match, kNice + 1> items;
    unsigned count = 0;

    const Match* begin() const { return items.data(); }
    const Match* end() const { return items.data() + count; }
    bool empty() const { return count == 0; }
    const Match& back() const { return items[count - 1]; }
    void push_back(Match m) { items[count++] = m; }
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

class MatchFinder {
public:
    // Per-bucket heads of the 5-byte hash chains while linking.
    using Heads = std::vector<std::uint32_t>;

    explicit MatchFinder(std::span<const std::uint8_t> data)
        : in_(data.data()),
          size_(static_cast<std::uint32_t>(data.size())),
          bits_(std::clamp<unsigned>(static_cast<unsigned>(std::bit_width(size_)) - 1, 10, 24)),
          // Link writes every entry that Find reads.
          chain_(std::make_unique_for_overwrite<std::uint32_t[]>(data.size())),
          near2_(std::make_unique_for_overwrite<std::uint16_t[]>(data.size())),
          near3_(std::make_unique_for_overwrite<std::uint16_t[]>(data.size())),
          near4_(std::make_unique_for_overwrite<std::uint16_t[]>(data.size())) {}

    // Heads for linking the whole input or one of two halves: about one per two bytes
    // linked, so that chains stay short even on data without repeats, where every step is
    // a cache miss.
    Heads NewHeads(unsigned halves) const {
        return Heads(std::size_t{1} << std::max(10u, bits_ - (halves == 2 ? 1u : 0u)), kNone);
    }

    // Links the positions [from, to). Positions from `scan` on are seen, so the 2-, 3- and
    // 4-byte distances are exact back to `scan`; a position whose chain would lead before
    // `scan` is added to `open` (when given) and left unlinked, for Join.
    void Link(std::uint32_t scan, std::uint32_t from, std::uint32_t to, Heads& head5,
              std::vector<std::uint32_t>* open) {
        // Small inputs get small tables. The tables keep positions modulo 2^16, enough
        // for distances up to 0xFFFF; an entry older than that, never written, or written
        // for other bytes by a hashed table, points at bytes that Find rejects when it
        // measures the match.
        const auto bits5 = static_cast<unsigned>(std::countr_zero(head5.size()));
        const unsigned bits = std::min(bits_, 16u);
        std::vector<std::uint16_t> head2(std::size_t{1} << bits);
        std::vector<std::uint16_t> head3(std::size_t{1} << bits);
        std::vector<std::uint16_t> head4(std::size_t{1} << bits);
        auto hash = [bits](std::uint32_t v) { return (v * 2654435761u) >> (32 - bits); };
        auto bytes2 = [&](std::uint32_t pos) {
            return std::uint32_t{in_[pos]} | std::uint32_t{in_[pos + 1]} << 8;
        };
        auto bytes3 = [&](std::uint32_t pos) { return bytes2(pos) | std::uint32_t{in_[pos + 2]} << 16; };
        // The distance back to the position in `head`, and `pos` in its place; 0 for none
        // and for distances that would lead before the input.
        auto nearer = [](std::uint32_t pos, std::uint16_t& head) {
            const auto d = static_cast<std::uint16_t>(pos - head);
            head = static_cast<std::uint16_t>(pos);
            return d <= pos ? d : std::uint16_t{0};
        };
        // Positions that have at least 2, 3, 4 and 5 bytes.
        const std::uint32_t last2 = std::min(to, size_ - 1);
        const std::uint32_t last3 = size_ > 2 ? std::min(to, size_ - 2) : 0;
        const std::uint32_t last4 = size_ > 3 ? std::min(to, size_ - 3) : 0;
        const std::uint32_t last5 = size_ > 4 ? std::min(to, size_ - 4) : 0;
        for (std::uint32_t pos = scan; pos < std::min(from, last2); ++pos) {
            head2[hash(bytes2(pos))] = static_cast<std::uint16_t>(pos);
            if (pos >= last3) continue;
            head3[hash(bytes3(pos))] = static_cast<std::uint16_t>(pos);
            if (pos >= last4) continue;
            head4[hash(Load32(in_ + pos))] = static_cast<std::uint16_t>(pos);
        }
        for (std::uint32_t pos = from; pos < last2; ++pos) {
            near2_[pos] = nearer(pos, head2[hash(bytes2(pos))]);
            if (pos >= last3) continue;
            near3_[pos] = nearer(pos, head3[hash(bytes3(pos))]);
            if (pos >= last4) continue;
            near4_[pos] = nearer(pos, head4[hash(Load32(in_ + pos))]);
            if (pos >= last5) continue;
            std::uint32_t& h5 = head5[Hash5(pos, bits5)];
            chain_[pos] = h5;
            if (h5 == kNone && open != nullptr) open->push_back(pos);
            h5 = pos;
        }
    }

    // Continues the chains left open by a later Link into the heads of an earlier one.
    // Both Links must have used heads of the same size.
    void Join(const std::vector<std::uint32_t>& open, const Heads& earlier) {
        const auto bits5 = static_cast<unsigned>(std::countr_zero(earlier.size()));
        for (const std::uint32_t pos : open) chain_[pos] = earlier[Hash5(pos, bits5)];
    }

    // Matches at `pos` with growing length, nearest first for each length; stops early at
    // a match of kNice bytes or one that reaches the end of the input.
    void Find(std::uint32_t pos, Matches& out) const {
        out.count = 0;
        const std::uint32_t limit = size_ - pos;
        if (limit < 2) return;
        const std::uint8_t* cur = in_ + pos;
        std::uint32_t best = 1;
        auto consider = [&](std::uint32_t offset) {
            const std::uint8_t* cand = cur - offset;
            if (cur[best] != cand[best]) return false;
            const std::uint32_t len = MatchLength(cur, cand, limit);
            if (len <= best) return false;
            best = len;
            out.push_back({len, offset});
            return len >= kNice || len == limit;
        };
        if (near2_[pos] != 0 && consider(near2_[pos])) return;
        if (limit < 3) return;
        if (near3_[pos] != 0 && consider(near3_[pos])) return;
        if (limit < 4) return;
        if (near4_[pos] != 0 && consider(near4_[pos])) return;
        if (limit < 5) return;
        // Chain walk over the same 5-byte hash: a candidate can only be longer if it
        // agrees on the byte at `best` and on the three before it, one 4-byte comparison.
        // Far back, a match has to be long to pay for its offset, and every step is a
        // cache miss: only a few far candidates are tried. Chain entries lie before
        // `pos`; the end mark is above it.
        const std::uint32_t nearest = pos > kFarDistance ? pos - kFarDistance : 0;
        unsigned farLeft = kFarCandidates;
        unsigned depthLeft = kChainDepth;
        std::uint32_t probe = best < 4 ? 0 : best - 3;
        std::uint32_t want = Load32(cur + probe);
        for (std::uint32_t cand = chain_[pos]; cand < pos; cand = chain_[cand]) {
            if (cand < nearest && farLeft-- == 0) break;
            if (Load32(in_ + cand + probe) == want) {
                const std::uint32_t len = MatchLength(cur, in_ + cand, limit);
                if (len > best) {
                    best = len;
                    out.push_back({len, pos - cand});
                    if (len >= kNice || len == limit) return;
                    probe = best - 3;
                    want = Load32(cur + probe);
                }
            }
            if (--depthLeft == 0) break;
        }
    }

private:
    // A `bits`-wide hash of the 5 bytes at `pos`.
    std::uint32_t Hash5(std::uint32_t pos, unsigned bits) const {
        const std::uint64_t v = Load32(in_ + pos) | std::uint64_t{in_[pos + 4]} << 32;
        return static_cast<std::uint32_t>((v * 0xCF1BBCDCB7A56463ull) >> (64 - bits));
    }

    const std::uint8_t* in_;
    std::uint32_t size_;
    unsigned bits_;                           // hash table size for the whole input, log2
    std::unique_ptr<std::uint32_t[]> chain_;  // previous position with the same 5-byte hash
    std::unique_ptr<std::uint16_t[]> near2_;  // distance to the same 2 bytes before, 0: none near
    std::unique_ptr<std::uint16_t[]> near3_;  // distance to the same 3-byte hash before, 0: none near
    std::unique_ptr<std::uint16_t[]> near4_;  // distance to the same 4-byte hash before, 0: none near
};

// What decides the price of the next token.
struct State {
    std::uint32_t lastOffset = 0;  // 0: no match yet
    bool afterMatch = false;
};

// No state has this key: offsets stay below 2^31 - 1.
constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;

// No field is a character type, so that the compiler need not assume a store to an
// arrival may change anything else (the parse stores arrivals all the time).
struct Arrival {
    std::uint32_t cost = kInfinite;
    std::uint32_t key = kNoKey;  // lastOffset << 1 | afterMatch
    std::uint32_t len = 0;       // length of the token that arrives here
    std::uint32_t info = 0;      // arrival slot at the token's start | kind << 8 | short literal << 16

    std::uint32_t LastOffset() const { return key >> 1; }
    bool AfterMatch() const { return key & 1u; }
    unsigned From() const { return info & 0xFFu; }
    Kind TokenKind() const { return static_cast<Kind>((info >> 8) & 0xFFu); }
    std::uint32_t ShortLiteral() const { return info >> 16; }
};

inline std::uint32_t ArrivalInfo(std::uint8_t from, Kind kind, std::uint8_t shortLiteral) {
    return std::uint32_t{from} | std::uint32_t{static_cast<std::uint8_t>(kind)} << 8 |
           std::uint32_t{shortLiteral} << 16;
}

inline std::uint32_t Key(std::uint32_t lastOffset, bool afterMatch) {
    return lastOffset << 1 | (afterMatch ? 1u : 0u);
}

// Parses [begin, end) of the input, starting in state `start`, into tokens. Matches may
// run past `end`; the parse then ends where the last token ends (Parse returns it).
class Parser {
public:
    // `arrivals` is working memory, reused from one parse to the next.
    Parser(const MatchFinder& finder, std::span<const std::uint8_t> data, std::uint32_t begin,
           std::uint32_t end, State start, std::vector<Arrival>& arrivals)
        : finder_(finder),
          in_(data.data()),
          size_(static_cast<std::uint32_t>(data.size())),
          begin_(begin),
          end_(end),
          start_(start),
          arrivals_(arrivals) {
        lastSeen_.fill(kNone);
        seen_ = begin > 15 ? begin - 15 : 0;
    }

    std::uint32_t Parse() {
        arrivals_.assign((std::min(kWindow, end_ - begin_) + kNice + 1) * kArrivals, Arrival{});
        ResetWindow(begin_, start_);
        std::uint32_t pos = begin_;
        while (pos < end_) {
            if (pos - base_ >= kWindow) {
                Settle(pos, BestSlot(pos));
                continue;
            }
            pos = Visit(pos);
        }
        if (pos == end_ && base_ < end_) Settle(end_, BestSlot(end_));
        return pos;
    }

    const std::vector<Token>& Tokens() const { return tokens_; }
    std::vector<Token> TakeTokens() { return std::move(tokens_); }

private:
    Arrival* At(std::uint32_t pos) { return &arrivals_[(pos - base_) * kArrivals]; }

    void ResetWindow(std::uint32_t base, State state) {
        const std::size_t used =
            std::min<std::size_t>((std::size_t{reached_} + 1) * kArrivals, arrivals_.size());
        for (std::size_t i = 0; i < used; ++i) {
            arrivals_[i].cost = kInfinite;
            arrivals_[i].key = kNoKey;
        }
        reached_ = 0;
        base_ = base;
        arrivals_[0].cost = 0;
        arrivals_[0].key = Key(state.lastOffset, state.afterMatch);
        arrivals_[0].len = 0;
    }

    // Offers an arrival to the two entries at `list`: it replaces the entry of the same
    // state if cheaper, or else the dearer entry (an empty one counts as dearest) if
    // cheaper than that.
    void Offer(Arrival* list, std::uint32_t cost, std::uint32_t key, std::uint32_t len, std::uint8_t from,
               Kind kind, std::uint8_t shortLiteral = 0) {
        static_assert(kArrivals == 2, "two entries per position");
        // Whether an offer wins is data-dependent and poorly predicted: the choice is made
        // with selects, and a losing offer is written to a scratch entry.
        const auto pick1 =
            static_cast<unsigned>(list[0].key != key) &
            (static_cast<unsigned>(list[1].key == key) | static_cast<unsigned>(list[1].cost > list[0].cost));
        Arrival* slot = list + pick1;
        Arrival* const targets[2] = {&scratch_, slot};
        Arrival* target = targets[static_cast<unsigned>(cost < slot->cost)];
        *target = Arrival{cost, key, len, ArrivalInfo(from, kind, shortLiteral)};
    }

    unsigned BestSlot(std::uint32_t pos) {
        const Arrival* list = At(pos);
        unsigned best = 0;
        for (unsigned i = 1; i < kArrivals; ++i) {
            if (list[i].cost < list[best].cost) best = i;
        }
        return best;
    }

    std::uint32_t Visit(std::uint32_t pos) {
        Arrival* here = At(pos);
        // Where the next position is already reached at no higher cost, a match from here
        // is rarely better than the same match from there, a byte shorter, which the next
        // visit finds; the finder is skipped. This is common: the lengths of a match that
        // code to the same number of bits reach a run of positions at the same cost.
        const std::uint32_t cheapestHere = std::min(here[0].cost, here[1].cost);
        const std::uint32_t cheapestNext = std::min(here[kArrivals].cost, here[kArrivals + 1].cost);
        if (cheapestNext <= cheapestHere) {
            matches_.count = 0;
        } else {
            finder_.Find(pos, matches_);
        }

        const std::uint32_t limit = size_ - pos;
        const std::uint8_t* cur = in_ + pos;

        // Repeat-match lengths of the arrivals that may use one.
        std::array<std::uint32_t, kArrivals> repLen{};
        std::uint32_t longest = matches_.empty() ? 0 : matches_.back().len;
        for (unsigned s = 0; s < kArrivals; ++s) {
            const Arrival& a = here[s];
            if (a.cost == kInfinite || a.AfterMatch() || a.LastOffset() == 0) continue;
            repLen[s] = MatchLength(cur, cur - a.LastOffset(), std::min(limit, kNice));
            longest = std::max(longest, repLen[s]);
        }
        if (longest >= kNice || (longest == limit && limit > 8)) return TakeLong(pos, repLen);
        reached_ = std::max(reached_, pos - base_ + std::max<std::uint32_t>(longest, 1));

        // Literal or short literal: the same state follows either way.
        for (; seen_ < pos; ++seen_) lastSeen_[in_[seen_]] = seen_;
        std::uint8_t shortLiteral = 0xFF;
        if (cur[0] == 0) {
            shortLiteral = 0;
        } else if (const std::uint32_t last = lastSeen_[cur[0]]; last != kNone && pos - last <= 15) {
            shortLiteral = static_cast<std::uint8_t>(pos - last);
        }
        const std::uint32_t literalBits = shortLiteral != 0xFF ? kShortLiteralBits : kLiteralBits;
        const Kind literalKind = shortLiteral != 0xFF ? Kind::short_literal : Kind::literal;

        std::uint32_t best[2] = {kInfinite, kInfinite};
        std::uint8_t bestSlot[2] = {0, 0};
        for (unsigned s = 0; s < kArrivals; ++s) {
            const Arrival& a = here[s];
            const unsigned m = a.AfterMatch() ? 1 : 0;
            if (a.cost < best[m]) {
                best[m] = a.cost;
                bestSlot[m] = static_cast<std::uint8_t>(s);
            }
            const auto slot = static_cast<std::uint8_t>(s);
            Offer(here + kArrivals, a.cost + literalBits, a.key & ~1u, 1, slot, literalKind, shortLiteral);
            for (std::uint32_t len = 2; len <= repLen[s]; ++len) {
                Offer(here + kArrivals * len, a.cost + 4 + kGammaBits[len], a.key | 1u, len, slot, Kind::rep);
            }
        }

        // Matches, from whichever state prices them lower.
        const unsigned cheaper = best[0] <= best[1] ? 0 : 1;
        std::uint32_t from = 2;
        for (const auto& m : matches_) {
            const std::uint32_t key = Key(m.offset, true);
            std::uint32_t len = from;
            if (m.offset < 128) {
                for (; len <= std::min<std::uint32_t>(3, m.len); ++len) {
                    Offer(here + kArrivals * len, best[cheaper] + kShortMatchBits, key, len,
                          bestSlot[cheaper], Kind::short_match);
                }
            }
            len = std::max(len, MinMatchLength(m.offset));
            if (len <= m.len) {
                // Price from each state, and keep the cheaper; the gap is the same for all lengths.
                const std::uint32_t afterLiteral = best[0] + OffsetBits(m.offset, false);
                const std::uint32_t afterMatch = best[1] + OffsetBits(m.offset, true);
                const std::uint32_t base = std::min(afterLiteral, afterMatch);
                const std::uint8_t slot = afterLiteral <= afterMatch ? bestSlot[0] : bestSlot[1];
                const std::uint32_t bonus = LengthBonus(m.offset);
                for (; len <= m.len; ++len) {
                    Offer(here + kArrivals * len, base + kGammaBits[len - bonus], key, len, slot,
                          Kind::match);
                }
            }
            from = m.len + 1;
        }
        return pos + 1;
    }

    // A match long enough to take without weighing: settle the path to `pos`, add the
    // longest match from the arrival that prices it lowest, and start over behind it.
    std::uint32_t TakeLong(std::uint32_t pos, const std::array<std::uint32_t, kArrivals>& repLen) {
        Arrival* here = At(pos);
        // The finder and the repeat check stop at kNice: measure the whole length here.
        const std::uint32_t limit = size_ - pos;
        const std::uint8_t* cur = in_ + pos;
        unsigned chosen = 0;
        Token token{Kind::literal, 0, 0};
        std::uint32_t chosenCost = kInfinite;
        for (unsigned s = 0; s < kArrivals; ++s) {
            const Arrival& a = here[s];
            if (a.cost == kInfinite) continue;
            if (repLen[s] >= 2) {
                const std::uint32_t len = MatchLength(cur, cur - a.LastOffset(), limit);
                const std::uint32_t c = a.cost + RepBits(len);
                if (len > token.len || (len == token.len && c < chosenCost)) {
                    token = {Kind::rep, len, a.LastOffset()};
                    chosenCost = c;
                    chosen = s;
                }
            }
            if (!matches_.empty()) {
                const auto& m = matches_.back();
                if (m.len < MinMatchLength(m.offset)) continue;
                const std::uint32_t len = MatchLength(cur, cur - m.offset, limit);
                const std::uint32_t c =
                    a.cost + OffsetBits(m.offset, a.AfterMatch()) + GammaBits(len - LengthBonus(m.offset));
                if (len > token.len || (len == token.len && c < chosenCost)) {
                    token = {Kind::match, len, m.offset};
                    chosenCost = c;
                    chosen = s;
                }
            }
        }
        Settle(pos, chosen);
        tokens_.push_back(token);
        const std::uint32_t next = pos + token.len;
        ResetWindow(next, State{token.offset, true});
        return next;
    }

    // Appends the cheapest path to arrival `slot` at `pos` and restarts the window there.
    void Settle(std::uint32_t pos, unsigned slot) {
        const std::size_t first = tokens_.size();
        std::uint32_t p = pos;
        unsigned s = slot;
        while (p > base_) {
            const Arrival& a = At(p)[s];
            const Kind kind = a.TokenKind();
            if (kind == Kind::literal && tokens_.size() > first && tokens_.back().kind == Kind::literal) {
                ++tokens_.back().len;  // runs of literals are one token
            } else {
                tokens_.push_back(
                    {kind, a.len, kind == Kind::short_literal ? a.ShortLiteral() : a.LastOffset()});
            }
            p -= a.len;
            s = a.From();
        }
        std::reverse(tokens_.begin() + static_cast<std::ptrdiff_t>(first), tokens_.end());
        const Arrival& end = At(pos)[slot];
        ResetWindow(pos, State{end.LastOffset(), end.AfterMatch()});
    }

    const MatchFinder& finder_;
    const std::uint8_t* in_;
    std::uint32_t size_;
    std::uint32_t begin_;
    std::uint32_t end_;
    State start_;
    std::vector<Arrival>& arrivals_;
    Matches matches_;
    Arrival scratch_;  // where losing offers go
    std::vector<Token> tokens_;
    std::uint32_t base_ = 0;
    std::uint32_t reached_ = 0;                // furthest window index offered to since the last reset
    std::array<std::uint32_t, 256> lastSeen_;  // last position of each byte value before seen_
    std::uint32_t seen_ = 0;
};

// Bits go into tag bytes, most significant first; a new tag byte is placed where the
// stream stands when the previous one is full, and whole bytes follow it directly.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {
        out_.resize(std::max<std::size_t>(out_.capacity(), 64));
    }

    // Makes room for `bytes` more bytes.
    void Reserve(std::size_t bytes) {
        if (used_ + bytes > out_.size()) out_.resize(std::max(out_.size() * 2, used_ + bytes));
    }

    void Byte(std::uint8_t b) { out_[used_++] = b; }

    void Bit(std::uint32_t bit) {
        if (bits_ == 0) NewTag();
        --bits_;
        out_[tagPos_] = static_cast<std::uint8_t>(out_[tagPos_] | (bit << bits_));
    }

    // The low `count` bits of `value`, most significant first.
    void Bits(std::uint64_t value, unsigned count) {
        while (count != 0) {
            if (bits_ == 0) NewTag();
            const unsigned n = std::min(bits_, count);
            count -= n;
            bits_ -= n;
            const auto chunk = static_cast<std::uint32_t>(value >> count) & ((1u << n) - 1u);
            out_[tagPos_] = static_cast<std::uint8_t>(out_[tagPos_] | (chunk << bits_));
        }
    }

    // Each bit of v below its top bit, followed by 1 if more follow and 0 after the last.
    void Gamma(std::uint32_t v) {
        const auto top = static_cast<unsigned>(std::bit_width(v)) - 1;
        std::uint64_t pattern = 0;
        for (unsigned b = top; b-- > 0;) pattern = pattern << 2 | ((v >> b) & 1u) << 1 | (b > 0 ? 1u : 0u);
        Bits(pattern, 2 * top);
    }

    void Finish() { out_.resize(used_); }

private:
    void NewTag() {
        tagPos_ = used_;
        out_[used_++] = 0;
        bits_ = 8;
    }

    std::vector<std::uint8_t>& out_;
    std::size_t used_ = 0;
    std::size_t tagPos_ = 0;
    unsigned bits_ = 0;
};

// Writes tokens as the stream, tracking the state itself: a repeat match whose offset is
// not the one in force (possible where two pieces are joined) becomes an ordinary match.
class Emitter {
public:
    Emitter(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) : in_(data.data()), w_(out) {
        w_.Byte(in_[0]);  // the constructor leaves room for it
        pos_ = 1;
    }

    std::uint32_t Position() const { return pos_; }

    void Emit(const Token& t) {
        // A token takes at most 2 bytes a literal, or 20 bytes otherwise.
        w_.Reserve(t.kind == Kind::literal ? 2 * std::size_t{t.len} + 2 : 24);
        switch (t.kind) {
            case Kind::literal:
                for (std::uint32_t i = 0; i < t.len; ++i) Literal();
                return;
            case Kind::short_literal:
                w_.Bits(0b111, 3);
                w_.Bits(t.offset, 4);
                state_.afterMatch = false;
                break;
            case Kind::short_match:
                ShortMatch(t.offset, t.len);
                return;
            case Kind::rep:
                if (!state_.afterMatch && state_.lastOffset == t.offset) {
                    w_.Bits(0b10, 2);
                    w_.Gamma(2);
                    w_.Gamma(t.len);
                    state_.afterMatch = true;
                    break;
                }
                Match(t.offset, t.len);
                return;
            case Kind::match:
                Match(t.offset, t.len);
                return;
        }
        pos_ += t.len;
    }

    // Emits only the last `tail` bytes of a token (the rest is already written).
    void EmitTail(const Token& t, std::uint32_t tail) {
        w_.Reserve(2 * std::size_t{tail} + 24);
        if (t.kind == Kind::literal) {
            Emit({Kind::literal, tail, 0});
        } else {
            Match(t.offset, tail);  // tail of a match or repeat match, same offset
        }
    }

    void End() {
        w_.Reserve(2);
        w_.Bits(0b110, 3);
        w_.Byte(0);
        w_.Finish();
    }

private:
    void Literal() {
        w_.Bit(0);
        w_.Byte(in_[pos_]);
        ++pos_;
        state_.afterMatch = false;
    }

    void ShortMatch(std::uint32_t offset, std::uint32_t len) {
        w_.Bits(0b110, 3);
        w_.Byte(static_cast<std::uint8_t>(offset << 1 | (len - 2)));
        state_ = {offset, true};
        pos_ += len;
    }

    // Any copy of `len` bytes at `offset`, in whatever form the format allows for it.
    void Match(std::uint32_t offset, std::uint32_t len) {
        if (!state_.afterMatch && state_.lastOffset == offset && len >= 2) {
            Emit({Kind::rep, len, offset});
        } else if (len >= MinMatchLength(offset)) {
            w_.Bits(0b10, 2);
            w_.Gamma((offset >> 8) + (state_.afterMatch ? 2u : 3u));
            w_.Byte(static_cast<std::uint8_t>(offset));
            w_.Gamma(len - LengthBonus(offset));
            state_ = {offset, true};
            pos_ += len;
        } else if (offset < 128 && len >= 2) {
            ShortMatch(offset, len);
        } else {
            for (std::uint32_t i = 0; i < len; ++i) Literal();
        }
    }

    const std::uint8_t* in_;
    BitWriter w_;
    std::uint32_t pos_ = 0;
    State state_;
};

}  // namespace

namespace {

// A stretch of the input parsed on its own, and its tokens until they are written.
struct Piece {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    std::vector<Token> tokens;
    std::atomic<bool> parsed{false};
};

// Writes a piece's tokens after what is already written. The pieces before may have run
// past this one's start: what they cover is skipped, and a token cut there keeps its tail.
// A piece they run past entirely is skipped whole (the next one starts within what is
// written), so that whether it was parsed at all makes no difference.
void EmitPiece(Emitter& emitter, Piece& piece) {
    const std::vector<Token> tokens = std::move(piece.tokens);  // freed once written
    const std::uint32_t covered = emitter.Position();
    if (covered >= piece.end) return;
    std::uint32_t p = piece.begin;
    for (const Token& t : tokens) {
        const std::uint32_t next = p + t.len;
        if (next > covered) {
            if (p < covered) {
                emitter.EmitTail(t, next - covered);
            } else {
                emitter.Emit(t);
            }
        }
        p = next;
    }
}

// Packs on two threads. Each links half of the chains, and the second half's chains are
// joined to the first's. Then both parse pieces of kPiece bytes in input order, taking the
// next one free, so that they finish together whatever the pieces cost; a piece in the
// second half waits for the join. Pieces are written in order by whichever thread finds
// the next one parsed, while the other parses on.
//
// The threads wait for each other by polling: a blocked thread can take milliseconds to
// wake up on a virtual machine, longer than the waits here. Yielding leaves the
// processor to the other thread where there is only one. (std::latch is not used: its
// atomic wait can miss its wake-up with the Windows thread library, seen as a hang.)
void PackInParallel(std::span<const std::uint8_t> data, MatchFinder& finder, Emitter& emitter) {
    const auto size = static_cast<std::uint32_t>(data.size());
    const std::uint32_t cut = size / 2;
    const std::uint32_t firstPieces = (cut - 1 + kPiece - 1) / kPiece;
    const std::uint32_t count = firstPieces + (size - cut + kPiece - 1) / kPiece;
    const auto pieces = std::make_unique<Piece[]>(count);
    for (std::uint32_t k = 0; k < count; ++k) {
        pieces[k].begin = k < firstPieces ? 1 + k * kPiece : cut + (k - firstPieces) * kPiece;
        pieces[k].end = k + 1 == firstPieces ? cut : std::min(size, pieces[k].begin + kPiece);
    }

    std::atomic<bool> firstLinked{false};
    std::atomic<bool> joined{false};
    std::atomic<bool> failed{false};
    std::atomic<std::uint32_t> nextPiece{0};
    std::mutex emitting;
    std::uint32_t written = 0;                // pieces written, under `emitting`
    std::atomic<std::uint32_t> writtenTo{0};  // where the stream written so far ends
    auto waitFor = [](const std::atomic<bool>& flag) {
        while (!flag.load(std::memory_order_acquire)) std::this_thread::yield();
    };
    auto writeReady = [&] {
        while (written < count && pieces[written].parsed.load(std::memory_order_acquire)) {
            EmitPiece(emitter, pieces[written]);
            ++written;
            writtenTo.store(emitter.Position(), std::memory_order_relaxed);
        }
    };
    auto parsePieces = [&](std::vector<Arrival>& arrivals) {
        for (;;) {
            const std::uint32_t k = nextPiece.fetch_add(1);
            if (k >= count) return;
            Piece& piece = pieces[k];
            // What is written may already run past this piece (a long run of one byte is
            // one match to the end): then it will be skipped, and needs no parse.
            if (writtenTo.load(std::memory_order_relaxed) < piece.end) {
                if (k >= firstPieces) waitFor(joined);
                if (failed.load(std::memory_order_acquire)) return;
                Parser parser(finder, data, piece.begin, piece.end, State{}, arrivals);
                parser.Parse();
                piece.tokens = parser.TakeTokens();
            }
            piece.parsed.store(true, std::memory_order_release);
            if (const std::unique_lock<std::mutex> lock(emitting, std::try_to_lock); lock) writeReady();
        }
    };

    MatchFinder::Heads firstHeads = finder.NewHeads(2);
    MatchFinder::Heads secondHeads = finder.NewHeads(2);
    // Out of memory is the only failure there is; each thread keeps its own.
    std::exception_ptr workerFailure;
    std::exception_ptr mainFailure;
    // Runs `work`, keeping its first failure in `failure` and telling the other thread.
    auto guarded = [&failed](std::exception_ptr& failure, auto&& work) {
        try {
            work();
        } catch (...) {
            if (!failure) failure = std::current_exception();
            failed.store(true, std::memory_order_release);
        }
    };
    auto parseWithOwnMemory = [&parsePieces] {
        std::vector<Arrival> arrivals;
        parsePieces(arrivals);
    };
    std::thread worker([&] {
        guarded(workerFailure, [&] { finder.Link(0, 0, cut, firstHeads, nullptr); });
        firstLinked.store(true, std::memory_order_release);
        guarded(workerFailure, parseWithOwnMemory);
    });
    guarded(mainFailure, [&] {
        std::vector<std::uint32_t> open;
        // 32000 bytes back are enough for the 2-, 3- and 4-byte distances: farther back a
        // match needs 4 bytes to be coded at all, and 5 to pay well; those are found
        // through the joined chains.
        finder.Link(cut > 32000 ? cut - 32000 : 0, cut, size, secondHeads, &open);
        waitFor(firstLinked);
        if (!failed.load(std::memory_order_acquire)) finder.Join(open, firstHeads);
    });
    joined.store(true, std::memory_order_release);
    guarded(mainFailure, parseWithOwnMemory);
    worker.join();
    if (mainFailure) std::rethrow_exception(mainFailure);
    if (workerFailure) std::rethrow_exception(workerFailure);
    const std::lock_guard<std::mutex> lock(emitting);
    writeReady();
}

}  // namespace

std::vector<std::uint8_t> PackRaw(std::span<const std::uint8_t> data) {
    if (data.empty()) throw PackError("cannot pack empty input: the format has no encoding for it");
    if (data.size() >= 0x80000000u) throw PackError("cannot pack 2 GiB or more in one block");
    const auto size = static_cast<std::uint32_t>(data.size());

    std::vector<std::uint8_t> out;
    out.reserve(data.size() / 2 + 64);
    Emitter emitter(data, out);
    if (size > 1) {
        MatchFinder finder(data);
        if (size <= kSplitAbove) {
            {
                MatchFinder::Heads heads = finder.NewHeads(1);
                finder.Link(0, 0, size, heads, nullptr);
            }
            std::vector<Arrival> arrivals;
            Parser whole(finder, data, 1, size, State{}, arrivals);
            whole.Parse();
            for (const Token& t : whole.Tokens()) emitter.Emit(t);
        } else {
            PackInParallel(data, finder, emitter);
        }
    }
    emitter.End();
    return out;
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
