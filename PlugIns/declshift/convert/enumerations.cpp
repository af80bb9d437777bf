// Enumeration declarations: a "REM" line with the name, then one assignment line per
// member line, with comments, hexadecimal prefixes and keyword clashes rewritten.
#include "enumerations.h"

#include "declshift.h"
#include "guard.h"
#include "identifiers.h"

namespace declshift {
namespace {

bool PrecedesName(char16_t c) { return c == u' ' || c == u'=' || c == u'('; }

}  // namespace

// The walk rebuilds the line as "first j characters & SafeIdentifier(rest)" at each
// name. SafeIdentifier can only put one "_" in front of the rest, and that "_" is no
// blank, "=", "(" or ":", so the walk goes on over the rest unchanged: one pass
// over the line that copies it and writes "_" behind every such position gives the
// same text without rebuilding the line at each name.
Text MarkUnsafeNames(TextView line) {
    Text out;
    out.reserve(line.size() + line.size() / 8 + 1);
    std::size_t j = 0;
    for (; j < line.size() && line[j] != u':'; ++j) {
        out.push_back(line[j]);
        const TextView rest = line.substr(j + 1);
        if (PrecedesName(line[j]) && IsLetter(rest) && NeedsUnderscore(rest)) out.push_back(u'_');
    }
    out.append(line.substr(j));
    return out;
}

std::u16string GetEnum(const Options& /*options*/, std::u16string m_Name, std::u16string m_Data) {
    return Guarded(m_Name, [&] {
        const Text crlf(kCrLf);
        Text block = u"REM " + m_Name + crlf + TrimControlEnd(m_Data) + crlf;
        ReplaceIn(block, u"\t", u"");
        ReplaceIn(block, u"&H", u"&");
        ReplaceIn(block, u"'", u":REM");
        ReplaceIn(block, u"=", u" = ");
        ReplaceIn(block, u"  ", u" ");  // once: a run of blanks only halves

        // The header (line 0) and the empty piece behind the last line break stay as
        // they are. The line index is a 16-bit counter that fails when it steps past
        // 32,767, so more than 32,766 member lines fail.
        std::vector<Text> lines = Split(block, kCrLf);
        const Int16 last = static_cast<std::int64_t>(lines.size()) - 2;
        for (Int16 i = 1; i <= last; ++i) {
            Text& line = lines[static_cast<std::size_t>(i.get())];
            line = MarkUnsafeNames(SafeIdentifier(line));
        }
        return Join(lines, kCrLf);
    });
}

}  // namespace declshift
