// The rewrite loop of BuildParamList. Each pass handles the first "ByRef " and then
// the first " As "; a declaration can hold thousands of them. Rebuilding the
// whole text on every pass would be quadratic, so the passes edit the text in
// place: a short text as one string, a long one in chunks, where a splice or a
// move touches a few chunks only and every search skips the chunks that hold no
// occurrence of what it looks for. The text and every position computed are
// exactly those of whole-text rebuilds.
#include "rewrite_loop.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace declshift {
namespace {

// What the passes search for.
enum Pattern : std::size_t {
    kByRef,
    kAs,
    kLowerAs,
    kAsAs,
    kRem,
    kBackslash,
    kParen,
    kComma,
    kBreak,
    kPatternCount
};
constexpr std::array<TextView, kPatternCount> kPatterns = {u"ByRef ", u" As ", u" as ", u" As As ", u":REM",
                                                           u"\\",     u")",    u",",    u"\r\n"};
constexpr std::int64_t kLongest = 7;
constexpr std::size_t kChunk = 256;
constexpr std::int64_t kNone = -1;
// Texts up to this length are edited as one string.
constexpr std::size_t kShortText = 4096;

// The whole text as one string: every operation is linear, with small constants.
class FlatText {
public:
    explicit FlatText(TextView text) : text_(text) {}

    std::int64_t size() const { return Len(text_); }
    bool Contains(Pattern p) const { return text_.find(kPatterns[p]) != Text::npos; }
    char16_t At(std::int64_t pos) const { return text_[static_cast<std::size_t>(pos)]; }
    std::int64_t Find(Pattern p, std::int64_t from) const {
        const auto at = text_.find(kPatterns[p], static_cast<std::size_t>(from));
        return at == Text::npos ? kNone : static_cast<std::int64_t>(at);
    }
    std::int64_t FindBefore(Pattern p, std::int64_t before) const {
        if (before <= 0) return kNone;
        const auto at = text_.rfind(kPatterns[p], static_cast<std::size_t>(before - 1));
        return at == Text::npos ? kNone : static_cast<std::int64_t>(at);
    }
    Text Flatten() const { return text_; }
    void Splice(std::int64_t pos, std::int64_t length, TextView with) {
        text_.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(length), with);
    }
    void Rotate(std::int64_t begin, std::int64_t middle, std::int64_t end) {
        const auto at = [this](std::int64_t pos) {
            return text_.begin() + static_cast<Text::difference_type>(pos);
        };
        std::rotate(at(begin), at(middle), at(end));
    }
    void ReplaceEvery(Pattern p, TextView with) { text_ = Replace(text_, kPatterns[p], with); }

private:
    Text text_;
};

// Text as a sequence of chunks, each knowing how many occurrences of every
// pattern start in it (an occurrence may run on into the next chunks). Positions
// are 0-based. An edit inside one chunk rewrites that chunk only; one that spans
// chunks splits them at its ends and moves or drops whole chunks. Beside the
// chunks lies one mask per chunk of the patterns it holds, so that a search skips
// four chunks per step without touching them.
class ChunkedText {
public:
    explicit ChunkedText(TextView text, bool checked = false) : checked_(checked) { Load(text); }

    std::int64_t size() const { return starts_.back(); }
    bool Contains(Pattern p) const { return totals_[p] != 0; }

    char16_t At(std::int64_t pos) const {
        const std::size_t i = ChunkAt(pos);
        return chunks_[i]->text[Offset(i, pos)];
    }

    // First occurrence starting at or after `from`, or kNone.
    std::int64_t Find(Pattern p, std::int64_t from) const {
        if (totals_[p] == 0 || from >= size()) return kNone;
        const TextView pattern = kPatterns[p];
        const std::size_t first = ChunkAt(from);
        for (std::size_t i = NextHolding(p, first); i < chunks_.size(); i = NextHolding(p, i + 1)) {
            const Text& s = chunks_[i]->text;
            const std::size_t off = i == first ? Offset(first, from) : 0;
            // One wholly inside the chunk comes before any that runs on into the next.
            if (const auto inside = declshift::Find(s, pattern, off); inside != Text::npos) {
                return starts_[i] + static_cast<std::int64_t>(inside);
            }
            for (std::size_t o = std::max(off, s.size() - std::min(s.size(), pattern.size() - 1));
                 o < s.size(); ++o) {
                if (s[o] == pattern.front() && MatchAt(i, o, pattern)) {
                    return starts_[i] + static_cast<std::int64_t>(o);
                }
            }
        }
        return kNone;
    }

