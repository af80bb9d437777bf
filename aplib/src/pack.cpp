// The packer: a match finder over a sliding window and a forward optimal-cost parse.
//
// Match finder. Positions are linked in order: each to the previous one with the same
// 5-byte hash, and with the distance to the nearest earlier occurrence of its next 2, 3
// and 4 bytes. For any position it then lists the matches worth considering as pairs
// (length, offset) with growing length, each the nearest found for its length, walking
// the chain nearest first to a depth the parse allows and never further back than
// kWindow; a walk that meets a run of candidates none longer than the best gives up.
// The parse allows steps from a budget that each position adds a few to: on data whose
// chains are all dense, a position costs that many on average, while the dense stretches
// of other data walk deep on what was saved elsewhere. Chains live in a ring, so the
// finder's memory depends on the window, not on the input.
// Linked positions are read-only, so several parsers can query them at once.
//
// Parse. Every position keeps a few "arrivals": the cheapest ways found so far to have
// written everything before it, each with the state that decides the price of what
// follows (the last offset, which a repeat match reuses, and whether the last token was a
// match). Positions are visited in order; each arrival there is extended by a literal, a
// short literal, a repeat match, or any listed match at any length it allows. Prices are
// exact bit counts of the tokens. A match of kNice bytes or more is taken at once, and the
// path is settled every kSettleSpan positions, which bounds the memory of the parse.
//
// Large inputs are packed on two threads, block after block: one links the next block
// while both parse the pieces of the blocks already linked. A piece's parser runs on
// until it settles at or past the piece's end; the next piece's tokens are joined where
// that one ends (a token cut there keeps its tail), and the writer re-checks every repeat
// match against the offset actually in force, so the join is always valid. What a piece
// parses depends only on the input, never on timing, so the stream is always the same.
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "aplib/aplib.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace aplib {
namespace {

constexpr std::uint32_t kNice = 28;               // take matches this long without weighing them
constexpr std::uint32_t kSettleSpan = 1u << 12;   // positions parsed before the path is settled
constexpr unsigned kArrivals = 2;                 // states kept per position
constexpr unsigned kChainDepth = 24;              // chain entries visited per position, at most
constexpr unsigned kGiveUpAfter = 12;             // ...and in a row without a longer match
constexpr unsigned kStepsPerPosition = 4;         // chain steps each position adds to the budget
constexpr unsigned kStepCredit = 4096;            // ...and the most a parse may save up
constexpr std::uint32_t kFarDistance = 1u << 16;  // beyond this, only kFarCandidates are tried
constexpr unsigned kFarCandidates = 1;
constexpr std::uint32_t kSplitAbove = 1u << 15;  // inputs larger than this are packed on two threads
constexpr std::uint32_t kPiece = 1u << 13;       // bytes parsed as one piece there
constexpr std::uint32_t kBlock = 1u << 18;       // bytes linked at a time there
// Matches reach back at most kWindow bytes. The chains are kept in a ring of kRing
// positions: room for the window behind the block being parsed and the one being linked.
constexpr unsigned kRingBits = 22;
constexpr std::uint32_t kRing = 1u << kRingBits;
// A chain link holds a distance within the ring and, in the bits left, a tag of the
// 5-byte hash at the position it leads to.
constexpr unsigned kTagBits = 32 - kRingBits;
constexpr std::uint32_t kTagMask = (1u << kTagBits) - 1;
constexpr std::uint32_t kWindow = kRing - 2 * kBlock;
static_assert(kBlock % kPiece == 0 && kSplitAbove <= kBlock);
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint32_t kPrefetchAhead = 16;  // positions between a prefetch and its use
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

using format::kLiteralBits;
using format::kShortLiteralBits;
using format::kShortMatchBits;
using format::LengthBonus;
using format::MinMatchLength;

// Bits of a gamma-offset match, without the length part.
inline std::uint32_t OffsetBits(std::uint32_t offset, bool afterMatch) {
    return 2 + GammaBits((offset >> 8) + (afterMatch ? format::kHighAfterMatch : format::kHighAfterLiteral)) +
           8;
}

inline std::uint32_t RepBits(std::uint32_t len) { return 4 + GammaBits(len); }

enum class Kind : std::uint8_t { kLiteral, kShortLiteral, kShortMatch, kMatch, kRep };

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

// The match finder's tables, left uninitialised. The large ones are read at random, one
// look-up per position: on Linux they lie on huge-page boundaries and are marked for
// transparent huge pages before first use, so that a look-up seldom also misses the TLB
// (dear on a virtual machine, where a miss walks two page tables). Where huge pages are
// not granted, the table works the same.
struct FreeMemory {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using Table = std::unique_ptr<T[], FreeMemory>;

template <class T>
Table<T> MakeTable(std::size_t count) {
    const std::size_t bytes = count * sizeof(T);
    void* memory = nullptr;
#if defined(__linux__)
    constexpr std::size_t kHugePage = std::size_t{1} << 21;
    if (bytes >= kHugePage) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        memory = std::aligned_alloc(kHugePage, rounded);
        if (memory != nullptr) ::madvise(memory, rounded, MADV_HUGEPAGE);
    }
#endif
    if (memory == nullptr) memory = std::malloc(bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return Table<T>(static_cast<T*>(memory));
}

class MatchFinder {
public:
    // Tables for `data`: whole for inputs up to a block, else rings that hold the chains of
    // the last kRing positions and the short distances of the last two blocks.
    explicit MatchFinder(std::span<const std::uint8_t> data)
        : in_(data.data()),
          size_(static_cast<std::uint32_t>(data.size())),
          chainMask_(std::bit_ceil(std::min(size_, kRing)) - 1),
          nearMask_(std::bit_ceil(std::min(size_, 2 * kBlock)) - 1),
          bits5_(std::clamp<unsigned>(static_cast<unsigned>(std::bit_width(std::min(size_, kWindow))), 10,
                                      kRingBits)),
          bits_(std::min(bits5_, 16u)),
          // Link writes every entry that Find reads.
          chain_(MakeTable<std::uint32_t>(std::size_t{chainMask_} + 1)),
          near2_(MakeTable<std::uint16_t>(std::size_t{nearMask_} + 1)),
          near3_(MakeTable<std::uint16_t>(std::size_t{nearMask_} + 1)),
          near4_(MakeTable<std::uint16_t>(std::size_t{nearMask_} + 1)),
          head5_(MakeTable<std::uint32_t>(std::size_t{1} << bits5_)),
          head2_(std::size_t{1} << bits_),
          head3_(std::size_t{1} << bits_),
          head4_(std::size_t{1} << bits_) {
        std::fill_n(head5_.get(), std::size_t{1} << bits5_, 0u);
    }

