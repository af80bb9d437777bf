// The rewrite loop written literally, every pass rebuilding the whole text: the
// reference that the engine's in-place form is compared against.
#include "rewrite_loop_reference.h"

namespace declshift {
namespace {

// "ByRef " goes; the parameter's comment becomes "Pointer to".
void RewriteByRef(Text& t, Int16 l) {
    Int16 c = InStr(l, t, u"\\");
    Text piece = u" Pointer to";
    if (c == 0) {
        c = InStr(l, t, u")");
        piece = u":REM Pointer to";
    }
    t = Left(t, l - 1) + Mid(t, Int16(l + 6), Int16(c - l - 5)) + piece + Mid(t, Int16(c + 1));
}

// " As " and the type name behind it become the comment "Type <name>" (or
// "returns <name>" for a function's result type).
void RewriteType(Text& t, Int16 m) {
    Text prefix;
    if (InStr(m, t, u"\\") == 0) {
        const Int16 c = InStr(m, t, u")");
        if (Mid(t, Int16(c + 1), 1) != u":" && !Contains(t, u":REM")) prefix = u":REM";
    }
    Text label = u" Type ";
    Int16 end = InStr(Int16(m + 4), t, u",");
    if (end == 0) end = InStr(Int16(m + 4), t, u")");
    if (end == 0) {
        end = Len(t);
        label = u" returns ";
    }
    const Int16 breakAt = InStr(m, t, kCrLf);
    const Int16 u = breakAt != 0 ? breakAt : Int16(Len(t));
    std::int64_t remark = 0;
    const std::int64_t lineEnd = breakAt != 0 ? std::int64_t{u} : Len(t) + 1;
    if (Contains(t, u":REM")) {
        const std::int64_t previousBreak = InStrRev(t, kCrLf, m);
        remark = InStr(previousBreak == 0 ? 1 : previousBreak + 2, t, u":REM");
        if (remark >= lineEnd) remark = 0;
    }
    if (u - end < 0) Fail("negative length");
    if (remark == 0) {
        const Text name = Mid(t, Int16(m + 4), Int16(end - m - 4));
        const Text comment = prefix + label + name;
        t = Left(t, m - 1) + Mid(t, end, Int16(u - end)) + comment + Mid(t, u);
        return;
    }
    // The line already holds a remark: "," + label + name is written where it ends.
    const std::int64_t cut = remark > m && remark < end ? remark : std::int64_t{end};
    const Text name = Mid(t, m + 4, cut - m - 4);
    std::int64_t e = end;
    if (remark > end) {
        e = InStr(remark, t, u" As ");
        if (e == 0 || e >= lineEnd) e = lineEnd;
    }
    t = Left(t, m - 1) + Mid(t, cut, e - cut) + prefix + u"," + label + name + Mid(t, e);
}

}  // namespace

void RewriteByRefAndTypesLiterally(Text& text) {
    for (bool found = true; found;) {
        found = false;
        if (const Int16 l = InStr(text, u"ByRef "); l != 0) {
            found = true;
            RewriteByRef(text, l);
        }
        text = Replace(text, u" As As ", u" As ");
        text = Replace(text, u" as ", u" As ");
        if (const Int16 m = InStr(text, u" As "); m != 0) {
            found = true;
            RewriteType(text, m);
        }
        FailBeyond16Bits(text);
    }
}

}  // namespace declshift