    // Last occurrence starting before `before`, or kNone.
    std::int64_t FindBefore(Pattern p, std::int64_t before) const {
        before = std::min(before, size());
        if (totals_[p] == 0 || before <= 0) return kNone;
        for (std::size_t i = ChunkAt(before - 1) + 1; i-- > 0;) {
            if ((present_[i] & Bit(p)) == 0) continue;
            const Text& s = chunks_[i]->text;
            for (std::size_t o = std::min(s.size(), Offset(i, before - 1) + 1); o-- > 0;) {
                if (s[o] == kPatterns[p].front() && MatchAt(i, o, kPatterns[p])) {
                    return starts_[i] + static_cast<std::int64_t>(o);
                }
            }
        }
        return kNone;
    }

    Text Flatten() const {
        Text out;
        out.reserve(static_cast<std::size_t>(size()));
        for (const Chunk* c : chunks_) out += c->text;
        return out;
    }

    // The text [from, to).
    Text Slice(std::int64_t from, std::int64_t to) const {
        Text out;
        for (std::size_t i = ChunkAt(from); from < to; ++i) {
            const TextView s = chunks_[i]->text;
            const std::size_t off = Offset(i, from);
            const std::size_t take = std::min(s.size() - off, static_cast<std::size_t>(to - from));
            out.append(s.substr(off, take));
            from += static_cast<std::int64_t>(take);
        }
        return out;
    }

    // One pass of a replacement over the whole text, left to right. Many
    // occurrences are replaced in one sweep over the text.
    void ReplaceEvery(Pattern p, TextView with) {
        if (totals_[p] > 16) {
            Load(Replace(Flatten(), kPatterns[p], with));
            return;
        }
        for (auto at = Find(p, 0); at != kNone; at = Find(p, at + Len(with)))
            Splice(at, Len(kPatterns[p]), with);
    }

    // Replaces `length` characters at `pos` by `with`.
    void Splice(std::int64_t pos, std::int64_t length, TextView with) {
        const auto end = pos + static_cast<std::int64_t>(with.size());
        // Within one chunk (an insertion at a chunk's end goes into that chunk).
        for (const std::int64_t probe : {pos, pos - 1}) {
            if (const std::size_t i = ChunkAt(probe);
                probe >= 0 && i < chunks_.size() && pos + length <= starts_[i + 1]) {
                Tally(pos - (kLongest - 1), pos + length, -1);
                chunks_[i]->text.replace(Offset(i, pos), static_cast<std::size_t>(length), with);
                ChunkChanged(i, pos, end);
                Check();
                return;
            }
        }
        const std::size_t first = SplitAt(pos);
        const std::size_t last = SplitAt(pos + length);
        for (std::size_t i = first; i < last; ++i) Release(i);
        EraseChunks(first, last);
        for (std::size_t at = 0, i = first; at < with.size(); at += kChunk, ++i) {
            InsertChunk(i, NewChunk(with.substr(at, kChunk)));
        }
        ReindexFrom(first);
        RecountRange(pos - (kLongest - 1), end);
        MergeNear(end);
        MergeNear(pos);
        Check();
    }

