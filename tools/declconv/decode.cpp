#include "decode.h"

#include <array>

#include "codepage.h"
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

// UTF-16 without a byte-order mark, as some editors save "Unicode" text: in the
// first three lines (at most 256 code units) no low byte is NUL, and the high byte
// is NUL in three code units of four at least (module headers and keywords are ASCII).
bool LooksLikeUtf16(std::string_view bytes, bool bigEndian) {
    std::size_t lines = 0;
    std::size_t units = 0;
    std::size_t ascii = 0;
    for (std::size_t i = 0; i + 1 < bytes.size() && units < 256 && lines < 3; i += 2, ++units) {
        const char low = bytes[bigEndian ? i + 1 : i];
        const char high = bytes[bigEndian ? i : i + 1];
        if (low == '\0') return false;
        if (high == '\0') ++ascii;
        if (high == '\0' && low == '\n') ++lines;
    }
    return units > 0 && ascii * 4 >= units * 3;
}

// The line of byte `offset`: line ends are counted as the splitter counts them
// (LF, or any run of CRs with or without a LF after it).
std::size_t LineOf(std::string_view bytes, std::size_t offset) {
    std::size_t line = 1;
    for (std::size_t i = 0; i < offset && i < bytes.size(); ++i) {
        const bool crRunEnds =
            bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] != '\r' && bytes[i + 1] != '\n';
        if (bytes[i] == '\n' || crRunEnds) ++line;
    }
    return line;
}

DecodedText Checked(DecodedText decoded) {
    if (decoded.text.find(u'\0') != std::u16string::npos) throw NotText();
    return decoded;
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

DecodedText DecodeDeclarationFile(std::string_view bytes, const std::string& codePage) {
    if (HasPrefix(bytes, "\xFF\xFE"))
        return Checked({Utf16Units(bytes.substr(2), false), Encoding::kUtf16Le});
    if (HasPrefix(bytes, "\xFE\xFF")) return Checked({Utf16Units(bytes.substr(2), true), Encoding::kUtf16Be});
    Encoding encoding = Encoding::kUtf8;
    if (HasPrefix(bytes, "\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        encoding = Encoding::kUtf8Bom;
    } else if (bytes.find('\0') != std::string_view::npos) {
        for (const bool bigEndian : {false, true}) {
            if (LooksLikeUtf16(bytes, bigEndian)) {
                return Checked(
                    {Utf16Units(bytes, bigEndian), bigEndian ? Encoding::kUtf16Be : Encoding::kUtf16Le});
            }
        }
        if (codePage.empty()) throw NotText();
    }
    if (!codePage.empty() && encoding == Encoding::kUtf8) {
        CodePageText decoded = DecodeCodePage(bytes, codePage);
        const std::size_t bad = decoded.firstBadByte;
        return Checked({std::move(decoded.text), Encoding::kNamed,
                        bad == std::string_view::npos ? 0 : LineOf(bytes, bad)});
    }
    std::u16string text;
    const std::size_t valid = AppendValidUtf8(bytes, text);
    if (valid == bytes.size()) return Checked({std::move(text), encoding});
    // Not UTF-8 after all (whatever a mark in front says): read by the code page.
    return Checked({Windows1252ToUtf16(bytes), Encoding::kWindows1252, LineOf(bytes, valid)});
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
        case Encoding::kNamed:
            return "the encoding given";
    }
    return "unknown";
}

}  // namespace declconv
