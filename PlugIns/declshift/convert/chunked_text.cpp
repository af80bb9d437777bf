#include "chunked_text.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace declshift {
namespace {

constexpr std::size_t kChunk = 256;
// Above this many occurrences, one pass over the whole text beats a splice each.
constexpr std::int32_t kSplicesPerReplace = 16;

}  // namespace

std::int64_t FlatText::Find(std::size_t p, std::int64_t from) const {
    const auto at = declshift::Find(text_, patterns_[p], static_cast<std::size_t>(from));
    return at == Text::npos ? kNotFound : static_cast<std::int64_t>(at);
}

std::int64_t FlatText::FindBefore(std::size_t p, std::int64_t before) const {
    if (before <= 0) return kNotFound;
    const auto at = text_.rfind(patterns_[p], static_cast<std::size_t>(before - 1));
    return at == Text::npos ? kNotFound : static_cast<std::int64_t>(at);
}

void FlatText::Splice(std::int64_t pos, std::int64_t length, TextView with) {
    text_.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(length), with);
}

void FlatText::Rotate(std::int64_t begin, std::int64_t middle, std::int64_t end) {
    const auto at = [this](std::int64_t pos) {
        return text_.begin() + static_cast<Text::difference_type>(pos);
    };
    std::rotate(at(begin), at(middle), at(end));
}

void FlatText::ReplaceEvery(std::size_t p, TextView with) { ReplaceIn(text_, patterns_[p], with); }

// A chunk and the occurrences of every pattern that start in it (an occurrence may
// run on into the next chunks). Beside the chunks lies one mask per chunk of the
// patterns it holds, so that a search skips four chunks per step without touching
// them.
struct ChunkedText::Chunk {
    Text text;
    Counts count{};
};

ChunkedText::ChunkedText(TextView text, Patterns patterns, bool checked)
    : patterns_(patterns), checked_(checked) {
    if (patterns.size() > kMaxPatterns) throw std::logic_error("too many patterns");
    for (std::size_t p = 0; p < patterns.size(); ++p) {
        const TextView pattern = patterns[p];
        if (pattern.empty() || pattern.front() >= startingWith_.size()) throw std::logic_error("bad pattern");
        startingWith_[pattern.front()] |= static_cast<Mask>(1u << p);
        allPatterns_ |= static_cast<Mask>(1u << p);
        longest_ = std::max(longest_, Len(pattern));
    }
    Load(text);
}

ChunkedText::~ChunkedText() = default;

char16_t ChunkedText::At(std::int64_t pos) const {
    const std::size_t i = ChunkAt(pos);
    return chunks_[i]->text[Offset(i, pos)];
}

std::int64_t ChunkedText::Find(std::size_t p, std::int64_t from) const {
    if (totals_[p] == 0 || from >= size()) return kNotFound;
    const TextView pattern = patterns_[p];
    const std::size_t first = ChunkAt(from);
    for (std::size_t i = NextHolding(p, first); i < chunks_.size(); i = NextHolding(p, i + 1)) {
        const Text& s = chunks_[i]->text;
        const std::size_t off = i == first ? Offset(first, from) : 0;
        // One wholly inside the chunk comes before any that runs on into the next.
        if (const auto inside = declshift::Find(s, pattern, off); inside != Text::npos) {
            return starts_[i] + static_cast<std::int64_t>(inside);
        }
        for (std::size_t o = std::max(off, s.size() - std::min(s.size(), pattern.size() - 1)); o < s.size();
             ++o) {
            if (s[o] == pattern.front() && MatchAt(i, o, pattern)) {
                return starts_[i] + static_cast<std::int64_t>(o);
            }
        }
    }
    return kNotFound;
}

std::int64_t ChunkedText::FindBefore(std::size_t p, std::int64_t before) const {
    before = std::min(before, size());
    if (totals_[p] == 0 || before <= 0) return kNotFound;
    const Mask bit = static_cast<Mask>(1u << p);
    for (std::size_t i = ChunkAt(before - 1) + 1; i-- > 0;) {
        if ((present_[i] & bit) == 0) continue;
        const Text& s = chunks_[i]->text;
        for (std::size_t o = std::min(s.size(), Offset(i, before - 1) + 1); o-- > 0;) {
            if (s[o] == patterns_[p].front() && MatchAt(i, o, patterns_[p])) {
                return starts_[i] + static_cast<std::int64_t>(o);
            }
        }
    }
    return kNotFound;
}

