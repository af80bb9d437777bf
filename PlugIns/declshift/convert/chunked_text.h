// Texts that are edited in place many times and searched for a fixed set of short
// patterns. FlatText holds one string; ChunkedText holds chunks of a few hundred
// characters, each knowing how many occurrences of every pattern start in it, so
// that an edit touches a few chunks only and a search skips the chunks without
// what it looks for. Both answer every operation alike.
//
// Positions are 0-based. Patterns are named by their index in the list given to
// the constructor, which must outlive the text: at most 16, none empty, each
// beginning with an ASCII character.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "text.h"

namespace declshift {

using Patterns = std::span<const TextView>;
// What Find and FindBefore answer when there is no occurrence.
inline constexpr std::int64_t kNotFound = -1;

// One string: every operation is linear, with small constants.
class FlatText {
public:
    FlatText(TextView text, Patterns patterns) : text_(text), patterns_(patterns) {}

    std::int64_t size() const { return Len(text_); }
    bool Contains(std::size_t p) const { return Find(p, 0) != kNotFound; }
    char16_t At(std::int64_t pos) const { return text_[static_cast<std::size_t>(pos)]; }
    // First occurrence starting at or after `from`.
    std::int64_t Find(std::size_t p, std::int64_t from) const;
    // Last occurrence starting before `before`.
    std::int64_t FindBefore(std::size_t p, std::int64_t before) const;
    Text Flatten() const { return text_; }

    // Replaces `length` characters at `pos` by `with`.
    void Splice(std::int64_t pos, std::int64_t length, TextView with);
    // Puts the text [middle, end) in front of [begin, middle).
    void Rotate(std::int64_t begin, std::int64_t middle, std::int64_t end);
    // Replaces every occurrence, scanning from the left, in one pass.
    void ReplaceEvery(std::size_t p, TextView with);

private:
    Text text_;
    Patterns patterns_;
};

class ChunkedText {
public:
    // `checked`: verify every position and count after every edit (slow; for tests).
    ChunkedText(TextView text, Patterns patterns, bool checked = false);
    ~ChunkedText();
    ChunkedText(const ChunkedText&) = delete;
    ChunkedText& operator=(const ChunkedText&) = delete;

    std::int64_t size() const { return starts_.back(); }
    bool Contains(std::size_t p) const { return totals_[p] != 0; }
    char16_t At(std::int64_t pos) const;
    std::int64_t Find(std::size_t p, std::int64_t from) const;
    std::int64_t FindBefore(std::size_t p, std::int64_t before) const;
    Text Flatten() const;
    // The text [from, to).
    Text Slice(std::int64_t from, std::int64_t to) const;

    void Splice(std::int64_t pos, std::int64_t length, TextView with);
    void Rotate(std::int64_t begin, std::int64_t middle, std::int64_t end);
    void ReplaceEvery(std::size_t p, TextView with);

private:
    static constexpr std::size_t kMaxPatterns = 16;
    using Counts = std::array<std::int32_t, kMaxPatterns>;
    using Mask = std::uint16_t;  // bit p: pattern p
    struct Chunk;

    Chunk* NewChunk(TextView text);
    void Release(std::size_t i);
    void InsertChunk(std::size_t i, Chunk* chunk);
    void EraseChunks(std::size_t first, std::size_t last);
    void RotateChunks(std::size_t first, std::size_t middle, std::size_t last);
    Mask MaskOf(const Counts& counts) const;
    void AddCount(std::size_t i, std::size_t p, std::int32_t delta);
    std::size_t NextHolding(std::size_t p, std::size_t i) const;
    void Load(TextView text);
    void Check() const;
    std::size_t ChunkAt(std::int64_t pos) const;
    std::size_t Offset(std::size_t i, std::int64_t pos) const;
    bool MatchAt(std::size_t i, std::size_t off, TextView pattern) const;
    Counts CountStarts(std::size_t i, std::size_t from, std::size_t to, Mask among) const;
    void ReindexFrom(std::size_t first);
    void ChunkChanged(std::size_t i, std::int64_t pos, std::int64_t end);
    void Tally(std::int64_t from, std::int64_t to, std::int32_t sign);
    void TallyBeforeSeams(std::array<std::int64_t, 3> seams, std::int32_t sign);
    void Forget(std::size_t i);
    void Recount(std::size_t i);
    void RecountRange(std::int64_t from, std::int64_t to);
    std::size_t SplitAt(std::int64_t pos);
    void MergeNear(std::int64_t pos);

    Patterns patterns_;
    Mask allPatterns_ = 0;
    std::int64_t longest_ = 0;              // length of the longest pattern
    std::array<Mask, 128> startingWith_{};  // the patterns that begin with a character
    std::vector<Chunk*> chunks_;
    std::vector<Mask> present_;  // beside chunks_: the patterns each chunk holds
    std::vector<std::int64_t> starts_ = {0};
    std::array<std::int64_t, kMaxPatterns> totals_{};
    std::vector<std::unique_ptr<Chunk>> owned_;
    std::vector<Chunk*> spare_;
    bool checked_ = false;
};

}  // namespace declshift
