// Fuzzes every converter with fuzzed options. Invariants: no crash, no sanitizer
// report, no hang; a conversion either succeeds or returns exactly the failure
// sentence; a successful GetSub, GetFunc or GetEnum result ends in CRLF.
//
// Input: byte 0 picks the call, bytes 1-4 the options, the rest is the name and the
// data separated by the first 0 byte, one character per byte (so the dictionary's
// keywords reach the converters as they are).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "declshift.h"

namespace {

std::u16string Widen(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size; ++i) text.push_back(data[i] == 0xFF ? u'\u00e9' : char16_t{data[i]});
    return text;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

bool EndsWithCrLf(const std::u16string& text) {
    return text.size() >= 2 && text.compare(text.size() - 2, 2, u"\r\n") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    declshift::Options options;
    options.m_Charset = data[1] % 4 == 0 ? 1 : data[1] % 4 - 1;  // 1, 0, 1 and 2 (any other value)
    options.m_AutoFormat = static_cast<std::int16_t>(data[2] & 1 ? -1 : (data[2] & 2 ? 1 : 0));
    options.m_ShowParams = static_cast<std::int16_t>(data[3] & 1 ? -1 : 0);
    options.m_ExplConst = static_cast<std::int16_t>(data[4] & 1 ? -1 : 0);
    const std::uint8_t* rest = data + 5;
    const std::size_t restSize = size - 5;
    std::size_t split = 0;
    while (split < restSize && rest[split] != 0) ++split;
    std::u16string name = Widen(rest, split);
    std::u16string text = split < restSize ? Widen(rest + split + 1, restSize - split - 1) : std::u16string();
    const std::u16string givenName = name;

    switch (data[0] % 7) {
        case 0: {
            const auto result = declshift::GetConst(options, name, text);
            Check(result.rfind(u"REM Sorry I could not convert ", 0) != 0 ||
                  result == declshift::FailureSentence(name));
            break;
        }
        case 1: {
            const auto result = declshift::GetEnum(options, name, text);
            Check(result == declshift::FailureSentence(givenName) || EndsWithCrLf(result));
            break;
        }
        case 2: {
            const auto result = declshift::GetType(options, name, text);
            Check(result == declshift::FailureSentence(givenName) || !EndsWithCrLf(result));
            break;
        }
        case 3: {
            const auto result = declshift::GetSub(options, name, text);
            Check(name == givenName);
            Check(result == declshift::FailureSentence(givenName) || EndsWithCrLf(result));
            break;
        }
        case 4: {
            const auto result = declshift::GetFunc(options, name, text);
            Check(name == givenName);
            Check(result == declshift::FailureSentence(givenName) || EndsWithCrLf(result));
            break;
        }
        case 5: {
            const auto result = declshift::Preview(options);
            Check(!EndsWithCrLf(result));
            break;
        }
        default:
            Check(declshift::StartsWith(name, text) == (name.compare(0, text.size(), text) == 0));
            break;
    }
    return 0;
}
