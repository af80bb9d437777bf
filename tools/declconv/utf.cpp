#include "utf.h"

#include <stdexcept>

namespace declconv {
namespace {

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Decodes `in` up to its end or its first malformed sequence, whose offset it returns.
std::size_t DecodeUtf8(std::string_view in, std::u16string* out) {
    out->reserve(out->size() + in.size());
    std::size_t i = 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(in[k]); };
    while (i < in.size()) {
        const unsigned char lead = byte(i);
        std::size_t extra;
        char32_t cp;
        if (lead < 0x80) {
            extra = 0;
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            cp = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            cp = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            cp = lead & 0x07u;
        } else {
            return i;
        }
        if (i + extra >= in.size()) return i;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (byte(i + k) & 0x3Fu);
        }
        static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return i;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Walks `in` by characters: a surrogate pair is one astral character, a lone
// surrogate is handed over as it is (a value from 0xD800 to 0xDFFF).
template <class Visit>
void ForEachCharacter(std::u16string_view in, Visit visit) {
    for (std::size_t i = 0; i < in.size(); ++i) {
        char32_t cp = in[i];
        if (IsHighSurrogate(cp) && i + 1 < in.size() && IsLowSurrogate(in[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00u);
            ++i;
        }
        visit(cp);
    }
}

bool IsSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

}  // namespace

std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out;
    if (DecodeUtf8(in, &out) != in.size()) throw std::invalid_argument("malformed UTF-8");
    return out;
}

std::size_t AppendValidUtf8(std::string_view utf8, std::u16string& out) { return DecodeUtf8(utf8, &out); }

std::string Utf16ToUtf8(std::u16string_view in, std::size_t* loneSurrogates) {
    std::string out;
    out.reserve(in.size());
    std::size_t lone = 0;
    ForEachCharacter(in, [&](char32_t cp) {
        if (IsSurrogate(cp)) {
            ++lone;
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    });
    if (loneSurrogates != nullptr) *loneSurrogates = lone;
    return out;
}

void AppendJsonString(std::string& out, std::u16string_view text, JsonText form) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto escape = [&](char32_t unit) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
    };
    out.push_back('"');
    ForEachCharacter(text, [&](char32_t cp) {
        switch (cp) {
            case u'"':
                out += "\\\"";
                return;
            case u'\\':
                out += "\\\\";
                return;
            case u'\n':
                out += "\\n";
                return;
            case u'\r':
                out += "\\r";
                return;
            case u'\t':
                out += "\\t";
                return;
            case u'\b':
                out += "\\b";
                return;
            case u'\f':
                out += "\\f";
                return;
            default:
                break;
        }
        if (cp < 0x20 || IsSurrogate(cp)) {
            escape(cp);
        } else if (form == JsonText::kUtf8 || cp < 0x7F) {
            AppendUtf8(out, cp);
        } else if (cp >= 0x10000) {
            escape(0xD800 + ((cp - 0x10000) >> 10));
            escape(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            escape(cp);
        }
    });
    out.push_back('"');
}

}  // namespace declconv
