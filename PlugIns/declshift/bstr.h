// Automation strings (BSTR) and the engine's UTF-16 text. On Windows wchar_t is a
// UTF-16 code unit, so both directions are plain copies; lengths come from the
// string's own length field, so embedded NULs survive. A null BSTR is an empty text.
#pragma once

#include <windows.h>
// (after windows.h)
#include <oleauto.h>

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace declshift::com {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "automation strings are UTF-16");

inline std::u16string FromBstr(BSTR text) {
    const UINT length = SysStringLen(text);  // 0 for a null string
    std::u16string out(length, u'\0');
    std::copy(text, text + length, out.begin());
    return out;
}

// Whether the automation string holds exactly `text`.
inline bool SameText(BSTR string, std::u16string_view text) {
    return SysStringLen(string) == text.size() && std::equal(text.begin(), text.end(), string);
}

// A new automation string holding `text`; null when memory is exhausted.
inline BSTR NewBstr(std::u16string_view text) {
    if (text.size() > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
    BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
    if (out != nullptr) std::copy(text.begin(), text.end(), out);
    return out;
}

// Owns one automation string and frees it on every path.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR owned) noexcept : text_(owned) {}
    explicit Bstr(std::u16string_view text) : text_(NewBstr(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(text_, other.text_);
        return *this;
    }
    ~Bstr() { SysFreeString(text_); }

    BSTR get() const noexcept { return text_; }
    explicit operator bool() const noexcept { return text_ != nullptr; }
    // For out parameters: frees the current string and hands out the slot.
    BSTR* out() noexcept {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    // For in-out parameters: the slot itself, string and all.
    BSTR* slot() noexcept { return &text_; }
    BSTR release() noexcept { return std::exchange(text_, nullptr); }
    std::u16string text() const { return FromBstr(text_); }

private:
    BSTR text_ = nullptr;
};

}  // namespace declshift::com
