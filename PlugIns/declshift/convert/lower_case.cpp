#include "lower_case.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace declshift {
namespace {

struct LowerCaseRun {
    char32_t first;
    char32_t last;
    char32_t step;
    std::int32_t delta;
};

// Sorted by code point.
constexpr LowerCaseRun kRuns[] = {
#include "lower_case_table.inc"
};

char32_t Lower(char32_t c) {
    const auto* run = std::upper_bound(std::begin(kRuns), std::end(kRuns), c,
                                       [](char32_t code, const LowerCaseRun& r) { return code < r.first; });
    if (run == std::begin(kRuns)) return c;
    --run;
    if (c > run->last || (c - run->first) % run->step != 0) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + run->delta);
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

Text LowerCase(Text text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            const char32_t lowered =
                Lower(0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            text[i] = static_cast<char16_t>(0xD800 + ((lowered - 0x10000) >> 10));
            text[i + 1] = static_cast<char16_t>(0xDC00 + ((lowered - 0x10000) & 0x3FF));
            ++i;
        } else {
            // Lone surrogates lie in no run.
            text[i] = static_cast<char16_t>(Lower(unit));
        }
    }
    return text;
}

}  // namespace declshift
