// Structure declarations: a Tarnwick "DIM name{ ... }" with one member per continued
// line, each with its type suffix and a type comment, packed onto one line when
// automatic formatting is off.
#include "structures.h"

#include <algorithm>

#include "declshift.h"
#include "guard.h"
#include "identifiers.h"
#include "layout.h"

namespace declshift {
namespace {

constexpr TextView kFixedString = u" As String * ";
constexpr TextView kFixedStringTail = u" - 1), \\ str";
constexpr std::size_t kNone = TextView::npos;

// Finds the first apostrophe at or after a position, for positions that only grow:
// each character is looked at once.
class ApostropheFinder {
public:
    explicit ApostropheFinder(TextView text) : text_(text) {}
    std::size_t NextFrom(std::size_t from) {
        if (!searched_ || (found_ != kNone && found_ < from)) {
            found_ = text_.find(u'\'', from);
            searched_ = true;
        }
        return found_;
    }

private:
    TextView text_;
    std::size_t found_ = kNone;
    bool searched_ = false;
};

// A type word still preceded by " As " names a nested structure: "x As RECT" becomes
// "x{} = RECT{}".
void NestStructure(Text& line) {
    const Int16 a = InStr(line, u" As ");
    if (a <= 1) return;
    Int16 b = InStr(a + 4, line, u" ");
    if (b == 0) b = Len(line) + 1;
    if (b > a) {
        const Text type = Mid(line, a + 4, b - a - 4);
        line = Left(line, a - 1) + u"{} = " + SafeIdentifier(type) + u"{}, \\ " + Mid(line, b);
    }
}

// An array's type suffix (what stands between the first ")" and the next ",")
// moves in front of its bounds: "a(4)%," becomes "a%(4),".
void MoveSuffixBeforeBounds(Text& line) {
    const Int16 b = InStr(line, u")");
    if (b <= 1) return;
    const Int16 c = InStr(b, line, u",");
    if (c - 1 > b) {
        const Text suffix = Mid(line, b + 1, c - b - 1);
        line = Left(line, b) + Mid(line, c);
        const Int16 open = InStr(line, u"(");
        line = Left(line, open - 1) + suffix + Mid(line, open);
    }
}

// An array of nested structures becomes a byte array of n elements of the
// structure's size.
void ArrayOfStructures(Text& line) {
    if (Int16(InStr(line, u"{}(")) <= 1) return;
    const Int16 p = InStr(line, u"(");
    const Int16 q = InStr(p, line, u")");
    const Text count = Mid(line, p + 1, q - p - 1);
    ReplaceIn(line, u"{} = ", u"&(" + count + u",!!^");
    const Int16 m = InStr(line, u"}(");
    const Int16 h = InStr(m, line, u")");
    line = Left(line, m) + u"-1)" + Mid(line, h + 1);
}

// Explicit lower bounds "(low To high)" become "(high - low)".
void LowerBound(Text& line) {
    const Int16 c = InStr(line, u" To ");
    if (c <= 1) return;
    const Int16 f = InStr(line, u"(");
    const Int16 g = InStr(line, u")");
    const Text upper = Mid(line, c + 4, g - c - 4);
    const Text lower = Mid(line, f + 1, c - f - 1);
    line = Left(line, f) + (IsLetter(upper) ? u"_" : u"") + upper + u" - " + lower + Mid(line, g);
}

// The last typed member loses the comma of its ", \".
void DropLastComma(std::vector<Text>& lines) {
    for (Int16 i = static_cast<std::int64_t>(lines.size()) - 1; i >= 0; i += -1) {
        Text& line = lines[static_cast<std::size_t>(i.get())];
        if (!Contains(line, u", \\")) continue;
        const Int16 k = InStr(2, line, u"\\");
        line = Left(line, k - 3) + Mid(line, k - 1);
        return;
    }
    Fail("no typed member");
}

}  // namespace

// Each round finds the first " As String * " at a (1-based), the end e of its length
// expression (the line break or apostrophe behind it, whichever comes first), and
// rebuilds the text as Left(a - 1) & "&(" & [_]expression & " - 1), \ str" & Mid(e).
// Rebuilding the whole text each round would be quadratic; this walks it once:
//   - nothing before a can start a later match, and neither can "&(" or "_", so the
//     next search may start at the expression;
//   - the expression holds no line break or apostrophe, so later matches in the same
//     line share its end e, and the tails " - 1), \ str" of all of them pile up in
//     front of e (they are alike, so their order does not matter);
//   - a match never spans a line break or apostrophe, so once the line's rest holds
//     no match the search goes on behind e in the untouched text.
// The current text is always `done` & `line`[from..] & `text`[rest..]. a, e and the
// apostrophe position p (one past the end when there is none) are 16-bit positions.
Text ExpandFixedStrings(const Text& text) {
    const TextView source = text;
    std::size_t match = source.find(kFixedString);
    if (match == kNone || match == 0) return text;  // a match at position 1 ends the rounds

    ApostropheFinder apostrophes(source);
    Text done;
    done.reserve(text.size() + text.size() / 4);
    Text line;
    std::size_t rest = 0;
    while (match != kNone) {
        done.append(source.substr(rest, match - rest));
        const std::size_t after = match + kFixedString.size();
        const std::size_t lineBreak = source.find(kCrLf, after);  // the text ends in one
        const std::size_t apostrophe = apostrophes.NextFrom(after);
        const std::size_t end = std::min(lineBreak, apostrophe);
        line.assign(source.substr(match, end - match));
        rest = end;

        std::size_t from = 0;
        for (std::size_t at = 0; at != kNone; at = line.find(kFixedString, from)) {
            // 1-based position in the current text of an index into `text` behind `rest`.
            const auto position = [&](std::size_t index) {
                return static_cast<std::int64_t>(done.size() + (line.size() - from) + (index - rest)) + 1;
            };
            // The round's 16-bit positions; only their range matters here, as `line`
            // already ends where the expression does.
            [[maybe_unused]] const Int16 a = static_cast<std::int64_t>(done.size() + (at - from)) + 1;
            [[maybe_unused]] const Int16 e = position(lineBreak);
            [[maybe_unused]] const Int16 p =
                apostrophe == kNone ? position(source.size()) : position(apostrophe);

            done.append(TextView(line).substr(from, at - from)).append(u"&(");
            if (!IsDigit(TextView(line).substr(at + kFixedString.size()))) done.push_back(u'_');
            from = at + kFixedString.size();
            line.append(kFixedStringTail);
        }
        done.append(TextView(line).substr(from));
        match = source.find(kFixedString, rest);
    }
    done.append(source.substr(rest));
    return done;
}

namespace {

// Turns to one blank every run of blanks for which `shrink(run start, run end)` holds.
template <typename Predicate>
Text ShrinkBlankRuns(TextView text, Predicate shrink) {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != u' ') {
            out.push_back(text[i++]);
            continue;
        }
        const std::size_t run = std::min(text.find_first_not_of(u' ', i), text.size());
        out.append(shrink(i, run) ? 1 : run - i, u' ');
        i = run;
    }
    return out;
}

}  // namespace

