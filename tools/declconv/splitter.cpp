#include "splitter.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "utf.h"

namespace declconv {
namespace {

using View = std::u16string_view;
constexpr std::size_t npos = View::npos;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsIdentifierChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
           c >= 0x80;
}

View TrimLeft(View s) {
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    return s.substr(i);
}

View TrimRight(View s) {
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1])) --n;
    return s.substr(0, n);
}

View Trim(View s) { return TrimRight(TrimLeft(s)); }

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// The statement keyword `word` (ASCII, any letter case, as the language reads it)
// at the start of `s`, ending at a blank, a comment or the end of the line. Gives
// the rest of the line after the keyword and its blanks.
std::optional<View> MatchWord(View s, std::string_view word) {
    if (s.size() < word.size()) return std::nullopt;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (AsciiLower(s[i]) != AsciiLower(static_cast<char16_t>(word[i]))) return std::nullopt;
    }
    if (s.size() > word.size() && !IsBlank(s[word.size()]) && s[word.size()] != u'\'') return std::nullopt;
    return TrimLeft(s.substr(word.size()));
}

template <std::size_t N>
std::optional<View> MatchAnyWord(View s, const std::array<std::string_view, N>& words,
                                 std::string_view* which) {
    for (const auto word : words) {
        if (auto rest = MatchWord(s, word)) {
            if (which != nullptr) *which = word;
            return rest;
        }
    }
    return std::nullopt;
}

// The text before the first comment mark that stands outside a string literal.
View WithoutComment(View s) {
    bool inString = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'"') inString = !inString;
        if (s[i] == u'\'' && !inString) return s.substr(0, i);
    }
    return s;
}

// The leading word of `s`: everything up to a blank, a comment mark or one of `stops`.
View LeadingWord(View s, View stops = u"") {
    std::size_t n = 0;
    while (n < s.size() && !IsBlank(s[n]) && s[n] != u'\'' && stops.find(s[n]) == npos) ++n;
    return s.substr(0, n);
}

// Runs of blanks and tabs outside string literals become one blank.
std::u16string CollapseBlanks(View s) {
    std::u16string out;
    out.reserve(s.size());
    bool inString = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'"') inString = !inString;
        if (!inString && IsBlank(c)) {
            if (i == 0 || !IsBlank(s[i - 1])) out.push_back(u' ');
            continue;
        }
        out.push_back(c);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Lines

struct LogicalLine {
    std::u16string text;
    std::size_t line;  // its first physical line
};

struct Lines {
    std::vector<LogicalLine> lines;
    std::size_t continuedPastEnd = 0;  // the last physical line, when it ends in " _"
};

// A line that ends in a blank and "_" (trailing blanks allowed) goes on in the next.
bool EndsWithContinuation(View s) {
    const View t = TrimRight(s);
    return !t.empty() && t.back() == u'_' && (t.size() == 1 || IsBlank(t[t.size() - 2]));
}