    // Links the positions [from, to), which must follow the last linked ones. Finds for
    // positions up to `to` may run at the same time as long as they lie at most two blocks
    // before `from`: their tables are not touched.
    void Link(std::uint32_t from, std::uint32_t to) {
        // The short tables keep positions modulo 2^16, enough for distances up to 0xFFFF;
        // an entry older than that, never written, or written for other bytes by a hashed
        // table, points at bytes that Find rejects when it measures the match.
        const unsigned bits = bits_;
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
        // The 5-byte heads are spread over a large table: each is loaded well ahead, when
        // its hash is computed.
        std::array<Hashed, kPrefetchAhead> ahead{};
        auto hashAhead = [&](std::uint32_t pos) {
            if (pos >= last5) return;
            const Hashed h = Hash5(pos);
            ahead[pos % kPrefetchAhead] = h;
            __builtin_prefetch(&head5_[h.bucket]);
        };
        for (std::uint32_t pos = from; pos < from + kPrefetchAhead; ++pos) hashAhead(pos);
        for (std::uint32_t pos = from; pos < last2; ++pos) {
            const Hashed h = ahead[pos % kPrefetchAhead];
            hashAhead(pos + kPrefetchAhead);
            const std::uint32_t at = pos & nearMask_;
            near2_[at] = nearer(pos, head2_[hash(bytes2(pos))]);
            if (pos >= last3) continue;
            near3_[at] = nearer(pos, head3_[hash(bytes3(pos))]);
            if (pos >= last4) continue;
            near4_[at] = nearer(pos, head4_[hash(Load32(in_ + pos))]);
            if (pos >= last5) continue;
            // A head holds the ring index and tag of the last position in its bucket; the
            // link is the distance to it (0: none within the ring) and its tag.
            std::uint32_t& head = head5_[h.bucket];
            const std::uint32_t distance = (pos - head) & (kRing - 1);
            chain_[pos & chainMask_] = distance << kTagBits | head >> kRingBits;
            head = (pos & (kRing - 1)) | h.tag << kRingBits;
        }
    }