    // Puts the text [middle, end) in front of [begin, middle).
    void Rotate(std::int64_t begin, std::int64_t middle, std::int64_t end) {
        if (begin == middle || middle == end) return;
        if (const std::size_t i = ChunkAt(begin); end <= starts_[i + 1]) {
            Tally(begin - (kLongest - 1), end, -1);
            Text& s = chunks_[i]->text;
            std::rotate(s.begin() + static_cast<std::ptrdiff_t>(Offset(i, begin)),
                        s.begin() + static_cast<std::ptrdiff_t>(Offset(i, middle)),
                        s.begin() + static_cast<std::ptrdiff_t>(Offset(i, end)));
            ChunkChanged(i, begin, end);
            Check();
            return;
        }
        // A short piece on either side is taken out and put back on the other:
        // two edits within a chunk or two.
        if (middle - begin <= static_cast<std::int64_t>(kChunk)) {
            const Text piece = Slice(begin, middle);
            Splice(begin, middle - begin, u"");
            Splice(end - Len(piece), 0, piece);
            return;
        }
        if (end - middle <= static_cast<std::int64_t>(kChunk)) {
            const Text piece = Slice(middle, end);
            Splice(middle, end - middle, u"");
            Splice(begin, 0, piece);
            return;
        }
        SplitAt(begin);
        SplitAt(middle);
        SplitAt(end);
        // Only occurrences that run across a seam change, and they start within
        // kLongest - 1 characters before one: those are counted out before the
        // move and in after it. Every other occurrence moves with its chunk.
        TallyBeforeSeams({begin, middle, end}, -1);
        const std::size_t first = ChunkAt(begin);
        RotateChunks(first, ChunkAt(middle), ChunkAt(end));
        const std::int64_t moved = begin + end - middle;
        TallyBeforeSeams({begin, moved, end}, +1);
        for (const std::int64_t seam : {moved, end, begin}) MergeNear(seam);
        Check();
    }

private:
    using Counts = std::array<std::int32_t, kPatternCount>;
    using Mask = std::uint16_t;
    static_assert(kPatternCount <= 16, "one mask bit per pattern");

    struct Chunk {
        Text text;
        Counts count{};
    };

    static constexpr Mask Bit(std::size_t p) { return static_cast<Mask>(1u << p); }
    static constexpr Mask kAllPatterns = static_cast<Mask>((1u << kPatternCount) - 1);

    // The patterns that begin with `c`.
    static Mask StartingWith(char16_t c) {
        static const std::array<Mask, 128> kTable = [] {
            std::array<Mask, 128> table{};
            for (std::size_t p = 0; p < kPatternCount; ++p) table[kPatterns[p].front()] |= Bit(p);
            return table;
        }();
        return c < kTable.size() ? kTable[c] : Mask{0};
    }

    Chunk* NewChunk(TextView text) {
        if (spare_.empty()) {
            owned_.push_back(std::make_unique<Chunk>());
            spare_.push_back(owned_.back().get());
        }
        Chunk* chunk = spare_.back();
        spare_.pop_back();
        chunk->text.assign(text);
        chunk->count = {};
        return chunk;
    }

    // Takes chunk i's occurrences out of the totals and keeps it for reuse.
    void Release(std::size_t i) {
        Forget(i);
        spare_.push_back(chunks_[i]);
    }