Lines LogicalLines(View text) {
    Lines result;
    std::vector<LogicalLine>& lines = result.lines;
    std::u16string pending;
    std::size_t pendingLine = 0;
    bool continuing = false;
    std::size_t number = 1;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        while (end < text.size() && text[end] != u'\n' && text[end] != u'\r') ++end;
        const View physical = text.substr(i, end - i);
        std::size_t next = end;
        while (next < text.size() && text[next] == u'\r') ++next;
        if (next < text.size() && text[next] == u'\n') ++next;

        if (continuing) {
            pending.push_back(u' ');
            pending.append(TrimLeft(physical));
        } else {
            pending.assign(physical);
            pendingLine = number;
        }
        continuing = EndsWithContinuation(pending);
        if (continuing) {
            // The "_" and the blanks around it become the one blank put in front of the next line.
            pending.resize(TrimRight(pending).size() - 1);
            pending.resize(TrimRight(pending).size());
        } else {
            lines.push_back({std::move(pending), pendingLine});
            pending.clear();
        }
        ++number;
        i = next;
    }
    if (continuing) {
        lines.push_back({std::move(pending), pendingLine});
        result.continuedPastEnd = number - 1;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Declarations

constexpr std::array<std::string_view, 5> kModifiers = {"Public", "Private", "Global", "Friend", "Static"};
constexpr std::array<std::string_view, 3> kProcedureWords = {"Sub", "Function", "Property"};

// Visual Basic's keywords and type names in the editor's spelling. LongPtr, the
// pointer-sized integer, is a Long on the 32-bit target.
constexpr std::array<std::u16string_view, 33> kKeywords = {
    u"Declare",  u"Function",   u"Sub",     u"Lib",     u"Alias",   u"ByVal",    u"ByRef",
    u"Optional", u"ParamArray", u"As",      u"Public",  u"Private", u"Friend",   u"Global",
    u"PtrSafe",  u"Const",      u"Type",    u"End",     u"Enum",    u"Long",     u"Integer",
    u"String",   u"Byte",       u"Boolean", u"Single",  u"Double",  u"Currency", u"Variant",
    u"Any",      u"Object",     u"Date",    u"LongPtr", u"LongLong"};

bool EqualsIgnoringCase(View text, View keyword) {
    if (text.size() != keyword.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (AsciiLower(text[i]) != AsciiLower(keyword[i])) return false;
    }
    return true;
}

// The keywords by their first letter, in lower case: most words of a declaration
// are names, and a name is told from the keywords by a look at a few of them.
const std::array<std::vector<View>, 26>& KeywordsByInitial() {
    static const auto table = [] {
        std::array<std::vector<View>, 26> byInitial;
        for (const View keyword : kKeywords) byInitial[AsciiLower(keyword[0]) - u'a'].push_back(keyword);
        return byInitial;
    }();
    return table;
}

// Rewrites the keywords of a statement or member line as the editor shows them,
// whatever their case in the file; names, string literals and the comment keep
// theirs. Says whether the line uses LongLong, which has no 32-bit counterpart.
bool EditorSpelling(std::u16string& line) {
    const auto& byInitial = KeywordsByInitial();
    bool longLong = false;
    bool inString = false;
    for (std::size_t i = 0; i < line.size();) {
        const char16_t c = line[i];
        if (c == u'"') inString = !inString;
        if (c == u'\'' && !inString) break;
        if (inString || !IsIdentifierChar(c) || (i > 0 && IsIdentifierChar(line[i - 1]))) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < line.size() && IsIdentifierChar(line[end])) ++end;
        const char16_t initial = AsciiLower(c);
        if (initial < u'a' || initial > u'z') {
            i = end;
            continue;
        }
        const View word = View(line).substr(i, end - i);
        for (const View keyword : byInitial[initial - u'a']) {
            if (!EqualsIgnoringCase(word, keyword)) continue;
            longLong = longLong || keyword == u"LongLong";
            if (keyword == u"LongPtr") {
                line.replace(i, word.size(), u"Long");
                end = i + 4;
            } else if (word != keyword) {
                std::copy(keyword.begin(), keyword.end(), line.begin() + static_cast<std::ptrdiff_t>(i));
            }
            break;
        }
        i = end;
    }
    return longLong;
}

// Inside the parameter list, in one pass: "ByVal " at the start of a word
// disappears, " As Long" and " As Integer" before the end of a word become the type
// marks "&" and "%", and no blank follows "(" or precedes ")".
std::u16string ParameterListNotation(View list) {
    constexpr View kByVal = u"ByVal ";
    constexpr std::array<std::pair<View, char16_t>, 2> kTypeMarks = {
        {{u" As Long", u'&'}, {u" As Integer", u'%'}}};
    std::u16string out;
    out.reserve(list.size());
    for (std::size_t i = 0; i < list.size();) {
        const View rest = list.substr(i);
        if (rest.starts_with(kByVal) && (i == 0 || !IsIdentifierChar(list[i - 1]))) {
            i += kByVal.size();
            continue;
        }
        bool marked = false;
        for (const auto& [clause, mark] : kTypeMarks) {
            if (rest.starts_with(clause) &&
                (rest.size() == clause.size() || !IsIdentifierChar(rest[clause.size()]))) {
                out.push_back(mark);
                i += clause.size();
                marked = true;
                break;
            }
        }
        if (marked) continue;
        const bool blankInside = list[i] == u' ' && ((!out.empty() && out.back() == u'(') ||
                                                     (i + 1 < list.size() && list[i + 1] == u')'));
        if (!blankInside) out.push_back(list[i]);
        ++i;
    }
    return out;
}

