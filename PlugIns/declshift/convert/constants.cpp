// Constant declarations: one Tarnwick assignment line.
#include "declshift.h"
#include "guard.h"
#include "identifiers.h"
#include "text.h"

namespace declshift {
namespace {

// Gives "_" to every name inside a numeric value that SafeIdentifier would rename.
// A word starts at a letter behind a blank or "(" that begins no upper-case
// operator word.
Text MarkUnsafeReferences(const Text& value) {
    const Text w = u" " + value;
    const std::int64_t length = Len(w);
    Text v;
    v.reserve(w.size() + w.size() / 4);
    for (std::int64_t i = 2; i <= length; ++i) {
        const char16_t c = w[static_cast<std::size_t>(i - 1)];
        const TextView here = MidView(w, i);
        const char16_t before = w[static_cast<std::size_t>(i - 2)];
        if (IsLetter(here) && LacksOperatorWord(here.substr(0, 4)) && (before == u' ' || before == u'(') &&
            NeedsUnderscore(here)) {
            v.push_back(u'_');
        }
        v.push_back(c);
    }
    return v;
}

// Splits a line longer than 250 characters once, at the last blank within them.
Text SplitLongLine(const Text& line) {
    if (Len(line) <= kMaxLine) return line;
    std::int64_t n = kMaxLine;
    while (Mid(line, n, 1) != u" ") --n;  // runs past position 1 and fails without a blank
    return Left(line, n) + u"\\" + Text(kCrLf) + u"\\ " + Mid(line, n + 1);
}

}  // namespace

std::u16string GetConst(const Options& /*options*/, std::u16string& m_Name, const std::u16string& m_Data) {
    return Guarded(m_Name, [&] {
        const bool isString = Contains(m_Data, u"\"");
        Text value = Replace(m_Data, u" Or ", u" OR ");
        ReplaceIn(value, u" Not ", u" NOT ");
        ReplaceIn(value, u" And ", u" AND ");
        ReplaceIn(value, u"&H", u"&");
        if (!isString) value = MarkUnsafeReferences(value);
        ReplaceIn(value, u"(_Not ", u"(NOT ");
        ReplaceIn(m_Name, u" As Long", u"");
        if (Right(value, 1) == u"&") value.pop_back();
        const Text line = SafeIdentifier(m_Name) + (isString ? u"$" : u"") + u" = " + value;
        return SplitLongLine(line);
    });
}

}  // namespace declshift
