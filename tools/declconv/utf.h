// UTF-8 <-> UTF-16 for the host driver: JSON travels as UTF-8, the engine works
// on UTF-16 code units.
#pragma once

#include <string>
#include <string_view>

namespace declconv {

// Throws std::invalid_argument on malformed UTF-8.
std::u16string Utf8ToUtf16(std::string_view utf8);
// A lone surrogate (which valid input never produces) becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace declconv
