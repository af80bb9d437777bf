#include "codepage.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace declconv {
namespace {

[[noreturn]] void Unknown(const std::string& name) {
    throw std::invalid_argument("unknown encoding \"" + name + "\"");
}

#ifdef _WIN32

// The code page of a name, or 0.
UINT CodePageNumber(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::map<std::string, UINT> kNames = {
        {"shift_jis", 932},      {"sjis", 932},      {"gbk", 936},
        {"gb2312", 936},         {"big5", 950},      {"euc-kr", 949},
        {"ks_c_5601-1987", 949}, {"euc-jp", 20932},  {"koi8-r", 20866},
        {"koi8-u", 21866},       {"gb18030", 54936}, {"utf-8", 65001},
        {"us-ascii", 20127},     {"ascii", 20127},
    };
    if (const auto it = kNames.find(name); it != kNames.end()) return it->second;
    for (const std::string prefix : {"windows-", "cp", "ibm", "iso-8859-"}) {
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), ::isdigit))
            return 0;
        const UINT number = static_cast<UINT>(std::stoul(digits));
        return prefix == "iso-8859-" ? 28590 + number : number;
    }
    if (!name.empty() && name.size() <= 5 && std::all_of(name.begin(), name.end(), ::isdigit)) {
        return static_cast<UINT>(std::stoul(name));
    }
    return 0;
}

UINT OpenCodePage(const std::string& name) {
    const UINT number = CodePageNumber(name);
    if (number == 0 || !IsValidCodePage(number)) Unknown(name);
    return number;
}

// Returns false when `bytes` hold a sequence that is no character (and the code
// page can tell; some stateful ones cannot, and are read without the check).
bool Convert(UINT codePage, std::string_view bytes, bool strict, std::u16string* out) {
    if (bytes.empty()) return true;
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(bytes.size());
    int units = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (units == 0 && strict && GetLastError() == ERROR_INVALID_FLAGS)
        return Convert(codePage, bytes, false, out);
    if (units == 0) return !strict;
    if (out != nullptr) {
        out->resize(static_cast<std::size_t>(units));
        MultiByteToWideChar(codePage, flags, bytes.data(), size, reinterpret_cast<wchar_t*>(out->data()),
                            units);
    }
    return true;
}

#else

class Converter {
public:
    explicit Converter(const std::string& name) : handle_(iconv_open("UTF-16LE", name.c_str())) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) Unknown(name);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() { iconv_close(handle_); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

#endif

}  // namespace

void CheckCodePage(const std::string& name) {
#ifdef _WIN32
    OpenCodePage(name);
#else
    Converter check(name);
#endif
}

CodePageText DecodeCodePage(std::string_view bytes, const std::string& name) {
    CodePageText result{{}, std::string_view::npos};
#ifdef _WIN32
    const UINT codePage = OpenCodePage(name);
    if (!Convert(codePage, bytes, true, &result.text)) {
        // The first line that does not convert on its own holds the first bad byte.
        for (std::size_t start = 0; start < bytes.size();) {
            const std::size_t end = std::min(bytes.find('\n', start), bytes.size() - 1) + 1;
            if (!Convert(codePage, bytes.substr(start, end - start), true, nullptr)) {
                result.firstBadByte = start;
                break;
            }
            start = end;
        }
        if (result.firstBadByte == std::string_view::npos) result.firstBadByte = 0;
        Convert(codePage, bytes, false, &result.text);
    }
#else
    const Converter converter(name);
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    const auto grow = [&] {
        const std::size_t used = out.size() - toLeft;
        out.resize(out.size() * 2);
        to = out.data() + used;
        toLeft = out.size() - used;
    };
    // The final call with no input flushes a stateful encoding's pending shift.
    for (bool flushed = false; !flushed;) {
        const bool flushing = inLeft == 0;
        const std::size_t done = iconv(converter.get(), flushing ? nullptr : &in, &inLeft, &to, &toLeft);
        if (done != static_cast<std::size_t>(-1)) {
            flushed = flushing;
            continue;
        }
        if (errno == E2BIG) {
            grow();
            continue;
        }
        if (flushing) break;
        // EILSEQ or EINVAL: a byte that starts no character, or a character cut off by the end.
        if (result.firstBadByte == std::string_view::npos) result.firstBadByte = bytes.size() - inLeft;
        if (toLeft < 2) grow();
        *to++ = '\xFD';
        *to++ = '\xFF';
        toLeft -= 2;
        ++in;
        --inLeft;
        iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - toLeft);
    result.text.resize(out.size() / 2);
    for (std::size_t i = 0; i < result.text.size(); ++i) {
        result.text[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                               static_cast<unsigned char>(out[2 * i + 1]) << 8);
    }
#endif
    return result;
}

}  // namespace declconv