// The end of the library name and its alias, if any: where a parameter list would begin.
std::size_t AfterLibraryAndAlias(View data) {
    std::size_t at = data.find(u'"', 1);
    if (at == npos) return data.size();
    ++at;
    constexpr View kAlias = u" Alias ";
    if (data.substr(at).starts_with(kAlias)) {
        at += kAlias.size();
        const std::size_t end =
            at < data.size() && data[at] == u'"' ? data.find(u'"', at + 1) : data.find(u' ', at);
        at = end == npos ? data.size() : end + (data[end] == u'"' ? 1 : 0);
    }
    return at;
}

// The Declare text from the library name's opening quote on, in the host's
// notation. A declaration without parentheses has no parameters: it gets "()".
std::u16string HostNotation(View declaration) {
    std::u16string data = CollapseBlanks(declaration);
    bool inString = false;
    std::size_t open = npos;
    for (std::size_t i = 0; i < data.size() && open == npos; ++i) {
        if (data[i] == u'"') inString = !inString;
        if (data[i] == u'(' && !inString) open = i;
    }
    if (open == npos) return data.insert(AfterLibraryAndAlias(data), u" ()");
    std::size_t close = data.size();
    int depth = 0;
    for (std::size_t i = open; i < data.size(); ++i) {
        if (data[i] == u'(') ++depth;
        if (data[i] == u')' && --depth == 0) {
            close = i + 1;
            break;
        }
    }
    return data.substr(0, open) + ParameterListNotation(View(data).substr(open, close - open)) +
           data.substr(close);
}

// Splits the constants of one Const statement at commas outside strings and parentheses.
std::vector<View> ConstParts(View s) {
    std::vector<View> parts;
    bool inString = false;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'"') inString = !inString;
        if (inString) continue;
        if (c == u'(') ++depth;
        if (c == u')' && depth > 0) --depth;
        if (c == u',' && depth == 0) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

std::size_t FindOutsideStrings(View s, char16_t wanted) {
    bool inString = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'"') inString = !inString;
        if (s[i] == wanted && !inString) return i;
    }
    return npos;
}

class Splitter {
public:
    explicit Splitter(const CompilationConstants& constants) : conditionals_(constants) {}

    SplitResult Run(View text) {
        const Lines lines = LogicalLines(text);
        for (const LogicalLine& logical : lines.lines) {
            std::string error;
            switch (conditionals_.Take(Trim(logical.text), logical.line, error)) {
                case Conditionals::Line::kCode:
                    Take(logical);
                    break;
                case Conditionals::Line::kDirective:
                    Skip(SkipKind::kDirective, logical);
                    if (!error.empty()) Error(logical.line, error);
                    break;
                case Conditionals::Line::kNotCompiled:
                    Skip(SkipKind::kNotCompiled, logical);
                    break;
            }
        }
        if (block_) CloseUnfinished();
        for (const std::size_t line : conditionals_.OpenBlocks()) Error(line, "#If without #End If");
        if (lines.continuedPastEnd != 0) {
            Error(lines.continuedPastEnd, "the last line ends in \" _\", but no line follows");
        }
        return std::move(result_);
    }

private:
    enum class BlockKind { kType, kEnum, kProcedure };
    struct Block {
        BlockKind kind;
        std::string_view endWord;  // the word after "End" that closes it
        std::u16string name;
        std::u16string opening;
        std::size_t line;
        std::vector<std::u16string> members;
    };

    void Skip(SkipKind kind, const LogicalLine& logical, std::string reason = {}) {
        result_.skipped.push_back(
            {kind, logical.line, std::u16string(Trim(logical.text)), std::move(reason)});
    }

    void Error(std::size_t line, std::string text) { result_.notes.push_back({line, true, std::move(text)}); }

