#include "layout.h"

namespace declshift {
namespace {

constexpr std::int64_t kMaxLine = 250;

// Repeats Replace("\  " -> "\ ") while the line begins with "\  ". Once the
// continuation mark has been cut, the only backslash left stands at position 1, so
// the rounds end with its run of blanks down to one; done in one step, not one
// pass per blank.
Text ShrinkLeadingBlanks(const Text& line) {
    if (line.rfind(u"\\  ", 0) != 0) return line;
    const auto firstOther = line.find_first_not_of(u' ', 1);
    return u"\\ " + (firstOther == Text::npos ? Text() : line.substr(firstOther));
}

}  // namespace

Text LayoutLines(Text& text) {
    std::vector<Text> lines = Split(text, kCrLf);
    Int16 running = 0;
    const Int16 last = static_cast<std::int64_t>(lines.size()) - 1;
    // A 16-bit loop counter: stepping past 32,767 lines fails like the running length does.
    for (Int16 i = 0; i <= last; ++i) {
        Text& line = lines[static_cast<std::size_t>(i.get())];
        if (const auto p = InStr(2, line, u"\\"); p != 0) line = Left(line, p - 1);
        if (const auto q = InStr(line, u":REM "); q != 0) line = Left(line, q - 1);
        line = ShrinkLeadingBlanks(line);
        if (Left(line, 2) == u"\\ ") line = Mid(line, 3);
        if (Len(line) + running > kMaxLine) {
            line = u"\\" + Text(kCrLf) + u"\\ " + line;
            running = Len(line) - 3;
        } else {
            running += Len(line);
        }
    }
    text = Join(lines, u" ");
    text = Replace(text, u" SYS ", Text(kCrLf) + u"SYS ");
    text = ReplaceWhile(text, u"  ", u" ");
    return text;
}

}  // namespace declshift
