#include "text.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace declshift {

void Fail(const char* what) { throw ConversionFailure(what); }

namespace {

// First p in [p, stop) where p[0] is `first` and, for a pair, p[1] is `second`;
// or stop. For a pair, p[1] must be readable for every p before stop. Testing two
// units at once skips most near misses, such as the blanks in front of " As ".
const char16_t* FindStart(const char16_t* p, const char16_t* stop, char16_t first, bool pair,
                          char16_t second) {
#if defined(__SSE2__)
    const __m128i wantedFirst = _mm_set1_epi16(static_cast<short>(first));
    const __m128i wantedSecond = _mm_set1_epi16(static_cast<short>(second));
    for (; stop - p >= 8; p += 8) {
        __m128i hit = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), wantedFirst);
        if (pair) {
            hit = _mm_and_si128(
                hit, _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)), wantedSecond));
        }
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (hits != 0) return p + std::countr_zero(hits) / 2;
    }
#endif
    for (; p != stop; ++p) {
        if (*p == first && (!pair || p[1] == second)) return p;
    }
    return stop;
}

// The sought texts are a few units long: a plain loop beats a call to memcmp.
bool SameUnits(const char16_t* p, TextView units) {
    for (const char16_t unit : units) {
        if (*p++ != unit) return false;
    }
    return true;
}

}  // namespace

std::size_t Find(TextView s, char16_t find, std::size_t from) {
    if (from >= s.size()) return TextView::npos;
    const char16_t* const end = s.data() + s.size();
    const char16_t* const at = FindStart(s.data() + from, end, find, false, u'\0');
    return at == end ? TextView::npos : static_cast<std::size_t>(at - s.data());
}

std::size_t Find(TextView s, TextView find, std::size_t from) {
    if (find.empty()) return from <= s.size() ? from : TextView::npos;
    if (from >= s.size() || find.size() > s.size() - from) return TextView::npos;
    const char16_t* const begin = s.data();
    // Past the last place where the whole of `find` still fits.
    const char16_t* const stop = begin + (s.size() - find.size() + 1);
    const bool pair = find.size() >= 2;
    const TextView rest = find.substr(pair ? 2 : 1);
    for (const char16_t* p = begin + from;; ++p) {
        p = FindStart(p, stop, find[0], pair, pair ? find[1] : u'\0');
        if (p == stop) return TextView::npos;
        if (SameUnits(p + (pair ? 2 : 1), rest)) return static_cast<std::size_t>(p - begin);
    }
}

TextView MidView(TextView s, std::int64_t start) {
    if (start < 1) Fail("invalid start position");
    if (start > Len(s)) return {};
    return s.substr(static_cast<std::size_t>(start - 1));
}

Text Mid(TextView s, std::int64_t start) { return Text(MidView(s, start)); }

Text Mid(TextView s, std::int64_t start, std::int64_t length) {
    if (length < 0) Fail("negative length");
    TextView rest = MidView(s, start);
    return Text(rest.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(length, Len(rest)))));
}

Text Left(TextView s, std::int64_t length) {
    if (length < 0) Fail("negative length");
    return Text(s.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(length, Len(s)))));
}

Text Right(TextView s, std::int64_t length) {
    if (length < 0) Fail("negative length");
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length, Len(s)));
    return Text(s.substr(s.size() - n));
}