    // LongLong is handed over as written, but the 32-bit dialect has no such type.
    void WarnOfLongLong(std::size_t line, Call call, View name) {
        result_.notes.push_back({line, false,
                                 std::string(CallName(call)) + " " + Utf16ToUtf8(name) +
                                     ": LongLong passed on unchanged; the 32-bit target has no such type"});
    }

    void Take(const LogicalLine& logical) {
        const View line = TrimLeft(logical.text);
        if (block_) {
            if (IsEndOf(line, block_->endWord)) {
                Close();
                return;
            }
            if (!EndsBlockEarly(line)) {
                if (block_->kind != BlockKind::kProcedure) AddMember(logical.line, line);
                return;
            }
            CloseUnfinished();
        }
        TakeOutsideBlocks(logical, line);
    }

    void TakeOutsideBlocks(const LogicalLine& logical, View line) {
        if (TrimRight(line).empty()) return Skip(SkipKind::kBlank, logical);
        if (line.front() == u'\'' || MatchWord(line, "Rem")) return Skip(SkipKind::kComment, logical);
        View rest = line;
        bool modified = false;
        while (auto after = MatchAnyWord(rest, kModifiers, nullptr)) {
            rest = *after;
            modified = true;
        }
        std::string_view which;
        if (auto after = MatchWord(rest, "Const")) return TakeConst(logical, *after);
        if (auto after = MatchWord(rest, "Declare")) return TakeDeclare(logical, *after);
        if (auto after = MatchWord(rest, "Type")) return Open(BlockKind::kType, "Type", logical, *after);
        if (auto after = MatchWord(rest, "Enum")) return Open(BlockKind::kEnum, "Enum", logical, *after);
        if (auto after = MatchAnyWord(rest, kProcedureWords, &which)) {
            return Open(BlockKind::kProcedure, which, logical, *after);
        }
        if (!modified && (MatchWord(rest, "Attribute") || MatchWord(rest, "Option"))) {
            return Skip(SkipKind::kHeader, logical);
        }
        Skip(SkipKind::kOther, logical);
    }

    // "End Type", "End Enum", "End Sub" ... with an optional comment behind.
    static bool IsEndOf(View line, std::string_view word) {
        const auto rest = MatchWord(line, "End");
        return rest && MatchWord(*rest, word);
    }

    // A statement that cannot stand inside the open block ends it early: the block
    // was never closed, and the statement is taken as if outside.
    bool EndsBlockEarly(View line) const {
        if (auto rest = MatchWord(line, "End")) {
            return MatchWord(*rest, "Type") || MatchWord(*rest, "Enum") ||
                   MatchAnyWord(*rest, kProcedureWords, nullptr);
        }
        View rest = line;
        while (auto after = MatchAnyWord(rest, kModifiers, nullptr)) rest = *after;
        const bool inProcedure = block_->kind == BlockKind::kProcedure;
        if (MatchWord(rest, "Declare")) return true;
        if (!inProcedure && MatchWord(rest, "Const")) return true;
        for (const std::string_view opener : {"Type", "Enum", "Sub", "Function", "Property"}) {
            const auto after = MatchWord(rest, opener);
            // "Type As Long" or "Sub = 1" would be a member, not a statement.
            if (after && !after->empty() && !MatchWord(*after, "As") && after->front() != u'=') {
                return true;
            }
        }
        return false;
    }

    // A member line indented by exactly one tab, keywords in the editor's spelling;
    // a line of only blanks becomes empty.
    void AddMember(std::size_t line, View text) {
        std::u16string member;
        if (!text.empty()) {
            member = u"\t" + std::u16string(text);
            if (EditorSpelling(member)) {
                WarnOfLongLong(line, block_->kind == BlockKind::kType ? Call::kGetType : Call::kGetEnum,
                               block_->name);
            }
        }
        block_->members.push_back(std::move(member));
    }

    void Open(BlockKind kind, std::string_view endWord, const LogicalLine& logical, View rest) {
        const View name = LeadingWord(rest, u"(");
        if (name.empty()) {
            return Skip(SkipKind::kMalformed, logical, std::string(endWord) + " without a name");
        }
        block_ =
            Block{kind, endWord, std::u16string(name), std::u16string(Trim(logical.text)), logical.line, {}};
    }