Text ShrinkBlanksBeforeApostrophes(TextView text) {
    return ShrinkBlankRuns(
        text, [&](std::size_t, std::size_t end) { return end < text.size() && text[end] == u'\''; });
}

Text ShrinkBlanksAfterApostrophes(TextView text) {
    return ShrinkBlankRuns(
        text, [&](std::size_t begin, std::size_t) { return begin > 0 && text[begin - 1] == u'\''; });
}

std::u16string GetType(const Options& options, std::u16string m_Name, std::u16string m_Data) {
    return Guarded(m_Name, [&] {
        const Text crlf(kCrLf);
        const Text header = u"DIM " + SafeIdentifier(m_Name) + u"{ \\" + crlf;
        Text text = Replace(m_Data, u" As Byte", u"&, \\ byte");
        text = TrimControlEnd(std::move(text));
        text += crlf;
        text = ExpandFixedStrings(text);
        text.pop_back();  // the line feed just appended; its carriage return stays for now

        ReplaceIn(text, u" As String", u"%, \\ pstr");
        ReplaceIn(text, u" As Single", u"%, \\ single");
        ReplaceIn(text, u" As Double", u"#, \\ double");
        ReplaceIn(text, u" As Long", u"%, \\ int32");
        ReplaceIn(text, u" As Integer", u"{l&,h&}, \\ int16");

        ReplaceIn(text, u"\t", u"    ");
        ReplaceIn(text, u"(0 To ", u"(");
        ReplaceIn(text, crlf, crlf + u"\\");
        ReplaceIn(text, u"\\    '", u"\\    \\");
        ReplaceIn(text, u"\\    " + crlf, u"\\    \\" + crlf);
        text = TrimControlEnd(std::move(text));

        // The line index is a 16-bit counter: more than 32,767 lines fail.
        std::vector<Text> lines = Split(text, kCrLf);
        const Int16 last = static_cast<std::int64_t>(lines.size()) - 1;
        for (Int16 i = 0; i <= last; ++i) {
            Text& line = lines[static_cast<std::size_t>(i.get())];
            NestStructure(line);
            MoveSuffixBeforeBounds(line);
            ArrayOfStructures(line);
            LowerBound(line);
        }
        DropLastComma(lines);

        // A source comment loses its apostrophe and runs on behind the type comment.
        text = Join(lines, kCrLf);
        ReplaceIn(text, u"' ", u" ' ");
        ReplaceIn(text, u" '", u" ' ");
        text = ShrinkBlanksBeforeApostrophes(text);
        text = ShrinkBlanksAfterApostrophes(text);
        ReplaceIn(text, u" ' ", u" ");

        Text result = header + u"\\" + text + crlf + u"\\    }";
        if (options.m_AutoFormat == 0) result = LayoutLines(result);
        return result;
    });
}

}  // namespace declshift