    // Starts loading what Find(pos) will read first beyond the near tables: the bytes of
    // its first chain candidate and, unless the walk ends there, that candidate's own
    // link. On data without repeats every chain step is a cache miss, and these run in
    // parallel with the parse. Always inlined: on its own, a function that only reads and
    // prefetches looks free of effects to GCC, which then drops every call to it.
    [[gnu::always_inline]] void Prefetch(std::uint32_t pos) const {
        if (pos + 4 >= size_) return;
        const std::uint32_t link = chain_[pos & chainMask_];
        const std::uint32_t distance = link >> kTagBits;
        if (distance == 0 || distance > kWindow) return;
        const std::uint32_t cand = pos - distance;
        if ((link & kTagMask) == Hash5(pos).tag) __builtin_prefetch(in_ + cand);
        if (distance <= kFarDistance || kFarCandidates > 1) __builtin_prefetch(&chain_[cand & chainMask_]);
    }

    // Matches at `pos` with growing length, nearest first for each length; stops early at
    // a match of kNice bytes or one that reaches the end of the input. Walks at most
    // `depth` chain steps, and returns how many it took.
    unsigned Find(std::uint32_t pos, unsigned depth, Matches& out) const {
        out.count = 0;
        const std::uint32_t limit = size_ - pos;
        if (limit < 2) return 0;
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
        const std::uint32_t at = pos & nearMask_;
        if (near2_[at] != 0 && consider(near2_[at])) return 0;
        if (limit < 3) return 0;
        if (near3_[at] != 0 && consider(near3_[at])) return 0;
        if (limit < 4) return 0;
        if (near4_[at] != 0 && consider(near4_[at])) return 0;
        if (limit < 5) return 0;
        // Chain walk over the same 5-byte hash: a candidate can only be longer if it
        // agrees on the byte at `best` and on the three before it, one 4-byte comparison.
        // Far back, a match has to be long to pay for its offset, and every step is a
        // cache miss: only a few far candidates are tried. Chain entries lie before
        // `pos`; the end mark is above it. Entries beyond the window may have been
        // overwritten in the ring and are never followed.
        const std::uint32_t oldest = pos > kWindow ? pos - kWindow : 0;
        const std::uint32_t nearest = pos > kFarDistance ? pos - kFarDistance : 0;
        unsigned farLeft = kFarCandidates;
        unsigned depthLeft = depth;
        unsigned sinceLonger = 0;
        std::uint32_t probe = best < 4 ? 0 : best - 3;
        std::uint32_t want = Load32(cur + probe);
        const std::uint32_t tag = Hash5(pos).tag;
        std::uint32_t cand = pos;
        for (std::uint32_t link = chain_[pos & chainMask_];; link = chain_[cand & chainMask_]) {
            const std::uint32_t distance = link >> kTagBits;
            if (distance == 0 || distance > cand - oldest) break;
            cand -= distance;
            // Only a candidate with the same tag can share the 5 bytes: the others cost
            // no look at their bytes. Far back, where every step is a cache miss, the
            // walk ends at the first that cannot match.
            const bool sameTag = (link & kTagMask) == tag;
            if (cand < nearest && (!sameTag || farLeft-- == 0)) break;
            if (sameTag && Load32(in_ + cand + probe) == want) {
                const std::uint32_t len = MatchLength(cur, in_ + cand, limit);
                if (len > best) {
                    best = len;
                    out.push_back({len, pos - cand});
                    if (len >= kNice || len == limit) return depth - depthLeft + 1;
                    probe = best - 3;
                    want = Load32(cur + probe);
                    sinceLonger = 0;
                }
            }
            // Past the last far candidate every one further back is refused: its link
            // need not be loaded.
            if (--depthLeft == 0 || ++sinceLonger == kGiveUpAfter || (cand < nearest && farLeft == 0)) break;
        }
        return depth - depthLeft;
    }

private:
    // A hash of the 5 bytes at `pos`: the bucket of its chain, and a tag from further bits.
    struct Hashed {
        std::uint32_t bucket;
        std::uint32_t tag;
    };
    Hashed Hash5(std::uint32_t pos) const {
        const std::uint64_t v = Load32(in_ + pos) | std::uint64_t{in_[pos + 4]} << 32;
        const std::uint64_t h = v * 0xCF1BBCDCB7A56463ull;
        return {static_cast<std::uint32_t>(h >> (64 - bits5_)),
                static_cast<std::uint32_t>(h >> (64 - bits5_ - kTagBits)) & kTagMask};
    }

