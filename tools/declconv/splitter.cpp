#include "splitter.h"

#include <array>
#include <optional>

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

// A line that ends in a blank and "_" (trailing blanks allowed) goes on in the next.
bool EndsWithContinuation(View s) {
    const View t = TrimRight(s);
    return !t.empty() && t.back() == u'_' && (t.size() == 1 || IsBlank(t[t.size() - 2]));
}

std::vector<LogicalLine> LogicalLines(View text) {
    std::vector<LogicalLine> lines;
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
    if (continuing) lines.push_back({std::move(pending), pendingLine});
    return lines;
}

// ---------------------------------------------------------------------------
// Declarations

constexpr std::array<std::string_view, 5> kModifiers = {"Public", "Private", "Global", "Friend", "Static"};
constexpr std::array<std::string_view, 3> kProcedureWords = {"Sub", "Function", "Property"};

// Inside the parameter list: `find` followed by no identifier character becomes `with`.
void ReplaceTypeClause(std::u16string& list, View find, View with) {
    std::u16string out;
    out.reserve(list.size());
    std::size_t i = 0;
    while (i < list.size()) {
        const std::size_t at = list.find(find, i);
        if (at == npos) break;
        const std::size_t after = at + find.size();
        out.append(list, i, at - i);
        if (after < list.size() && IsIdentifierChar(list[after])) {
            out.append(find);
        } else {
            out.append(with);
        }
        i = after;
    }
    out.append(list, i);
    list = std::move(out);
}

// Inside the parameter list: "ByVal " at the start of a word disappears.
void DropByVal(std::u16string& list) {
    constexpr View kByVal = u"ByVal ";
    std::u16string out;
    out.reserve(list.size());
    std::size_t i = 0;
    while (i < list.size()) {
        const std::size_t at = list.find(kByVal, i);
        if (at == npos) break;
        out.append(list, i, at - i);
        if (at > 0 && IsIdentifierChar(list[at - 1])) out.append(kByVal);
        i = at + kByVal.size();
    }
    out.append(list, i);
    list = std::move(out);
}

// Inside the parameter list: no blank after "(" and none before ")".
void TightenParentheses(std::u16string& list) {
    std::u16string out;
    out.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        const char16_t c = list[i];
        if (c == u' ' &&
            ((!out.empty() && out.back() == u'(') || (i + 1 < list.size() && list[i + 1] == u')'))) {
            continue;
        }
        out.push_back(c);
    }
    list = std::move(out);
}

// The Declare text from the library name's opening quote on, in the host's notation.
std::u16string HostNotation(View declaration) {
    std::u16string data = CollapseBlanks(declaration);
    bool inString = false;
    std::size_t open = npos;
    for (std::size_t i = 0; i < data.size() && open == npos; ++i) {
        if (data[i] == u'"') inString = !inString;
        if (data[i] == u'(' && !inString) open = i;
    }
    if (open == npos) return data;
    std::size_t close = data.size();
    int depth = 0;
    for (std::size_t i = open; i < data.size(); ++i) {
        if (data[i] == u'(') ++depth;
        if (data[i] == u')' && --depth == 0) {
            close = i + 1;
            break;
        }
    }
    std::u16string list = data.substr(open, close - open);
    DropByVal(list);
    ReplaceTypeClause(list, u" As Long", u"&");
    ReplaceTypeClause(list, u" As Integer", u"%");
    TightenParentheses(list);
    return data.substr(0, open) + list + data.substr(close);
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
    SplitResult Run(View text) {
        for (auto& logical : LogicalLines(text)) Take(logical);
        if (block_) CloseUnfinished();
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

    void Take(const LogicalLine& logical) {
        const View line = TrimLeft(logical.text);
        if (block_) {
            if (IsEndOf(line, block_->endWord)) {
                Close();
                return;
            }
            if (!EndsBlockEarly(line)) {
                if (block_->kind != BlockKind::kProcedure) block_->members.push_back(MemberLine(line));
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

    // A member line indented by exactly one tab; a line of only blanks becomes empty.
    static std::u16string MemberLine(View line) {
        if (line.empty()) return {};
        return u"\t" + std::u16string(line);
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
            result_.requests.push_back({block.kind == BlockKind::kType ? "GetType" : "GetEnum",
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

    void TakeConst(const LogicalLine& logical, View rest) {
        for (const View part : ConstParts(TrimRight(WithoutComment(rest)))) {
            const std::size_t equals = FindOutsideStrings(part, u'=');
            const View left = equals == npos ? Trim(part) : Trim(part.substr(0, equals));
            const View name = LeadingWord(left);
            if (equals == npos || name.empty()) {
                Skip(SkipKind::kMalformed, logical, "Const without a name and a value");
                continue;
            }
            std::u16string requestName(name);
            if (CollapseBlanks(Trim(left.substr(name.size()))) == u"As Long") requestName += u" As Long";
            result_.requests.push_back({"GetConst", std::move(requestName),
                                        std::u16string(Trim(part.substr(equals + 1))), logical.line});
        }
    }

    void TakeDeclare(const LogicalLine& logical, View rest) {
        if (auto after = MatchWord(rest, "PtrSafe")) rest = *after;
        std::string call;
        if (auto after = MatchWord(rest, "Sub")) {
            call = "GetSub";
            rest = *after;
        } else if (auto function = MatchWord(rest, "Function")) {
            call = "GetFunc";
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
        result_.requests.push_back({std::move(call), std::u16string(name),
                                    HostNotation(TrimRight(WithoutComment(*library))), logical.line});
    }

    SplitResult result_;
    std::optional<Block> block_;
};

void AppendJsonString(std::string& out, std::u16string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char16_t c : text) {
        switch (c) {
            case u'"':
                out += "\\\"";
                break;
            case u'\\':
                out += "\\\\";
                break;
            case u'\n':
                out += "\\n";
                break;
            case u'\r':
                out += "\\r";
                break;
            case u'\t':
                out += "\\t";
                break;
            case u'\b':
                out += "\\b";
                break;
            case u'\f':
                out += "\\f";
                break;
            default:
                if (c >= 0x20 && c < 0x7F) {
                    out.push_back(static_cast<char>(c));
                } else {
                    out += "\\u";
                    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
                }
        }
    }
    out.push_back('"');
}

}  // namespace

SplitResult SplitDeclarations(std::u16string_view text) { return Splitter{}.Run(text); }

std::string RequestJson(const Request& request, std::u16string_view src) {
    std::string out = "{\"call\": ";
    AppendJsonString(out, std::u16string(request.call.begin(), request.call.end()));
    out += ", \"name\": ";
    AppendJsonString(out, request.name);
    out += ", \"data\": ";
    AppendJsonString(out, request.data);
    out += ", \"options\": {}, \"src\": ";
    AppendJsonString(out, src);
    out.push_back('}');
    return out;
}

}  // namespace declconv
