#include "text.h"

#include <algorithm>
#include <limits>

namespace declshift {

void Fail(const char* what) { throw ConversionFailure(what); }

std::int16_t Int16::Check(std::int64_t value) {
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        Fail("16-bit overflow");
    }
    return static_cast<std::int16_t>(value);
}

std::int64_t Len(TextView s) { return static_cast<std::int64_t>(s.size()); }

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
    const auto at = s.find(find, static_cast<std::size_t>(start - 1));
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
    if (find.empty()) return Text(s);
    Text out;
    std::size_t from = 0;
    for (auto at = s.find(find); at != TextView::npos; at = s.find(find, from)) {
        if (out.empty()) out.reserve(s.size() + (with.size() > find.size() ? s.size() / 4 : 0));
        out.append(s, from, at - from).append(with);
        from = at + find.size();
    }
    if (from == 0) return Text(s);
    out.append(s.substr(from));
    return out;
}

Text ReplaceWhile(TextView s, TextView find, TextView with) {
    Text out(s);
    while (Contains(out, find)) out = Replace(out, find, with);
    return out;
}

std::vector<Text> Split(TextView s, TextView separator) {
    std::vector<Text> parts;
    std::size_t from = 0;
    for (auto at = s.find(separator); !separator.empty() && at != TextView::npos;
         at = s.find(separator, from)) {
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