    const std::uint8_t* in_;
    std::uint32_t size_;
    std::uint32_t chainMask_;
    std::uint32_t nearMask_;
    unsigned bits5_;              // 5-byte heads, log2: about one per position in the window
    unsigned bits_;               // 2-, 3- and 4-byte heads, log2
    Table<std::uint32_t> chain_;  // distance back to the previous position in the bucket, and its tag
    Table<std::uint16_t> near2_;  // distance to the same 2 bytes before, 0: none near
    Table<std::uint16_t> near3_;  // distance to the same 3-byte hash before, 0: none near
    Table<std::uint16_t> near4_;  // distance to the same 4-byte hash before, 0: none near
    Table<std::uint32_t> head5_;  // ring index and tag of the last position in each bucket
    std::vector<std::uint16_t> head2_;
    std::vector<std::uint16_t> head3_;
    std::vector<std::uint16_t> head4_;
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
        arrivals_.assign((std::min(kSettleSpan, end_ - begin_) + kNice + 1) * kArrivals, Arrival{});
        ResetWindow(begin_, start_);
        std::uint32_t pos = begin_;
        while (pos < end_) {
            if (pos - base_ >= kSettleSpan) {
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
        finder_.Prefetch(pos + kPrefetchAhead);
        // Each position adds chain steps to the budget and each search pays for those it
        // walks. Where every chain is dense (letters of a small alphabet at random) and
        // most positions are searched, walks are kept short on average; ordinary data
        // searches fewer positions and walks deep where it needs to on what it saved.
        stepCredit_ = std::min(stepCredit_ + kStepsPerPosition, kStepCredit);
        if (cheapestNext <= cheapestHere) {
            matches_.count = 0;
        } else {
            stepCredit_ -= finder_.Find(pos, std::min(stepCredit_, kChainDepth), matches_);
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
        } else if (const std::uint32_t last = lastSeen_[cur[0]];
                   last != kNone && pos - last <= format::kShortLiteralMaxOffset) {
            shortLiteral = static_cast<std::uint8_t>(pos - last);
        }
        const std::uint32_t literalBits = shortLiteral != 0xFF ? kShortLiteralBits : kLiteralBits;
        const Kind literalKind = shortLiteral != 0xFF ? Kind::kShortLiteral : Kind::kLiteral;

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
                Offer(here + kArrivals * len, a.cost + 4 + kGammaBits[len], a.key | 1u, len, slot,
                      Kind::kRep);
            }
        }