    // The chunk list and the masks beside it change together.
    void InsertChunk(std::size_t i, Chunk* chunk) {
        chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(i), chunk);
        present_.insert(present_.begin() + static_cast<std::ptrdiff_t>(i), MaskOf(chunk->count));
    }
    void EraseChunks(std::size_t first, std::size_t last) {
        chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(first),
                      chunks_.begin() + static_cast<std::ptrdiff_t>(last));
        present_.erase(present_.begin() + static_cast<std::ptrdiff_t>(first),
                       present_.begin() + static_cast<std::ptrdiff_t>(last));
    }
    // Puts chunks [middle, last) in front of [first, middle); their starts move
    // by the length of the part they pass.
    void RotateChunks(std::size_t first, std::size_t middle, std::size_t last) {
        const auto at = [](auto& list, std::size_t i) {
            return list.begin() + static_cast<std::ptrdiff_t>(i);
        };
        const std::int64_t frontLength = starts_[middle] - starts_[first];
        const std::int64_t backLength = starts_[last] - starts_[middle];
        std::rotate(at(chunks_, first), at(chunks_, middle), at(chunks_, last));
        std::rotate(at(present_, first), at(present_, middle), at(present_, last));
        std::rotate(at(starts_, first), at(starts_, middle), at(starts_, last));
        const std::size_t movedFront = first + (last - middle);
        for (std::size_t k = first; k < movedFront; ++k) starts_[k] -= frontLength;
        for (std::size_t k = movedFront; k < last; ++k) starts_[k] += backLength;
    }

    static Mask MaskOf(const Counts& counts) {
        Mask mask = 0;
        for (std::size_t p = 0; p < kPatternCount; ++p) mask |= counts[p] != 0 ? Bit(p) : Mask{0};
        return mask;
    }

    // Every change of a count goes through here, so totals and masks stay in step.
    void AddCount(std::size_t i, std::size_t p, std::int32_t delta) {
        std::int32_t& count = chunks_[i]->count[p];
        count += delta;
        totals_[p] += delta;
        present_[i] =
            count != 0 ? static_cast<Mask>(present_[i] | Bit(p)) : static_cast<Mask>(present_[i] & ~Bit(p));
    }

    // Index of the first chunk from `i` on that holds an occurrence of p, or the
    // number of chunks.
    std::size_t NextHolding(Pattern p, std::size_t i) const {
        const std::size_t n = present_.size();
        const std::uint64_t wanted = std::uint64_t{Bit(p)} * 0x0001'0001'0001'0001u;
        for (; i + 4 <= n; i += 4) {
            std::uint64_t four = 0;
            std::memcpy(&four, present_.data() + i, sizeof four);
            if ((four & wanted) != 0) break;
        }
        for (; i < n; ++i) {
            if ((present_[i] & Bit(p)) != 0) return i;
        }
        return n;
    }

    void Load(TextView text) {
        for (std::size_t i = 0; i < chunks_.size(); ++i) Release(i);
        chunks_.clear();
        present_.clear();
        for (std::size_t at = 0; at < text.size(); at += kChunk) {
            chunks_.push_back(NewChunk(text.substr(at, kChunk)));
            present_.push_back(0);
        }
        ReindexFrom(0);
        for (std::size_t i = 0; i < chunks_.size(); ++i) Recount(i);
        Check();
    }

    // In checked mode: every chunk non-empty, every position, count and mask exact.
    void Check() const {
        if (!checked_) return;
        std::array<std::int64_t, kPatternCount> totals{};
        std::int64_t start = 0;
        if (present_.size() != chunks_.size()) throw std::logic_error("masks out of step");
        for (std::size_t i = 0; i < chunks_.size(); ++i) {
            const Text& s = chunks_[i]->text;
            if (s.empty() || starts_[i] != start) throw std::logic_error("chunk layout out of step");
            start += static_cast<std::int64_t>(s.size());
            for (std::size_t p = 0; p < kPatternCount; ++p) {
                std::int32_t count = 0;
                for (std::size_t o = 0; o < s.size(); ++o) count += MatchAt(i, o, kPatterns[p]) ? 1 : 0;
                if (count != chunks_[i]->count[p]) throw std::logic_error("pattern count out of step");
                totals[p] += count;
            }
            if (present_[i] != MaskOf(chunks_[i]->count)) throw std::logic_error("mask out of step");
        }
        if (totals != totals_ || starts_.size() != chunks_.size() + 1 || starts_.back() != start) {
            throw std::logic_error("totals out of step");
        }
    }

    // Index of the chunk holding `pos`; the number of chunks when pos is the end.
    std::size_t ChunkAt(std::int64_t pos) const {
        return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), pos) -
                                        starts_.begin()) -
               1;
    }
    std::size_t Offset(std::size_t i, std::int64_t pos) const {
        return static_cast<std::size_t>(pos - starts_[i]);
    }

    bool MatchAt(std::size_t i, std::size_t off, TextView pattern) const {
        if (const Text& s = chunks_[i]->text; off + pattern.size() <= s.size()) {
            for (const char16_t c : pattern) {
                if (s[off++] != c) return false;
            }
            return true;
        }
        for (const char16_t c : pattern) {
            while (i < chunks_.size() && off >= chunks_[i]->text.size()) {
                ++i;
                off = 0;
            }
            if (i == chunks_.size() || chunks_[i]->text[off] != c) return false;
            ++off;
        }
        return true;
    }

    // Occurrences starting in chunk i at offsets [from, to).
    // Only the patterns in `among` are looked for.
    Counts CountStarts(std::size_t i, std::size_t from, std::size_t to, Mask among = kAllPatterns) const {
        Counts counts{};
        if (among == 0) return counts;
        const Text& s = chunks_[i]->text;
        for (std::size_t o = from; o < to; ++o) {
            for (Mask candidates = StartingWith(s[o]) & among; candidates != 0;
                 candidates &= candidates - 1) {
                const auto p = static_cast<std::size_t>(std::countr_zero(candidates));
                if (MatchAt(i, o, kPatterns[p])) ++counts[p];
            }
        }
        return counts;
    }

    void ReindexFrom(std::size_t first) {
        starts_.resize(chunks_.size() + 1, 0);
        for (std::size_t i = first; i < chunks_.size(); ++i) {
            starts_[i + 1] = starts_[i] + static_cast<std::int64_t>(chunks_[i]->text.size());
        }
    }

    // After chunk i's text changed from `pos` on (now up to `end`), the
    // occurrences starting in the changed stretch having been taken out of the
    // counts: positions, counts, and the chunk's size kept within bounds.
    void ChunkChanged(std::size_t i, std::int64_t pos, std::int64_t end) {
        // Only the chunk's length changed: every later start moves by the same amount.
        const std::int64_t grown =
            static_cast<std::int64_t>(chunks_[i]->text.size()) - (starts_[i + 1] - starts_[i]);
        for (std::size_t k = i + 1; k < starts_.size(); ++k) starts_[k] += grown;
        Tally(pos - (kLongest - 1), end, +1);
        if (chunks_[i]->text.empty()) {
            Release(i);
            EraseChunks(i, i + 1);
            starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        } else if (chunks_[i]->text.size() > 2 * kChunk) {
            SplitAt(starts_[i] + static_cast<std::int64_t>(kChunk));
        }
        MergeNear(pos);
    }

    // Adds `sign` to the counts of the occurrences starting in [from, to).
    void Tally(std::int64_t from, std::int64_t to, std::int32_t sign) {
        from = std::max<std::int64_t>(from, 0);
        to = std::min(to, size());
        for (std::size_t i = from < to ? ChunkAt(from) : chunks_.size();
             i < chunks_.size() && starts_[i] < to; ++i) {
            const std::size_t last = std::min(chunks_[i]->text.size(), Offset(i, to));
            // Counting out, only the patterns the chunk holds can be there.
            const Counts counts = CountStarts(i, from > starts_[i] ? Offset(i, from) : 0, last,
                                              sign < 0 ? present_[i] : kAllPatterns);
            for (std::size_t p = 0; p < kPatternCount; ++p) {
                if (counts[p] != 0) AddCount(i, p, sign * counts[p]);
            }
        }
    }

    // Tally over the stretches of kLongest - 1 characters before each of three
    // ascending seams, each character once where the stretches overlap.
    void TallyBeforeSeams(std::array<std::int64_t, 3> seams, std::int32_t sign) {
        std::int64_t done = 0;
        for (const std::int64_t seam : seams) {
            Tally(std::max(done, seam - (kLongest - 1)), seam, sign);
            done = std::max(done, seam);
        }
    }

    void Forget(std::size_t i) {
        for (std::size_t p = 0; p < kPatternCount; ++p) {
            if (chunks_[i]->count[p] != 0) AddCount(i, p, -chunks_[i]->count[p]);
        }
    }

    // Counts again the occurrences that start in chunk i.
    void Recount(std::size_t i) {
        Forget(i);
        const Counts counts = CountStarts(i, 0, chunks_[i]->text.size());
        for (std::size_t p = 0; p < kPatternCount; ++p) {
            if (counts[p] != 0) AddCount(i, p, counts[p]);
        }
    }

    // Recounts every chunk that holds a position in [from, to).
    void RecountRange(std::int64_t from, std::int64_t to) {
        from = std::max<std::int64_t>(from, 0);
        for (std::size_t i = ChunkAt(from); i < chunks_.size() && starts_[i] < to; ++i) Recount(i);
    }

    // Makes a chunk start at `pos` and returns its index. Every occurrence keeps
    // its start, so the counts are only shared out between the two halves; the
    // shorter half is counted, with the chunk still whole.
    std::size_t SplitAt(std::int64_t pos) {
        const std::size_t i = ChunkAt(pos);
        if (i == chunks_.size() || starts_[i] == pos) return i;
        const std::size_t cut = Offset(i, pos);
        const std::size_t length = chunks_[i]->text.size();
        Counts tail = CountStarts(i, cut, length, present_[i]);
        if (cut < length - cut) {
            const Counts head = CountStarts(i, 0, cut, present_[i]);
            for (std::size_t p = 0; p < kPatternCount; ++p) tail[p] = chunks_[i]->count[p] - head[p];
        }
        InsertChunk(i + 1, NewChunk(TextView(chunks_[i]->text).substr(cut)));
        chunks_[i]->text.resize(cut);
        starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(i) + 1, pos);
        for (std::size_t p = 0; p < kPatternCount; ++p) {
            if (tail[p] != 0) {
                AddCount(i, p, -tail[p]);
                AddCount(i + 1, p, tail[p]);
            }
        }
        return i + 1;
    }

    // Joins small neighbours around `pos` so that edits do not splinter the text.
    void MergeNear(std::int64_t pos) {
        if (chunks_.size() < 2) return;
        const std::size_t at = ChunkAt(std::clamp<std::int64_t>(pos, 0, size() - 1));
        const std::size_t high = std::min(at + 1, chunks_.size() - 1);
        for (std::size_t i = high; i > 0 && i + 1 >= at; --i) {
            if (chunks_[i - 1]->text.size() + chunks_[i]->text.size() > kChunk) continue;
            const Counts moved = chunks_[i]->count;
            chunks_[i - 1]->text += chunks_[i]->text;
            Release(i);
            EraseChunks(i, i + 1);
            starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(i));
            for (std::size_t p = 0; p < kPatternCount; ++p) {
                if (moved[p] != 0) AddCount(i - 1, p, moved[p]);
            }
        }
    }

    std::vector<Chunk*> chunks_;
    std::vector<Mask> present_;  // beside chunks_: bit p set when the chunk holds pattern p
    std::vector<std::int64_t> starts_ = {0};
    std::array<std::int64_t, kPatternCount> totals_{};
    std::vector<std::unique_ptr<Chunk>> owned_;
    std::vector<Chunk*> spare_;
    bool checked_ = false;
};

