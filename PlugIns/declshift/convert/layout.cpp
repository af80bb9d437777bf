#include "layout.h"

namespace declshift {
namespace {

// What a line keeps: the text before a continuation mark (a "\" from the second
// character on) and before a remark, without the leading "\" and the blanks behind
// it. Always a part of the line, so no line is copied on its own.
TextView PackedLine(TextView line) {
    if (const auto mark = line.find(u'\\', 1); mark != TextView::npos) line = line.substr(0, mark);
    if (const auto remark = Find(line, u":REM "); remark != TextView::npos) line = line.substr(0, remark);
    if (line.starts_with(u"\\  ")) {
        // Repeating "\  " -> "\ " and then dropping "\ " leaves the text behind the blanks.
        const auto firstOther = line.find_first_not_of(u' ', 1);
        return firstOther == TextView::npos ? TextView() : line.substr(firstOther);
    }
    if (line.starts_with(u"\\ ")) return line.substr(2);
    return line;
}

}  // namespace

Text LayoutLines(Text& text) {
    const TextView all = text;
    Text joined;
    joined.reserve(all.size() + all.size() / 32 + 8);
    Int16 running = 0;
    std::int64_t count = 0;
    for (std::size_t from = 0;; from += kCrLf.size()) {
        if (++count > kMaxLines) Fail("16-bit overflow");
        const TextView source = LineAt(all, from);
        const TextView line = PackedLine(source);
        if (count > 1) joined += u' ';
        if (Len(line) + running > kMaxLine) {
            // A new physical line begins with "\ "; its running length is the line's plus 2.
            joined.append(u"\\\r\n\\ ");
            running = Len(line) + 2;
        } else {
            running += Len(line);
        }
        joined.append(line);
        from += source.size();
        if (from == all.size()) break;
    }
    ReplaceIn(joined, u" SYS ", Text(kCrLf) + u"SYS ");
    text = ReplaceWhile(std::move(joined), u"  ", u" ");
    return text;
}

}  // namespace declshift