std::int64_t InStr(std::int64_t start, TextView s, TextView find) {
    if (start < 1) Fail("invalid start position");
    if (start > Len(s) + 1) return 0;
    const auto at = Find(s, find, static_cast<std::size_t>(start - 1));
    return at == TextView::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::int64_t InStrRev(TextView s, TextView find, std::int64_t start) {
    if (start == 0 || start < -1) Fail("invalid start position");
    if (start == -1) start = Len(s);
    if (start > Len(s)) return 0;
    if (find.empty()) return start;
    if (static_cast<std::int64_t>(find.size()) > start) return 0;
    const auto at = s.substr(0, static_cast<std::size_t>(start)).rfind(find);
    return at == TextView::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

Text Replace(TextView s, TextView find, TextView with) {
    const auto first = find.empty() ? TextView::npos : Find(s, find);
    if (first == TextView::npos) return Text(s);
    std::size_t size = s.size();
    if (with.size() > find.size()) {
        // A growing text is counted first, so that it is allocated once.
        std::size_t count = 0;
        if (find.size() == 1) {
            count = static_cast<std::size_t>(
                std::count(s.begin() + static_cast<std::ptrdiff_t>(first), s.end(), find[0]));
        } else {
            for (auto at = first; at != TextView::npos; at = Find(s, find, at + find.size())) ++count;
        }
        size += count * (with.size() - find.size());
    }
    Text out;
    out.reserve(size);
    if (find.size() == 1) {
        // Often one occurrence every few characters: no search per occurrence.
        out.append(s.substr(0, first));
        for (const char16_t c : s.substr(first)) {
            if (c == find[0]) {
                out.append(with);
            } else {
                out.push_back(c);
            }
        }
        return out;
    }
    std::size_t from = 0;
    for (auto at = first; at != TextView::npos; at = Find(s, find, from)) {
        out.append(s, from, at - from).append(with);
        from = at + find.size();
    }
    out.append(s.substr(from));
    return out;
}

void ReplaceIn(Text& s, TextView find, TextView with) {
    auto at = find.empty() ? TextView::npos : Find(s, find);
    if (at == TextView::npos) return;
    if (with.size() > find.size()) {
        s = Replace(s, find, with);
        return;
    }
    // A text that does not grow is rewritten in its own buffer: the writing never
    // overtakes the reading, and the search only looks ahead of both.
    const auto to = [&s](std::size_t pos) { return s.begin() + static_cast<std::ptrdiff_t>(pos); };
    std::size_t read = 0;
    std::size_t write = 0;
    for (; at != TextView::npos; at = Find(s, find, read)) {
        write = static_cast<std::size_t>(std::copy(to(read), to(at), to(write)) - s.begin());
        write = static_cast<std::size_t>(std::copy(with.begin(), with.end(), to(write)) - s.begin());
        read = at + find.size();
    }
    write = static_cast<std::size_t>(std::copy(to(read), s.end(), to(write)) - s.begin());
    s.resize(write);
}

Text ReplaceWhile(Text s, TextView find, TextView with) {
    if (find.empty() || Find(s, find) == TextView::npos) return s;
    if (with.size() == 1 && find.size() == 2 && find[0] == with[0] && find[1] == with[0]) {
        // "cc" -> "c" rounds halve every run of c until one is left: done in one pass.
        const char16_t c = with[0];
        s.erase(std::unique(s.begin(), s.end(), [c](char16_t a, char16_t b) { return a == c && b == c; }),
                s.end());
        return s;
    }
    while (Contains(s, find)) s = Replace(s, find, with);
    return s;
}

TextView LineAt(TextView s, std::size_t from) {
    const auto lineEnd = Find(s, kCrLf, from);
    return s.substr(from, lineEnd == TextView::npos ? TextView::npos : lineEnd - from);
}

std::vector<Text> Split(TextView s, TextView separator) {
    std::vector<Text> parts;
    std::size_t from = 0;
    for (auto at = Find(s, separator); !separator.empty() && at != TextView::npos;
         at = Find(s, separator, from)) {
        parts.emplace_back(s.substr(from, at - from));
        from = at + separator.size();
    }
    parts.emplace_back(s.substr(from));
    return parts;
}

Text Join(const std::vector<Text>& parts, TextView separator) {
    std::size_t size = 0;
    for (const auto& part : parts) size += part.size() + separator.size();
    Text out;
    out.reserve(size);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) out.append(separator);
        out.append(parts[i]);
    }
    return out;
}

int Asc(TextView s) {
    if (s.empty()) Fail("character code of an empty text");
    return s.front();
}

Text TrimControlEnd(Text s) {
    while (Asc(Right(s, 1)) < 32) s.pop_back();
    return s;
}

}  // namespace declshift