// 1-based position of a search result, 0 when nothing was found.
std::int64_t Position(std::int64_t found) { return found == kNone ? 0 : found + 1; }
// The same, held in 16 bits like the positions the steps keep.
Int16 OneBased(std::int64_t found) { return Position(found); }
// A position the rebuild computes on the way; it must fit in 16 bits too.
void CheckPosition(std::int64_t position) { static_cast<void>(Int16(position)); }

// "ByRef " goes; the parameter's comment becomes "Pointer to".
template <typename Buffer>
void RewriteByRef(Buffer& t, std::int64_t found) {
    const Int16 l = OneBased(found);
    Int16 c = OneBased(t.Find(kBackslash, found));
    TextView piece = u" Pointer to";
    if (c == 0) {
        c = OneBased(t.Find(kParen, found));
        piece = u":REM Pointer to";
    }
    CheckPosition(l + 6);
    if (Int16(c - l - 5) < 0) Fail("negative length");
    CheckPosition(c + 1);
    t.Splice(c, 0, piece);
    t.Splice(l - 1, 6, u"");
}

// " As " and the type name behind it become a comment written at `insertAt`
// (1-based); the text from `clauseEnd` up to there moves in front of it.
template <typename Buffer>
void MoveTypeBehind(Buffer& t, std::int64_t m, std::int64_t clauseEnd, std::int64_t insertAt,
                    const Text& label) {
    t.Rotate(m - 1, clauseEnd - 1, insertAt - 1);
    t.Splice(m - 1 + insertAt - clauseEnd, 4, label);
}

