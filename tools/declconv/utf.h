// UTF-8 <-> UTF-16 for the host driver, and JSON strings: JSON travels as UTF-8,
// the engine works on UTF-16 code units.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace declconv {

// Throws std::invalid_argument on malformed UTF-8.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Appends the longest prefix of `utf8` that is well-formed UTF-8 to `out` and
// returns its length: the offset of the first byte that is not, or the whole size.
std::size_t AppendValidUtf8(std::string_view utf8, std::u16string& out);
// A lone surrogate (half of an astral character) becomes U+FFFD, and is counted
// in `loneSurrogates` when given.
std::string Utf16ToUtf8(std::u16string_view utf16, std::size_t* loneSurrogates = nullptr);

enum class JsonText {
    kAscii,  // every unit outside printable ASCII as a \u escape
    kUtf8,   // characters as UTF-8; controls, and lone surrogates, as \u escapes
};

// Appends `text` as a quoted JSON string. No code unit is lost: a lone surrogate
// is written as its own \u escape.
void AppendJsonString(std::string& out, std::u16string_view text, JsonText form);

}  // namespace declconv
