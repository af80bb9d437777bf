// Text in a code page named by the user (--encoding) to UTF-16: through iconv
// natively, through MultiByteToWideChar on Windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace declconv {

struct CodePageText {
    std::u16string text;
    std::size_t firstBadByte;  // offset of the first byte that is no character; npos when none
};

// Throws std::invalid_argument when this system knows no code page of that name.
// Natively any name iconv knows; on Windows a code-page number ("1251"), "cpNNN",
// "windows-NNN", "ibmNNN" or a common name such as "shift_jis", "gbk", "big5" or "koi8-r".
void CheckCodePage(const std::string& name);

// A byte sequence that is no character of the code page becomes U+FFFD.
CodePageText DecodeCodePage(std::string_view bytes, const std::string& name);

}  // namespace declconv