// " As " and the type name behind it become the comment "Type <name>" (or
// "returns <name>" for a function's result type).
template <typename Buffer>
void RewriteType(Buffer& t, std::int64_t found) {
    const Int16 m = OneBased(found);
    Text prefix;
    if (t.Find(kBackslash, found) == kNone) {
        const Int16 c = OneBased(t.Find(kParen, found));
        const Int16 next = c + 1;
        if ((next > t.size() || t.At(next - 1) != u':') && !t.Contains(kRem)) prefix = u":REM";
    }
    Text label = u" Type ";
    const Int16 typeStart = m + 4;
    Int16 end = OneBased(t.Find(kComma, typeStart - 1));
    if (end == 0) end = OneBased(t.Find(kParen, typeStart - 1));
    if (end == 0) {
        end = t.size();
        label = u" returns ";
    }
    const Int16 breakAt = OneBased(t.Find(kBreak, found));
    const Int16 u = breakAt != 0 ? breakAt : Int16(t.size());
    std::int64_t remark = 0;
    const std::int64_t lineEnd = breakAt != 0 ? std::int64_t{u} : t.size() + 1;
    if (t.Contains(kRem)) {
        const std::int64_t previousBreak = t.FindBefore(kBreak, found);
        remark = Position(t.Find(kRem, previousBreak == kNone ? 0 : previousBreak + 2));
        if (remark >= lineEnd) remark = 0;
    }
    // The text between the type's end and the line break stays in front of the
    // comment; a type that runs on past the line break has no such text.
    if (Int16(u - end) < 0) Fail("negative length");
    if (remark == 0) {
        if (Int16(end - m - 4) < 0) Fail("negative length");
        MoveTypeBehind(t, m, end, u, prefix + label);
        return;
    }
    // The line already holds a remark ("Pointer to", or the comment of an earlier
    // type): the clause " As <name>" leaves its place and "," + label + name is
    // written where the remark ends, so the line keeps one comment. A remark that
    // interrupts the type name (a result type split by an earlier rewrite) ends
    // where the type ends, and the name is what stands before it; any other
    // remark ends at the next " As " or with the line.
    const std::int64_t cut = remark > m && remark < end ? remark : std::int64_t{end};
    if (cut - m - 4 < 0) Fail("negative length");
    std::int64_t e = end;
    if (remark > end) {
        e = Position(t.Find(kAs, remark - 1));
        if (e == 0 || e >= lineEnd) e = lineEnd;
    }
    MoveTypeBehind(t, m, cut, e, prefix + u"," + label);
}

