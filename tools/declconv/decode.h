// Reading declaration files: the bytes of a file to UTF-16 text for the splitter.
//
// A UTF-8 byte-order mark means UTF-8 and a UTF-16 one (either byte order) means
// UTF-16. Without a mark: UTF-16 when the first lines have a NUL byte in every
// second place; otherwise the code page the user named, or else UTF-8 when the
// text is valid UTF-8 and Windows-1252, the code page such files are usually
// written in, when it is not. Anything else holding NUL bytes is no text.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace declconv {

enum class Encoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be, kWindows1252, kNamed };

struct DecodedText {
    std::u16string text;  // without the byte-order mark
    Encoding encoding = Encoding::kUtf8;
    // The line of the first byte that is no character of the encoding (and was
    // read as Windows-1252 or U+FFFD), counted from 1; 0 when there is none.
    std::size_t firstBadLine = 0;
};

// Bytes that are no text: an executable, an image.
class NotText : public std::runtime_error {
public:
    NotText() : std::runtime_error("not a text file") {}
};

// `codePage` names the encoding of files without a byte-order mark (see
// DecodeCodePage); empty to tell UTF-8 from Windows-1252 by the bytes.
DecodedText DecodeDeclarationFile(std::string_view bytes, const std::string& codePage = {});

// Every byte maps to one code unit; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same value,
// as Windows does.
std::u16string Windows1252ToUtf16(std::string_view bytes);

const char* EncodingName(Encoding encoding);

}  // namespace declconv