        // Matches, from whichever state prices them lower.
        const unsigned cheaper = best[0] <= best[1] ? 0 : 1;
        std::uint32_t from = 2;
        for (const auto& m : matches_) {
            const std::uint32_t key = Key(m.offset, true);
            std::uint32_t len = from;
            if (m.offset <= format::kShortMatchMaxOffset) {
                for (; len <= std::min(format::kShortMatchMaxLength, m.len); ++len) {
                    Offer(here + kArrivals * len, best[cheaper] + kShortMatchBits, key, len,
                          bestSlot[cheaper], Kind::kShortMatch);
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
                          Kind::kMatch);
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
        Token token{Kind::kLiteral, 0, 0};
        std::uint32_t chosenCost = kInfinite;
        for (unsigned s = 0; s < kArrivals; ++s) {
            const Arrival& a = here[s];
            if (a.cost == kInfinite) continue;
            if (repLen[s] >= 2) {
                const std::uint32_t len = MatchLength(cur, cur - a.LastOffset(), limit);
                const std::uint32_t c = a.cost + RepBits(len);
                if (len > token.len || (len == token.len && c < chosenCost)) {
                    token = {Kind::kRep, len, a.LastOffset()};
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
                    token = {Kind::kMatch, len, m.offset};
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
            if (kind == Kind::kLiteral && tokens_.size() > first && tokens_.back().kind == Kind::kLiteral) {
                ++tokens_.back().len;  // runs of literals are one token
            } else {
                tokens_.push_back(
                    {kind, a.len, kind == Kind::kShortLiteral ? a.ShortLiteral() : a.LastOffset()});
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
    unsigned stepCredit_ = kStepCredit;  // chain steps the searches may still walk
};

// Bits go into tag bytes, most significant first; a new tag byte is placed where the
// stream stands when the previous one is full, and whole bytes follow it directly.
class BitWriter {
public:
    // Writes behind what `out` already holds.
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out), used_(out.size()) { Reserve(1); }

    // Makes room for `bytes` more bytes. The room grows a step at a time within the
    // capacity the caller reserved, so that memory is touched only as it is written.
    void Reserve(std::size_t bytes) {
        if (used_ + bytes <= out_.size()) return;
        constexpr std::size_t kStep = std::size_t{1} << 20;
        const std::size_t wanted = used_ + bytes + std::min(kStep, used_);
        out_.resize(std::max(used_ + bytes, std::min(wanted, out_.capacity())));
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
    std::size_t used_;
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
        w_.Reserve(t.kind == Kind::kLiteral ? 2 * std::size_t{t.len} + 2 : 24);
        switch (t.kind) {
            case Kind::kLiteral:
                for (std::uint32_t i = 0; i < t.len; ++i) Literal();
                return;
            case Kind::kShortLiteral:
                w_.Bits(0b111, 3);
                w_.Bits(t.offset, 4);
                state_.afterMatch = false;
                break;
            case Kind::kShortMatch:
                ShortMatch(t.offset, t.len);
                return;
            case Kind::kRep:
                if (!state_.afterMatch && state_.lastOffset == t.offset) {
                    w_.Bits(0b10, 2);
                    w_.Gamma(format::kRepeatCode);
                    w_.Gamma(t.len);
                    state_.afterMatch = true;
                    break;
                }
                Match(t.offset, t.len);
                return;
            case Kind::kMatch:
                Match(t.offset, t.len);
                return;
        }
        pos_ += t.len;
    }

    // Emits only the last `tail` bytes of a token (the rest is already written).
    void EmitTail(const Token& t, std::uint32_t tail) {
        w_.Reserve(2 * std::size_t{tail} + 24);
        if (t.kind == Kind::kLiteral) {
            Emit({Kind::kLiteral, tail, 0});
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
        w_.Byte(static_cast<std::uint8_t>(offset << 1 | (len - format::kShortMatchMinLength)));
        state_ = {offset, true};
        pos_ += len;
    }

    // Any copy of `len` bytes at `offset`, in whatever form the format allows for it.
    void Match(std::uint32_t offset, std::uint32_t len) {
        if (!state_.afterMatch && state_.lastOffset == offset && len >= 2) {
            Emit({Kind::kRep, len, offset});
        } else if (len >= MinMatchLength(offset)) {
            w_.Bits(0b10, 2);
            w_.Gamma((offset >> 8) +
                     (state_.afterMatch ? format::kHighAfterMatch : format::kHighAfterLiteral));
            w_.Byte(static_cast<std::uint8_t>(offset));
            w_.Gamma(len - LengthBonus(offset));
            state_ = {offset, true};
            pos_ += len;
        } else if (offset <= format::kShortMatchMaxOffset && len >= format::kShortMatchMinLength) {
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

// Packs on two threads. The work is a list of jobs in input order: parse the pieces of
// a block, with the link of the next block midway among them, so that no piece has to
// wait for its link. Each thread takes the next job free, so that they finish together
// whatever the jobs cost. A piece waits for its block's link; a link waits for the link
// before it and for the pieces two blocks back, whose part of the rings it reuses.
// Pieces are written in order by whichever thread finds the next one parsed, while the
// other works on.
//
// The threads wait for each other by polling: a blocked thread can take milliseconds to
// wake up on a virtual machine, longer than the waits here. Yielding leaves the
// processor to the other thread where there is only one. (std::latch is not used: its
// atomic wait can miss its wake-up with the Windows thread library, seen as a hang.)
void PackInParallel(std::span<const std::uint8_t> data, MatchFinder& finder, Emitter& emitter) {
    const auto size = static_cast<std::uint32_t>(data.size());
    const std::uint32_t blocks = (size + kBlock - 1) / kBlock;
    const std::uint32_t count = (size + kPiece - 1) / kPiece;  // the first starts at 1, behind the first byte
    const auto pieces = std::make_unique<Piece[]>(count);
    for (std::uint32_t k = 0; k < count; ++k) {
        pieces[k].begin = std::max(1u, k * kPiece);
        pieces[k].end = std::min(size, (k + 1) * kPiece);
    }
    constexpr std::uint32_t kPiecesPerBlock = kBlock / kPiece;
    // Jobs: block 0's link, then the pieces of each block b with the link of block b + 1
    // among them, so that it is done by the time the first piece that needs it is taken.
    constexpr std::uint32_t kLinkAfter = kPiecesPerBlock / 2;
    const std::uint32_t jobs = 1 + blocks * (kPiecesPerBlock + 1);

    std::atomic<std::uint32_t> linked{0};  // blocks linked
    std::atomic<bool> failed{false};
    std::atomic<std::uint32_t> nextJob{0};
    std::mutex emitting;
    std::uint32_t written = 0;                // pieces written, under `emitting`
    std::atomic<std::uint32_t> writtenTo{0};  // where the stream written so far ends
    auto waitUntil = [&failed](auto&& ready) {
        while (!ready() && !failed.load(std::memory_order_acquire)) std::this_thread::yield();
        return !failed.load(std::memory_order_acquire);
    };
    auto writeReady = [&] {
        while (written < count && pieces[written].parsed.load(std::memory_order_acquire)) {
            EmitPiece(emitter, pieces[written]);
            ++written;
            writtenTo.store(emitter.Position(), std::memory_order_relaxed);
        }
    };
    auto link = [&](std::uint32_t b) {
        const bool ready = waitUntil([&] {
            if (linked.load(std::memory_order_acquire) != b) return false;
            const std::uint32_t reused = b < 2 ? 0 : std::min(count, (b - 1) * kPiecesPerBlock);
            for (std::uint32_t k = b < 2 ? 0 : (b - 2) * kPiecesPerBlock; k < reused; ++k) {
                if (!pieces[k].parsed.load(std::memory_order_acquire)) return false;
            }
            return true;
        });
        if (!ready) return false;
        finder.Link(b * kBlock, std::min(size, (b + 1) * kBlock));
        linked.store(b + 1, std::memory_order_release);
        return true;
    };
    auto parse = [&](std::uint32_t k, std::vector<Arrival>& arrivals) {
        Piece& piece = pieces[k];
        // What is written may already run past this piece (a long run of one byte is
        // one match to the end): then it will be skipped, and needs no parse.
        if (writtenTo.load(std::memory_order_relaxed) < piece.end) {
            const std::uint32_t b = k / kPiecesPerBlock;
            if (!waitUntil([&] { return linked.load(std::memory_order_acquire) > b; })) return false;
            Parser parser(finder, data, piece.begin, piece.end, State{}, arrivals);
            parser.Parse();
            piece.tokens = parser.TakeTokens();
        }
        piece.parsed.store(true, std::memory_order_release);
        if (const std::unique_lock<std::mutex> lock(emitting, std::try_to_lock); lock) writeReady();
        return true;
    };
    auto work = [&] {
        std::vector<Arrival> arrivals;
        for (;;) {
            const std::uint32_t job = nextJob.fetch_add(1);
            if (job >= jobs) return;
            if (job == 0) {
                if (!link(0)) return;
                continue;
            }
            const std::uint32_t b = (job - 1) / (kPiecesPerBlock + 1);
            const std::uint32_t inBlock = (job - 1) % (kPiecesPerBlock + 1);
            if (inBlock == kLinkAfter) {
                if (b + 1 < blocks && !link(b + 1)) return;
                continue;
            }
            const std::uint32_t k = b * kPiecesPerBlock + inBlock - (inBlock > kLinkAfter ? 1 : 0);
            if (k < count && !parse(k, arrivals)) return;
        }
    };

    // Out of memory is the only failure there is; each thread keeps its own.
    std::exception_ptr workerFailure;
    std::exception_ptr mainFailure;
    auto guarded = [&failed, &work](std::exception_ptr& failure) {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
            failed.store(true, std::memory_order_release);
        }
    };
    std::thread worker([&] { guarded(workerFailure); });
    guarded(mainFailure);
    worker.join();
    if (mainFailure) std::rethrow_exception(mainFailure);
    if (workerFailure) std::rethrow_exception(workerFailure);
    const std::lock_guard<std::mutex> lock(emitting);
    writeReady();
}

}  // namespace

namespace {

// Appends the raw stream for `data` to `out`.
void PackInto(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
    if (data.empty()) throw PackError("cannot pack empty input: the format has no encoding for it");
    if (data.size() > format::kMaxOrigSize) throw PackError("cannot pack 2 GiB or more in one block");
    const auto size = static_cast<std::uint32_t>(data.size());
    // Room for the stream at its largest (literals only: 9 bits a byte); only what is
    // written is touched.
    out.reserve(out.size() + data.size() + data.size() / 8 + 64);
    Emitter emitter(data, out);
    if (size > 1) {
        MatchFinder finder(data);
        if (size <= kSplitAbove) {
            finder.Link(0, size);
            std::vector<Arrival> arrivals;
            Parser whole(finder, data, 1, size, State{}, arrivals);
            whole.Parse();
            for (const Token& t : whole.Tokens()) emitter.Emit(t);
        } else {
            PackInParallel(data, finder, emitter);
        }
    }
    emitter.End();
}

}  // namespace

std::vector<std::uint8_t> PackRaw(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> out;
    PackInto(data, out);
    return out;
}

std::vector<std::uint8_t> PackSafe(std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> block(kSafeHeaderSize);
    PackInto(data, block);
    const auto raw = std::span(block).subspan(kSafeHeaderSize);
    SafeHeader header;
    header.packed_size = static_cast<std::uint32_t>(raw.size());
    header.packed_crc = Crc32(raw);
    header.orig_size = static_cast<std::uint32_t>(data.size());
    header.orig_crc = Crc32(data);
    WriteSafeHeader(header, block.data());
    return block;
}

}  // namespace aplib