template <typename Buffer, typename... Mode>
void RunPasses(Text& text, Mode... mode) {
    Buffer t(text, mode...);
    try {
        for (bool found = true; found;) {
            found = false;
            if (const auto l = t.Find(kByRef, 0); l != kNone) {
                found = true;
                RewriteByRef(t, l);
            }
            t.ReplaceEvery(kAsAs, u" As ");
            t.ReplaceEvery(kLowerAs, u" As ");
            if (const auto m = t.Find(kAs, 0); m != kNone) {
                found = true;
                RewriteType(t, m);
            }
            // Each pass leaves a text whose length fits in 16 bits.
            CheckPosition(t.size());
        }
    } catch (...) {
        text = t.Flatten();
        throw;
    }
    text = t.Flatten();
}

}  // namespace

void RewriteByRefAndTypes(Text& text, RewriteStorage storage) {
    // Without these the first pass finds nothing and changes nothing.
    if (!Contains(text, kPatterns[kByRef]) && !Contains(text, kPatterns[kAs]) &&
        !Contains(text, kPatterns[kLowerAs])) {
        FailBeyond16Bits(text);
        return;
    }
    if (storage == RewriteStorage::ByLength) {
        storage = text.size() <= kShortText ? RewriteStorage::OneString : RewriteStorage::Chunks;
    }
    if (storage == RewriteStorage::OneString) {
        RunPasses<FlatText>(text);
    } else {
        RunPasses<ChunkedText>(text, storage == RewriteStorage::CheckedChunks);
    }
}

}  // namespace declshift
