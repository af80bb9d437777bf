#include "decode.h"

#include <array>
#include <stdexcept>

#include "utf.h"

namespace declconv {
namespace {

// 0x80 to 0x9F of Windows-1252; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool HasPrefix(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// Pairs of bytes to code units; an odd last byte cannot be a code unit and
// becomes U+FFFD so that nothing is dropped silently.
std::u16string Utf16Units(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(bigEndian ? static_cast<char16_t>(first << 8 | second)
                                : static_cast<char16_t>(second << 8 | first));
    }
    if (bytes.size() % 2 != 0) out.push_back(u'\uFFFD');
    return out;
}

}  // namespace

std::u16string Windows1252ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80u] : char16_t{b});
    }
    return out;
}

DecodedText DecodeDeclarationFile(std::string_view bytes) {
    if (HasPrefix(bytes, "\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        try {
            return {Utf8ToUtf16(bytes), Encoding::kUtf8Bom};
        } catch (const std::invalid_argument&) {
            // A mark in front of text that is not UTF-8 after all: read the rest by the code page.
            return {Windows1252ToUtf16(bytes), Encoding::kWindows1252};
        }
    }
    if (HasPrefix(bytes, "\xFF\xFE")) return {Utf16Units(bytes.substr(2), false), Encoding::kUtf16Le};
    if (HasPrefix(bytes, "\xFE\xFF")) return {Utf16Units(bytes.substr(2), true), Encoding::kUtf16Be};
    try {
        return {Utf8ToUtf16(bytes), Encoding::kUtf8};
    } catch (const std::invalid_argument&) {
        return {Windows1252ToUtf16(bytes), Encoding::kWindows1252};
    }
}

const char* EncodingName(Encoding encoding) {
    switch (encoding) {
        case Encoding::kUtf8:
            return "UTF-8";
        case Encoding::kUtf8Bom:
            return "UTF-8 with byte-order mark";
        case Encoding::kUtf16Le:
            return "UTF-16 little-endian";
        case Encoding::kUtf16Be:
            return "UTF-16 big-endian";
        case Encoding::kWindows1252:
            return "Windows-1252";
    }
    return "unknown";
}

}  // namespace declconv
