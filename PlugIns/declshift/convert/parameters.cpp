// Parameter lists: BuildParamList lays out the parameters of a Sub or Function one
// per continued line, MapParamType adjusts each line, StripPrefix drops a naming
// prefix. Positions and lengths are 16-bit (Int16) and fail beyond 32,767.
#include "parameters.h"

#include <new>

#include "identifiers.h"
#include "rewrite_loop.h"

namespace declshift {
namespace {

Text ReplaceFirst(const Text& s, TextView find, TextView with) {
    const Int16 at = InStr(s, find);
    if (at == 0) return s;
    return Left(s, at - 1) + Text(with) + Mid(s, Int16(at + Len(find)));
}

bool BeginsName(TextView before) { return before == u"(" || before == u" " || before == u"^"; }

// A parameter whose type is written out becomes a structure parameter: "{}" goes
// in front of its comment (or of the list's ")" before it), except where the
// comment reads "Pointer to".
void MarkStructure(Text& line) {
    Int16 h = InStr(line, u", \\ Type");
    bool insert = h != 0;
    if (!insert) {
        h = InStr(line, u":REM Type");
        if (h != 0) {
            const Int16 paren = InStr(line, u")");
            insert = paren != 0;
            if (insert && paren < h) h = paren;
        }
    }
    if (!insert) return;
    line = Left(line, h - 1) + u"{}" + Mid(line, h);
    ReplaceIn(line, u"^", u"");
}

// "Optional" and the default value go, except directly behind "(".
void DropOptional(Text& line) {
    const Int16 o = InStr(line, u" Optional ");
    if (o < 2) return;
    line = Left(line, o - 1) + Mid(line, InStr(Int16(o + 1), line, u" "));
    const Int16 a = InStr(line, u"=");
    if (a >= 2) {
        Int16 e = InStr(a, line, u",");
        if (e == 0) e = InStr(a, line, u")");
        if (e != 0) line = Left(line, a - 1) + Mid(line, e);
    }
    ReplaceIn(line, u" ,", u",");
    ReplaceIn(line, u" )", u")");
}

// Every text that the rewrites of a line look for holds one of these characters:
// "$", "^", the "p" of the naming prefixes, the "T" of " Type" and the "O" of
// " Optional ". A line without any of them comes through unchanged, and cannot fail.
bool LeftAsItIs(TextView line) {
    for (const char16_t c : line) {
        if (c == u'$' || c == u'^' || c == u'p' || c == u'T' || c == u'O') return false;
    }
    return true;
}

void BuildParamListBody(Text& text) {
    // The length of the text is kept in 16 bits, as it arrives and after every
    // rewrite pass; so is its line index, which therefore cannot overflow.
    FailBeyond16Bits(text);
    // One parameter per continued line.
    ReplaceIn(text, u",", u", \\\r\n\\   ");
    // "ByRef " and written-out types become comments.
    RewriteByRefAndTypes(text);
    // Each line on its own, looking at the unchanged next one.
    const TextView all = text;
    Text lines;
    lines.reserve(all.size() + all.size() / 8);
    Text line;
    TextView current = LineAt(all, 0);
    for (;;) {
        const std::size_t end = static_cast<std::size_t>(current.data() - all.data()) + current.size();
        const bool last = end == all.size();
        const TextView next = last ? TextView() : LineAt(all, end + kCrLf.size());
        if (LeftAsItIs(current)) {
            lines.append(current);
        } else {
            line.assign(current);
            MarkStructure(line);
            MapParamType(line, next);
            if (Contains(line, u"$") && Contains(line, u"^")) ReplaceIn(line, u"^", u"");
            DropOptional(line);
            lines.append(line);
        }
        if (last) break;
        lines.append(kCrLf);
        current = next;
    }
    text = std::move(lines);
    // The word "Type" leaves the comments.
    ReplaceIn(text, u"\\ Type ", u"\\ ");
    ReplaceIn(text, u":REM Type ", u":REM ");
}

}  // namespace

void StripPrefix(Text& line, TextView prefix) {
    const Int16 k = InStr(line, prefix);
    if (k >= 2 && BeginsName(MidView(line, k - 1).substr(0, 1)) &&
        IsUpperLetter(MidView(line, Int16(k + Len(prefix))))) {
        line.erase(static_cast<std::size_t>(k - 1), prefix.size());
    }
}

const Text& MapParamType(Text& line, TextView next) {
    Text& x = line;
    const bool wasString = Contains(x, u"$");
    if (!wasString) {
        StripPrefix(x, u"lp");
        StripPrefix(x, u"p");
        StripPrefix(x, u"pp");
        x = ReplaceWhile(std::move(x), u"^^", u"^");
    }
    // A following length parameter makes a string an address.
    if (Contains(x, u"$") && (Contains(next, u"Len") || Contains(next, u"Max") || Contains(next, u"Size"))) {
        x = ReplaceFirst(x, u"$", u"%");
    }
    if (Contains(next, u"cch") && Contains(x, u"$")) {
        const Text k = Mid(next, Int16(InStr(next, u"cch") + 3), 3);
        if (k.empty() || Contains(x, k)) x = ReplaceFirst(x, u"$", u"%");
    }
    if (Contains(x, u" lpcstr") || Contains(x, u" pcstr")) x = ReplaceFirst(x, u"%", u"$");
    if (Contains(x, u"$") && Contains(x, u"lpsz")) x = ReplaceFirst(x, u"lpsz", u"sz");
    // A string that stays a string loses its prefix; "lp" is tried only from position 2 on.
    if (Contains(x, u"$")) StripPrefix(x, InStr(x, u"lp") >= 2 ? u"lp" : u"p");
    // The "^" mark makes a string an address.
    if (InStr(x, u"^") >= 2 && InStr(x, u"$") >= 2) {
        x = ReplaceFirst(x, u"^", u" ");
        x = ReplaceFirst(x, u"$", u"%");
    }
    if (wasString && !Contains(x, u"$")) {
        x += InStr(2, x, u"\\") == 0 && !Contains(x, u":REM") ? u":REM pstr" : u" pstr";
    }
    ReplaceIn(x, u")$", u")%");
    return x;
}

bool BuildParamList(Text& text) {
    try {
        BuildParamListBody(text);
        return true;
    } catch (const ConversionFailure&) {
    } catch (const std::bad_alloc&) {
    }
    return false;
}

}  // namespace declshift