Text ChunkedText::Flatten() const {
    Text out;
    out.reserve(static_cast<std::size_t>(size()));
    for (const Chunk* c : chunks_) out += c->text;
    return out;
}

Text ChunkedText::Slice(std::int64_t from, std::int64_t to) const {
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

void ChunkedText::ReplaceEvery(std::size_t p, TextView with) {
    if (totals_[p] > kSplicesPerReplace) {
        Load(Replace(Flatten(), patterns_[p], with));
        return;
    }
    for (auto at = Find(p, 0); at != kNotFound; at = Find(p, at + Len(with)))
        Splice(at, Len(patterns_[p]), with);
}

void ChunkedText::Splice(std::int64_t pos, std::int64_t length, TextView with) {
    const auto end = pos + static_cast<std::int64_t>(with.size());
    // Within one chunk (an insertion at a chunk's end goes into that chunk).
    for (const std::int64_t probe : {pos, pos - 1}) {
        if (const std::size_t i = ChunkAt(probe);
            probe >= 0 && i < chunks_.size() && pos + length <= starts_[i + 1]) {
            Tally(pos - (longest_ - 1), pos + length, -1);
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
    RecountRange(pos - (longest_ - 1), end);
    MergeNear(end);
    MergeNear(pos);
    Check();
}

void ChunkedText::Rotate(std::int64_t begin, std::int64_t middle, std::int64_t end) {
    if (begin == middle || middle == end) return;
    if (const std::size_t i = ChunkAt(begin); end <= starts_[i + 1]) {
        Tally(begin - (longest_ - 1), end, -1);
        Text& s = chunks_[i]->text;
        std::rotate(s.begin() + static_cast<std::ptrdiff_t>(Offset(i, begin)),
                    s.begin() + static_cast<std::ptrdiff_t>(Offset(i, middle)),
                    s.begin() + static_cast<std::ptrdiff_t>(Offset(i, end)));
        ChunkChanged(i, begin, end);
        Check();
        return;
    }
    // A short piece on either side is taken out and put back on the other: two
    // edits within a chunk or two.
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
    // longest_ - 1 characters before one: those are counted out before the move
    // and in after it. Every other occurrence moves with its chunk.
    TallyBeforeSeams({begin, middle, end}, -1);
    RotateChunks(ChunkAt(begin), ChunkAt(middle), ChunkAt(end));
    const std::int64_t moved = begin + end - middle;
    TallyBeforeSeams({begin, moved, end}, +1);
    for (const std::int64_t seam : {moved, end, begin}) MergeNear(seam);
    Check();
}

ChunkedText::Chunk* ChunkedText::NewChunk(TextView text) {
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
void ChunkedText::Release(std::size_t i) {
    Forget(i);
    spare_.push_back(chunks_[i]);
}

// The chunk list and the masks beside it change together.
void ChunkedText::InsertChunk(std::size_t i, Chunk* chunk) {
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(i), chunk);
    present_.insert(present_.begin() + static_cast<std::ptrdiff_t>(i), MaskOf(chunk->count));
}

void ChunkedText::EraseChunks(std::size_t first, std::size_t last) {
    chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(first),
                  chunks_.begin() + static_cast<std::ptrdiff_t>(last));
    present_.erase(present_.begin() + static_cast<std::ptrdiff_t>(first),
                   present_.begin() + static_cast<std::ptrdiff_t>(last));
}

// Puts chunks [middle, last) in front of [first, middle); their starts move by the
// length of the part they pass.
void ChunkedText::RotateChunks(std::size_t first, std::size_t middle, std::size_t last) {
    const auto at = [](auto& list, std::size_t i) { return list.begin() + static_cast<std::ptrdiff_t>(i); };
    const std::int64_t frontLength = starts_[middle] - starts_[first];
    const std::int64_t backLength = starts_[last] - starts_[middle];
    std::rotate(at(chunks_, first), at(chunks_, middle), at(chunks_, last));
    std::rotate(at(present_, first), at(present_, middle), at(present_, last));
    std::rotate(at(starts_, first), at(starts_, middle), at(starts_, last));
    const std::size_t movedFront = first + (last - middle);
    for (std::size_t k = first; k < movedFront; ++k) starts_[k] -= frontLength;
    for (std::size_t k = movedFront; k < last; ++k) starts_[k] += backLength;
}

ChunkedText::Mask ChunkedText::MaskOf(const Counts& counts) const {
    Mask mask = 0;
    for (std::size_t p = 0; p < patterns_.size(); ++p)
        mask |= counts[p] != 0 ? static_cast<Mask>(1u << p) : Mask{0};
    return mask;
}

// Every change of a count goes through here, so totals and masks stay in step.
void ChunkedText::AddCount(std::size_t i, std::size_t p, std::int32_t delta) {
    std::int32_t& count = chunks_[i]->count[p];
    count += delta;
    totals_[p] += delta;
    const Mask bit = static_cast<Mask>(1u << p);
    present_[i] = count != 0 ? static_cast<Mask>(present_[i] | bit) : static_cast<Mask>(present_[i] & ~bit);
}

// Index of the first chunk from `i` on that holds an occurrence of p, or the
// number of chunks.
std::size_t ChunkedText::NextHolding(std::size_t p, std::size_t i) const {
    const std::size_t n = present_.size();
    const Mask bit = static_cast<Mask>(1u << p);
    const std::uint64_t wanted = std::uint64_t{bit} * 0x0001'0001'0001'0001u;
    for (; i + 4 <= n; i += 4) {
        std::uint64_t four = 0;
        std::memcpy(&four, present_.data() + i, sizeof four);
        if ((four & wanted) != 0) break;
    }
    for (; i < n; ++i) {
        if ((present_[i] & bit) != 0) return i;
    }
    return n;
}

void ChunkedText::Load(TextView text) {
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
void ChunkedText::Check() const {
    if (!checked_) return;
    std::array<std::int64_t, kMaxPatterns> totals{};
    std::int64_t start = 0;
    if (present_.size() != chunks_.size()) throw std::logic_error("masks out of step");
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const Text& s = chunks_[i]->text;
        if (s.empty() || starts_[i] != start) throw std::logic_error("chunk layout out of step");
        start += static_cast<std::int64_t>(s.size());
        for (std::size_t p = 0; p < patterns_.size(); ++p) {
            std::int32_t count = 0;
            for (std::size_t o = 0; o < s.size(); ++o) count += MatchAt(i, o, patterns_[p]) ? 1 : 0;
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
std::size_t ChunkedText::ChunkAt(std::int64_t pos) const {
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), pos) - starts_.begin()) -
           1;
}

std::size_t ChunkedText::Offset(std::size_t i, std::int64_t pos) const {
    return static_cast<std::size_t>(pos - starts_[i]);
}

bool ChunkedText::MatchAt(std::size_t i, std::size_t off, TextView pattern) const {
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

// Occurrences starting in chunk i at offsets [from, to), of the patterns in `among`.
ChunkedText::Counts ChunkedText::CountStarts(std::size_t i, std::size_t from, std::size_t to,
                                             Mask among) const {
    Counts counts{};
    if (among == 0) return counts;
    const Text& s = chunks_[i]->text;
    for (std::size_t o = from; o < to; ++o) {
        const Mask starting = s[o] < startingWith_.size() ? startingWith_[s[o]] : Mask{0};
        for (Mask candidates = starting & among; candidates != 0; candidates &= candidates - 1) {
            const auto p = static_cast<std::size_t>(std::countr_zero(candidates));
            if (MatchAt(i, o, patterns_[p])) ++counts[p];
        }
    }
    return counts;
}

void ChunkedText::ReindexFrom(std::size_t first) {
    starts_.resize(chunks_.size() + 1, 0);
    for (std::size_t i = first; i < chunks_.size(); ++i) {
        starts_[i + 1] = starts_[i] + static_cast<std::int64_t>(chunks_[i]->text.size());
    }
}

// After chunk i's text changed from `pos` on (now up to `end`), the occurrences
// starting in the changed stretch having been taken out of the counts: positions,
// counts, and the chunk's size kept within bounds.
void ChunkedText::ChunkChanged(std::size_t i, std::int64_t pos, std::int64_t end) {
    // Only the chunk's length changed: every later start moves by the same amount.
    const std::int64_t grown =
        static_cast<std::int64_t>(chunks_[i]->text.size()) - (starts_[i + 1] - starts_[i]);
    for (std::size_t k = i + 1; k < starts_.size(); ++k) starts_[k] += grown;
    Tally(pos - (longest_ - 1), end, +1);
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
void ChunkedText::Tally(std::int64_t from, std::int64_t to, std::int32_t sign) {
    from = std::max<std::int64_t>(from, 0);
    to = std::min(to, size());
    for (std::size_t i = from < to ? ChunkAt(from) : chunks_.size(); i < chunks_.size() && starts_[i] < to;
         ++i) {
        const std::size_t last = std::min(chunks_[i]->text.size(), Offset(i, to));
        // Counting out, only the patterns the chunk holds can be there.
        const Counts counts = CountStarts(i, from > starts_[i] ? Offset(i, from) : 0, last,
                                          sign < 0 ? present_[i] : allPatterns_);
        for (std::size_t p = 0; p < patterns_.size(); ++p) {
            if (counts[p] != 0) AddCount(i, p, sign * counts[p]);
        }
    }
}

// Tally over the stretches of longest_ - 1 characters before each of three
// ascending seams, each character once where the stretches overlap.
void ChunkedText::TallyBeforeSeams(std::array<std::int64_t, 3> seams, std::int32_t sign) {
    std::int64_t done = 0;
    for (const std::int64_t seam : seams) {
        Tally(std::max(done, seam - (longest_ - 1)), seam, sign);
        done = std::max(done, seam);
    }
}

void ChunkedText::Forget(std::size_t i) {
    for (std::size_t p = 0; p < patterns_.size(); ++p) {
        if (chunks_[i]->count[p] != 0) AddCount(i, p, -chunks_[i]->count[p]);
    }
}

// Counts again the occurrences that start in chunk i.
void ChunkedText::Recount(std::size_t i) {
    Forget(i);
    const Counts counts = CountStarts(i, 0, chunks_[i]->text.size(), allPatterns_);
    for (std::size_t p = 0; p < patterns_.size(); ++p) {
        if (counts[p] != 0) AddCount(i, p, counts[p]);
    }
}

// Recounts every chunk that holds a position in [from, to).
void ChunkedText::RecountRange(std::int64_t from, std::int64_t to) {
    from = std::max<std::int64_t>(from, 0);
    for (std::size_t i = ChunkAt(from); i < chunks_.size() && starts_[i] < to; ++i) Recount(i);
}

// Makes a chunk start at `pos` and returns its index. Every occurrence keeps its
// start, so the counts are only shared out between the two halves; the shorter
// half is counted, with the chunk still whole.
std::size_t ChunkedText::SplitAt(std::int64_t pos) {
    const std::size_t i = ChunkAt(pos);
    if (i == chunks_.size() || starts_[i] == pos) return i;
    const std::size_t cut = Offset(i, pos);
    const std::size_t length = chunks_[i]->text.size();
    Counts tail = CountStarts(i, cut, length, present_[i]);
    if (cut < length - cut) {
        const Counts head = CountStarts(i, 0, cut, present_[i]);
        for (std::size_t p = 0; p < patterns_.size(); ++p) tail[p] = chunks_[i]->count[p] - head[p];
    }
    InsertChunk(i + 1, NewChunk(TextView(chunks_[i]->text).substr(cut)));
    chunks_[i]->text.resize(cut);
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(i) + 1, pos);
    for (std::size_t p = 0; p < patterns_.size(); ++p) {
        if (tail[p] != 0) {
            AddCount(i, p, -tail[p]);
            AddCount(i + 1, p, tail[p]);
        }
    }
    return i + 1;
}

// Joins small neighbours around `pos` so that edits do not splinter the text.
void ChunkedText::MergeNear(std::int64_t pos) {
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
        for (std::size_t p = 0; p < patterns_.size(); ++p) {
            if (moved[p] != 0) AddCount(i - 1, p, moved[p]);
        }
    }
}

}  // namespace declshift
