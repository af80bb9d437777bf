#include "conditional.h"

#include <stdexcept>

namespace declconv {
namespace {

using View = std::u16string_view;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsNameChar(char16_t c) { return IsLetter(c) || IsDigit(c) || c == u'_'; }
char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool SameWord(View text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (Lower(text[i]) != static_cast<char16_t>(word[i])) return false;
    }
    return true;
}

std::string Narrow(View text) {
    std::string out;
    for (const char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

View Trim(View s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The directive's text without its trailing comment.
View WithoutComment(View s) { return Trim(s.substr(0, s.find(u'\''))); }

// Reads one constant expression; every method consumes what it reads.
class Parser {
public:
    Parser(View text, const CompilationConstants& constants) : text_(text), constants_(constants) {}

    std::int64_t Whole() {
        const std::int64_t value = Xor();
        SkipBlanks();
        if (at_ < text_.size()) Fail("unexpected \"" + Narrow(Trim(text_.substr(at_))) + "\"");
        return value;
    }

private:
    [[noreturn]] static void Fail(const std::string& what) { throw std::invalid_argument(what); }

    void SkipBlanks() {
        while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
    }

    // The keyword `word` (lower case) as a whole word at the current position.
    bool Keyword(std::string_view word) {
        SkipBlanks();
        std::size_t end = at_;
        while (end < text_.size() && IsNameChar(text_[end])) ++end;
        if (!SameWord(text_.substr(at_, end - at_), word)) return false;
        at_ = end;
        return true;
    }

    bool Symbol(View symbol) {
        SkipBlanks();
        if (text_.substr(at_, symbol.size()) != symbol) return false;
        at_ += symbol.size();
        return true;
    }

    std::int64_t Xor() {
        std::int64_t value = Or();
        while (Keyword("xor")) value ^= Or();
        return value;
    }
    std::int64_t Or() {
        std::int64_t value = And();
        while (Keyword("or")) value |= And();
        return value;
    }
    std::int64_t And() {
        std::int64_t value = Not();
        while (Keyword("and")) value &= Not();
        return value;
    }
    std::int64_t Not() { return Keyword("not") ? ~Not() : Comparison(); }

    std::int64_t Comparison() {
        std::int64_t value = Unary();
        for (;;) {
            // Two-character operators first, so that "<=" is not read as "<".
            if (Symbol(u"<>")) {
                value = Truth(value != Unary());
            } else if (Symbol(u"<=")) {
                value = Truth(value <= Unary());
            } else if (Symbol(u">=")) {
                value = Truth(value >= Unary());
            } else if (Symbol(u"=")) {
                value = Truth(value == Unary());
            } else if (Symbol(u"<")) {
                value = Truth(value < Unary());
            } else if (Symbol(u">")) {
                value = Truth(value > Unary());
            } else {
                return value;
            }
        }
    }

    static std::int64_t Truth(bool condition) { return condition ? -1 : 0; }

    std::int64_t Unary() {
        if (Symbol(u"-")) return -Unary();
        return Primary();
    }

    std::int64_t Primary() {
        SkipBlanks();
        if (at_ == text_.size()) Fail("an operand is missing");
        if (Symbol(u"(")) {
            const std::int64_t value = Xor();
            if (!Symbol(u")")) Fail("\")\" is missing");
            return value;
        }
        const char16_t c = text_[at_];
        if (IsDigit(c) || c == u'&') return Number();
        if (!IsLetter(c)) Fail("unexpected \"" + Narrow(Trim(text_.substr(at_))) + "\"");
        const std::size_t start = at_;
        while (at_ < text_.size() && IsNameChar(text_[at_])) ++at_;
        const View name = text_.substr(start, at_ - start);
        for (const std::string_view word : {"not", "and", "or", "xor", "then"}) {
            if (SameWord(name, word)) Fail("an operand is missing before \"" + Narrow(name) + "\"");
        }
        if (SameWord(name, "true")) return -1;
        if (SameWord(name, "false")) return 0;
        return constants_.Value(name);
    }

    // A decimal, &H hexadecimal or &O octal number with an optional type mark: "%"
    // (16 bits) or "&" (32 bits). Hexadecimal and octal numbers are 16-bit when they
    // fit and carry no mark, so &HFFFF is -1 and &HFFFF& is 65535.
    std::int64_t Number() {
        int base = 10;
        if (text_[at_] == u'&') {
            const char16_t kind = at_ + 1 < text_.size() ? Lower(text_[at_ + 1]) : u'\0';
            if (kind != u'h' && kind != u'o') Fail("malformed number");
            base = kind == u'h' ? 16 : 8;
            at_ += 2;
        }
        std::uint64_t value = 0;
        std::size_t digits = 0;
        for (; at_ < text_.size(); ++at_, ++digits) {
            const char16_t c = Lower(text_[at_]);
            const int digit = IsDigit(c) ? c - u'0' : (c >= u'a' && c <= u'f') ? c - u'a' + 10 : 99;
            if (digit >= base) break;
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            if (value > 0xFFFFFFFFu) Fail("number too large");
        }
        if (digits == 0) Fail("malformed number");
        char16_t mark = u'\0';
        if (at_ < text_.size() && (text_[at_] == u'&' || text_[at_] == u'%')) mark = text_[at_++];
        if (at_ < text_.size() && IsNameChar(text_[at_])) Fail("malformed number");
        if (base == 10) {
            const std::uint64_t limit = mark == u'%' ? 32768 : mark == u'&' ? 2147483648u : 0xFFFFFFFFu;
            if (value >= limit) Fail("number too large");
            return static_cast<std::int64_t>(value);
        }
        const bool shortForm = mark == u'%' || (mark == u'\0' && value <= 0xFFFF);
        if (mark == u'%' && value > 0xFFFF) Fail("number too large");
        return shortForm ? static_cast<std::int16_t>(value) : static_cast<std::int32_t>(value);
    }

    View text_;
    std::size_t at_ = 0;
    const CompilationConstants& constants_;
};

// The directive keyword behind "#" and the rest of the line.
struct Directive {
    enum Kind { kNone, kConst, kIf, kElseIf, kElse, kEndIf, kUnknown } kind = kNone;
    View rest;
};

Directive ReadDirective(View line) {
    if (line.empty() || line.front() != u'#') return {};
    View s = line.substr(1);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    std::size_t n = 0;
    while (n < s.size() && IsNameChar(s[n])) ++n;
    const View word = s.substr(0, n);
    const View rest = WithoutComment(s.substr(n));
    if (SameWord(word, "const")) return {Directive::kConst, rest};
    if (SameWord(word, "if")) return {Directive::kIf, rest};
    if (SameWord(word, "elseif")) return {Directive::kElseIf, rest};
    if (SameWord(word, "else")) return {Directive::kElse, rest};
    if (SameWord(word, "endif")) return {Directive::kEndIf, rest};
    if (SameWord(word, "end")) {
        std::size_t k = 0;
        while (k < rest.size() && IsNameChar(rest[k])) ++k;
        if (SameWord(rest.substr(0, k), "if")) return {Directive::kEndIf, Trim(rest.substr(k))};
    }
    return {Directive::kUnknown, line};
}

// "NAME = expression": the name and the expression, or an empty name.
std::pair<View, View> Definition(View text) {
    std::size_t n = 0;
    while (n < text.size() && IsNameChar(text[n])) ++n;
    const View rest = Trim(text.substr(n));
    if (n == 0 || !IsLetter(text[0]) || rest.empty() || rest.front() != u'=') return {};
    return {text.substr(0, n), Trim(rest.substr(1))};
}

std::u16string Widen(std::string_view text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

CompilationConstants CompilationConstants::Defaults() {
    CompilationConstants constants;
    constants.Define(u"Win32", -1);
    for (const View name : {u"Win16", u"Win64", u"VBA6", u"VBA7", u"Mac"}) constants.Define(name, 0);
    return constants;
}

void CompilationConstants::Define(std::u16string_view name, std::int64_t value) {
    std::u16string key(name);
    for (char16_t& c : key) c = Lower(c);
    values_[key] = value;
}

std::int64_t CompilationConstants::Value(std::u16string_view name) const {
    std::u16string key(name);
    for (char16_t& c : key) c = Lower(c);
    const auto it = values_.find(key);
    return it == values_.end() ? 0 : it->second;
}

void CompilationConstants::DefineFromText(std::string_view definition) {
    const std::u16string text = Widen(definition);
    const auto [name, value] = Definition(Trim(text));
    try {
        if (name.empty()) throw std::invalid_argument("expected NAME=VALUE");
        Define(name, EvaluateCondition(value, *this));
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument("\"" + std::string(definition) + "\": " + e.what());
    }
}

std::int64_t EvaluateCondition(std::u16string_view expression, const CompilationConstants& constants) {
    return Parser(expression, constants).Whole();
}

bool Conditionals::Condition(std::u16string_view text, std::string& error) const {
    // The condition runs up to the word Then, which ends the directive.
    std::size_t end = text.size();
    while (end > 0 && IsNameChar(text[end - 1])) --end;
    if (!SameWord(text.substr(end), "then")) {
        error = "\"Then\" is missing";
        return false;
    }
    try {
        return EvaluateCondition(text.substr(0, end), constants_) != 0;
    } catch (const std::invalid_argument& e) {
        error = std::string("malformed condition: ") + e.what();
        return false;
    }
}

Conditionals::Line Conditionals::Take(std::u16string_view text, std::size_t line, std::string& error) {
    const Directive directive = ReadDirective(text);
    switch (directive.kind) {
        case Directive::kNone:
            return Compiling() ? Line::kCode : Line::kNotCompiled;
        case Directive::kUnknown:
            if (!Compiling()) return Line::kNotCompiled;
            error = "unknown directive";
            return Line::kDirective;
        case Directive::kConst: {
            if (!Compiling()) return Line::kNotCompiled;
            const auto [name, value] = Definition(directive.rest);
            if (name.empty()) {
                error = "#Const without NAME = VALUE";
                return Line::kDirective;
            }
            try {
                constants_.Define(name, EvaluateCondition(value, constants_));
            } catch (const std::invalid_argument& e) {
                error = std::string("malformed #Const value: ") + e.what();
            }
            return Line::kDirective;
        }
        case Directive::kIf: {
            const bool outer = Compiling();
            const bool value = outer && Condition(directive.rest, error);
            // Inside a branch that is not compiled no branch can be taken.
            blocks_.push_back({line, value, value || !outer, false});
            return Line::kDirective;
        }
        case Directive::kElseIf:
        case Directive::kElse: {
            const char* what = directive.kind == Directive::kElse ? "#Else" : "#ElseIf";
            if (directive.kind == Directive::kElse && !directive.rest.empty()) {
                error = "unexpected \"" + Narrow(directive.rest) + "\" after #Else";
            }
            if (blocks_.empty()) {
                error = std::string(what) + " without #If";
                return Line::kDirective;
            }
            Block& block = blocks_.back();
            if (block.seenElse) {
                error = std::string(what) + " after #Else";
                block.active = false;
                return Line::kDirective;
            }
            if (directive.kind == Directive::kElse) {
                block.seenElse = true;
                block.active = !block.taken;
            } else {
                block.active = !block.taken && Condition(directive.rest, error);
            }
            block.taken = block.taken || block.active;
            return Line::kDirective;
        }
        case Directive::kEndIf:
            if (!directive.rest.empty())
                error = "unexpected \"" + Narrow(directive.rest) + "\" after #End If";
            if (blocks_.empty()) {
                error = "#End If without #If";
            } else {
                blocks_.pop_back();
            }
            return Line::kDirective;
    }
    return Line::kCode;
}

std::vector<std::size_t> Conditionals::OpenBlocks() const {
    std::vector<std::size_t> lines;
    for (const Block& block : blocks_) lines.push_back(block.line);
    return lines;
}

}  // namespace declconv