    void Close() {
        Block& block = *block_;
        if (block.kind == BlockKind::kProcedure) {
            result_.skipped.push_back({SkipKind::kOther, block.line, std::move(block.opening),
                                       "body up to End " + std::string(block.endWord)});
        } else {
            std::u16string data;
            for (std::size_t i = 0; i < block.members.size(); ++i) {
                if (i > 0) data += u"\r\n";
                data += block.members[i];
            }
            result_.requests.push_back({block.kind == BlockKind::kType ? Call::kGetType : Call::kGetEnum,
                                        std::move(block.name), std::move(data), block.line});
        }
        block_.reset();
    }

    void CloseUnfinished() {
        Block& block = *block_;
        result_.skipped.push_back(
            {SkipKind::kUnclosed, block.line, std::move(block.opening),
             std::string(block.endWord) + " block without End " + std::string(block.endWord)});
        block_.reset();
    }

    void TakeConst(const LogicalLine& logical, View statement) {
        std::u16string rest(TrimRight(WithoutComment(statement)));
        EditorSpelling(rest);
        for (const View part : ConstParts(rest)) {
            const std::size_t equals = FindOutsideStrings(part, u'=');
            const View left = equals == npos ? Trim(part) : Trim(part.substr(0, equals));
            const View name = LeadingWord(left);
            if (equals == npos || name.empty()) {
                Skip(SkipKind::kMalformed, logical, "Const without a name and a value");
                continue;
            }
            std::u16string requestName(name);
            if (CollapseBlanks(Trim(left.substr(name.size()))) == u"As Long") requestName += u" As Long";
            result_.requests.push_back({Call::kGetConst, std::move(requestName),
                                        std::u16string(Trim(part.substr(equals + 1))), logical.line});
        }
    }

    void TakeDeclare(const LogicalLine& logical, View statement) {
        std::u16string text(TrimRight(WithoutComment(statement)));
        const bool longLong = EditorSpelling(text);
        View rest = text;
        if (auto after = MatchWord(rest, "PtrSafe")) rest = *after;
        Call call;
        if (auto after = MatchWord(rest, "Sub")) {
            call = Call::kGetSub;
            rest = *after;
        } else if (auto function = MatchWord(rest, "Function")) {
            call = Call::kGetFunc;
            rest = *function;
        } else {
            return Skip(SkipKind::kMalformed, logical, "Declare without Sub or Function");
        }
        const View name = LeadingWord(rest, u"(\"");
        const auto library = MatchWord(TrimLeft(rest.substr(name.size())), "Lib");
        if (name.empty() || !library)
            return Skip(SkipKind::kMalformed, logical, "Declare without a name and Lib");
        if (library->empty() || library->front() != u'"') {
            return Skip(SkipKind::kMalformed, logical, "Declare without a library name in quotes");
        }
        if (longLong) WarnOfLongLong(logical.line, call, name);
        result_.requests.push_back({call, std::u16string(name), HostNotation(*library), logical.line});
    }

    Conditionals conditionals_;
    SplitResult result_;
    std::optional<Block> block_;
};

}  // namespace

std::string_view CallName(Call call) {
    static constexpr std::array<std::string_view, kCallCount> kNames = {"GetConst", "GetType", "GetEnum",
                                                                        "GetSub", "GetFunc"};
    return kNames[static_cast<std::size_t>(call)];
}

SplitResult SplitDeclarations(std::u16string_view text, const CompilationConstants& constants) {
    return Splitter(constants).Run(text);
}

std::string RequestJson(const Request& request, std::u16string_view src) {
    std::string out = "{\"call\": \"";
    out += CallName(request.call);
    out += "\", \"name\": ";
    AppendJsonString(out, request.name, JsonText::kAscii);
    out += ", \"data\": ";
    AppendJsonString(out, request.data, JsonText::kAscii);
    out += ", \"options\": {}, \"src\": ";
    AppendJsonString(out, src, JsonText::kAscii);
    out.push_back('}');
    return out;
}

}  // namespace declconv
