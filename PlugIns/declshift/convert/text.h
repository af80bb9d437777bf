// BASIC-style text primitives over UTF-16 text, the vocabulary of every converter.
//
// Positions are 1-based, searches are exact code-unit comparisons, and the
// primitives fail (throw ConversionFailure) exactly where a BASIC run-time would:
// a start below 1, a negative length, the code of an empty text, or a 16-bit
// counter that leaves its range. Taking more than a text holds is no failure.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace declshift {

using Text = std::u16string;
using TextView = std::u16string_view;

// Raised by a primitive where the conversion cannot go on; each public converter
// catches it at its boundary and answers with the failure sentence.
class ConversionFailure : public std::runtime_error {
public:
    explicit ConversionFailure(const char* what) : std::runtime_error(what) {}
};

[[noreturn]] void Fail(const char* what);

// A signed 16-bit counter that fails instead of wrapping, for the positions,
// lengths and line indices that the converters keep in 16 bits.
class Int16 {
public:
    constexpr Int16() = default;
    Int16(std::int64_t value) : value_(Check(value)) {}  // NOLINT: implicit by design

    std::int16_t get() const { return value_; }
    operator std::int64_t() const { return value_; }  // NOLINT: reads like a number

    Int16& operator++() { return *this = Int16(std::int64_t{value_} + 1); }
    Int16& operator+=(std::int64_t by) { return *this = Int16(std::int64_t{value_} + by); }

private:
    static std::int16_t Check(std::int64_t value) {
        if (value < INT16_MIN || value > INT16_MAX) [[unlikely]] {
            Fail("16-bit overflow");
        }
        return static_cast<std::int16_t>(value);
    }
    std::int16_t value_ = 0;
};

// Line break of generated text.
inline constexpr TextView kCrLf = u"\r\n";
// A generated line that would grow past this many characters is broken.
inline constexpr std::int64_t kMaxLine = 250;
// Most lines a converter's 16-bit line index can count; a text of more fails.
inline constexpr std::int64_t kMaxLines = 32767;

// Literal helper: T("abc") is the UTF-16 text of an ASCII literal.
inline Text T(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }

inline std::int64_t Len(TextView s) { return static_cast<std::int64_t>(s.size()); }
// For a text whose length is kept in 16 bits.
inline void FailBeyond16Bits(TextView s) { static_cast<void>(Int16(Len(s))); }

// 0-based: where `find` first occurs at or after `from`, or TextView::npos; the
// same answer as TextView::find, with the first code unit sought a block at a time.
std::size_t Find(TextView s, TextView find, std::size_t from = 0);
std::size_t Find(TextView s, char16_t find, std::size_t from = 0);
// The characters from `start` to the end; empty when `start` is past the end.
Text Mid(TextView s, std::int64_t start);
// At most `length` characters from `start`.
Text Mid(TextView s, std::int64_t start, std::int64_t length);
TextView MidView(TextView s, std::int64_t start);
Text Left(TextView s, std::int64_t length);
Text Right(TextView s, std::int64_t length);

// Position of the first `find` at or after `start`, or 0. An empty `find` is
// found at `start` when `start` lies within the text or just behind it.
std::int64_t InStr(std::int64_t start, TextView s, TextView find);
inline std::int64_t InStr(TextView s, TextView find) { return InStr(1, s, find); }
// Position of the last `find` that ends at or before `start` (-1: the end), or 0.
std::int64_t InStrRev(TextView s, TextView find, std::int64_t start = -1);
inline bool Contains(TextView s, TextView find) { return InStr(1, s, find) != 0; }

// Every non-overlapping occurrence, scanning from the left, in one pass.
Text Replace(TextView s, TextView find, TextView with);
// The same in place: a text without `find` is left as it is, with nothing copied.
void ReplaceIn(Text& s, TextView find, TextView with);
// Replaces until `find` no longer occurs (each round is one Replace pass).
// A text without `find` is returned as it is, with nothing copied.
Text ReplaceWhile(Text s, TextView find, TextView with);

// The line of `s` that begins at `from`: up to the next CRLF or the end.
TextView LineAt(TextView s, std::size_t from);

std::vector<Text> Split(TextView s, TextView separator);
Text Join(const std::vector<Text>& parts, TextView separator);

// Character code of the first character; fails on an empty text.
int Asc(TextView s);

// Removes trailing characters with codes below 32; fails when nothing is left.
Text TrimControlEnd(Text s);

}  // namespace declshift
