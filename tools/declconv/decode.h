// Reading declaration files: the bytes of a file to UTF-16 text for the splitter.
//
// A UTF-8 byte-order mark means UTF-8 and a UTF-16 one (either byte order) means
// UTF-16; without a mark, text that is valid UTF-8 is read as UTF-8 and anything
// else as Windows-1252, the code page such files are usually written in.
#pragma once

#include <string>
#include <string_view>

namespace declconv {

enum class Encoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be, kWindows1252 };

struct DecodedText {
    std::u16string text;  // without the byte-order mark
    Encoding encoding;
};

DecodedText DecodeDeclarationFile(std::string_view bytes);

// Every byte maps to one code unit; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same value,
// as Windows does.
std::u16string Windows1252ToUtf16(std::string_view bytes);

const char* EncodingName(Encoding encoding);

}  // namespace declconv
