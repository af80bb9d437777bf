// The rewrite loop of BuildParamList. Each pass handles the first "ByRef " and then
// the first " As "; a declaration can hold thousands of them. Rebuilding the
// whole text on every pass would be quadratic, so the passes edit the text in
// place: a short text as one string, a long one in chunks (chunked_text.h). The
// text and every position computed are exactly those of whole-text rebuilds.
#include "rewrite_loop.h"

#include <array>

#include "chunked_text.h"

namespace declshift {
namespace {

// What the passes search for.
enum Pattern : std::size_t { kByRef, kAs, kLowerAs, kAsAs, kRem, kBackslash, kParen, kComma, kBreak };
constexpr std::array<TextView, 9> kPatterns = {u"ByRef ", u" As ", u" as ", u" As As ", u":REM",
                                               u"\\",     u")",    u",",    u"\r\n"};
// Texts up to this length are edited as one string.
constexpr std::size_t kShortText = 4096;

// 1-based position of a search result, 0 when nothing was found.
std::int64_t Position(std::int64_t found) { return found == kNotFound ? 0 : found + 1; }
// The same, held in 16 bits like every position of the rewrites.
Int16 OneBased(std::int64_t found) { return Position(found); }
// A position the rebuild computes on the way; it must fit in 16 bits too.
void CheckPosition(std::int64_t position) { static_cast<void>(Int16(position)); }

// "ByRef " goes; the parameter's comment becomes "Pointer to".
template <typename Buffer>
void RewriteByRef(Buffer& t, std::int64_t found) {
    const Int16 l = OneBased(found);
    Int16 c = OneBased(t.Find(kBackslash, found));
    TextView piece = u" Pointer to";
    if (c == 0) {
        c = OneBased(t.Find(kParen, found));
        piece = u":REM Pointer to";
    }
    CheckPosition(l + 6);
    if (Int16(c - l - 5) < 0) Fail("negative length");
    CheckPosition(c + 1);
    t.Splice(c, 0, piece);
    t.Splice(l - 1, 6, u"");
}

// " As " and the type name behind it become a comment written at `insertAt`
// (1-based); the text from `clauseEnd` up to there moves in front of it.
template <typename Buffer>
void MoveTypeBehind(Buffer& t, std::int64_t m, std::int64_t clauseEnd, std::int64_t insertAt,
                    const Text& label) {
    t.Rotate(m - 1, clauseEnd - 1, insertAt - 1);
    t.Splice(m - 1 + insertAt - clauseEnd, 4, label);
}

// ":REM" when the type's comment opens the remark of the last parameter: no "\\"
// follows the type, no ":" follows the list's ")", and the text holds no remark.
template <typename Buffer>
TextView RemarkOpening(const Buffer& t, std::int64_t found) {
    if (t.Find(kBackslash, found) != kNotFound) return u"";
    const Int16 c = OneBased(t.Find(kParen, found));
    const Int16 next = c + 1;
    const bool colonNext = next <= t.size() && t.At(next - 1) == u':';
    return colonNext || t.Contains(kRem) ? u"" : u":REM";
}

// Where the type name behind " As " at m ends (1-based): at the next "," or ")",
// else with the text's last character, which makes it a function's result type.
struct TypeName {
    Int16 end;
    TextView label;
};

template <typename Buffer>
TypeName TypeNameAt(const Buffer& t, Int16 m) {
    const Int16 typeStart = m + 4;
    Int16 end = OneBased(t.Find(kComma, typeStart - 1));
    if (end == 0) end = OneBased(t.Find(kParen, typeStart - 1));
    if (end == 0) return {t.size(), u" returns "};
    return {end, u" Type "};
}

// The first remark on the line of `found` that begins before `lineEnd` (1-based),
// or 0.
template <typename Buffer>
std::int64_t RemarkOnLine(const Buffer& t, std::int64_t found, std::int64_t lineEnd) {
    if (!t.Contains(kRem)) return 0;
    const std::int64_t previousBreak = t.FindBefore(kBreak, found);
    const std::int64_t remark = Position(t.Find(kRem, previousBreak == kNotFound ? 0 : previousBreak + 2));
    return remark < lineEnd ? remark : 0;
}

// " As " and the type name behind it become the comment "Type <name>" (or
// "returns <name>" for a function's result type) at the end of the line.
template <typename Buffer>
void RewriteType(Buffer& t, std::int64_t found) {
    const Int16 m = OneBased(found);
    const Text prefix(RemarkOpening(t, found));
    const auto [end, label] = TypeNameAt(t, m);
    const Int16 breakAt = OneBased(t.Find(kBreak, found));
    // Without a line break the comment goes in front of the text's last character.
    const Int16 u = breakAt != 0 ? breakAt : Int16(t.size());
    const std::int64_t lineEnd = breakAt != 0 ? std::int64_t{u} : t.size() + 1;
    const std::int64_t remark = RemarkOnLine(t, found, lineEnd);
    // The text between the type's end and the line break stays in front of the
    // comment; a type that runs on past the line break has no such text.
    if (Int16(u - end) < 0) Fail("negative length");
    if (remark == 0) {
        if (Int16(end - m - 4) < 0) Fail("negative length");
        MoveTypeBehind(t, m, end, u, prefix + Text(label));
        return;
    }
    // The line already holds a remark ("Pointer to", or the comment of an earlier
    // type): the clause " As <name>" leaves its place and "," + label + name is
    // written where the remark ends, so the line keeps one comment. A remark that
    // interrupts the type name (a result type split by an earlier rewrite) ends
    // where the type ends, and the name is what stands before it; any other
    // remark ends at the next " As " or with the line.
    const std::int64_t cut = remark > m && remark < end ? remark : std::int64_t{end};
    if (cut - m - 4 < 0) Fail("negative length");
    std::int64_t e = end;
    if (remark > end) {
        e = Position(t.Find(kAs, remark - 1));
        if (e == 0 || e >= lineEnd) e = lineEnd;
    }
    MoveTypeBehind(t, m, cut, e, prefix + u"," + Text(label));
}

// One pass; false when it found neither "ByRef " nor " As ".
template <typename Buffer>
bool Pass(Buffer& t) {
    const auto byRef = t.Find(kByRef, 0);
    if (byRef != kNotFound) RewriteByRef(t, byRef);
    t.ReplaceEvery(kAsAs, u" As ");
    t.ReplaceEvery(kLowerAs, u" As ");
    const auto as = t.Find(kAs, 0);
    if (as != kNotFound) RewriteType(t, as);
    // The text's length is kept in 16 bits too.
    CheckPosition(t.size());
    return byRef != kNotFound || as != kNotFound;
}

template <typename Buffer, typename... Mode>
void RunPasses(Text& text, Mode... mode) {
    Buffer t(text, kPatterns, mode...);
    try {
        while (Pass(t)) {
        }
    } catch (...) {
        text = t.Flatten();
        throw;
    }
    text = t.Flatten();
}

}  // namespace

void RewriteByRefAndTypes(Text& text, RewriteStorage storage) {
    // Without these the first pass finds nothing and changes nothing.
    if (!Contains(text, kPatterns[kByRef]) && !Contains(text, kPatterns[kAs]) &&
        !Contains(text, kPatterns[kLowerAs])) {
        FailBeyond16Bits(text);
        return;
    }
    if (storage == RewriteStorage::kByLength) {
        storage = text.size() <= kShortText ? RewriteStorage::kOneString : RewriteStorage::kChunks;
    }
    if (storage == RewriteStorage::kOneString) {
        RunPasses<FlatText>(text);
    } else {
        RunPasses<ChunkedText>(text, storage == RewriteStorage::kCheckedChunks);
    }
}

}  // namespace declshift
