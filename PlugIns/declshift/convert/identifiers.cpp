#include "identifiers.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "declshift.h"

namespace declshift {
namespace {

// Each word is tested in lower and in upper case; "COLOR" only in upper case.
constexpr std::array<std::string_view, 90> kKeywords = {
    "abs",    "acs",     "adval",     "and",    "asc",       "asn",     "atn",   "call",    "case",
    "chain",  "circle",  "COLOR",     "colour", "cos",       "data",    "def",   "deg",     "dim",
    "div",    "draw",    "ellipse",   "else",   "envelope",  "eor",     "error", "eval",    "exp",
    "fill",   "fn",      "for",       "gcol",   "get",       "gosub",   "goto",  "if",      "inkey",
    "input",  "install", "int",       "len",    "let",       "line",    "ln",    "local",   "log",
    "mod",    "mode",    "mouse",     "move",   "next",      "not",     "on",    "openin",  "openout",
    "openup", "or",      "origin",    "oscli",  "otherwise", "plot",    "print", "private", "proc",
    "rad",    "read",    "rectangle", "rem",    "repeat",    "restore", "sgn",   "sin",     "sound",
    "spc",    "sqr",     "step",      "sum",    "swap",      "sys",     "tan",   "then",    "tint",
    "to",     "trace",   "until",     "usr",    "val",       "vdu",     "when",  "while",   "width",
};

std::vector<Text> BuildKeywordForms() {
    std::vector<Text> forms;
    for (std::string_view word : kKeywords) {
        const bool upperOnly = std::isupper(static_cast<unsigned char>(word.front())) != 0;
        Text lower, upper;
        for (char c : word) {
            lower.push_back(static_cast<char16_t>(std::tolower(static_cast<unsigned char>(c))));
            upper.push_back(static_cast<char16_t>(std::toupper(static_cast<unsigned char>(c))));
        }
        if (!upperOnly) forms.push_back(lower);
        forms.push_back(upper);
    }
    return forms;
}

bool FirstIn(TextView s, char16_t low, char16_t high) {
    return !s.empty() && s.front() >= low && s.front() <= high;
}

}  // namespace

const std::vector<Text>& KeywordForms() {
    static const std::vector<Text> forms = BuildKeywordForms();
    return forms;
}

bool StartsWith(TextView src, TextView contains) {
    return src.substr(0, std::min(src.size(), contains.size())) == contains;
}

bool StartsWith(const std::u16string& src, const std::u16string& contains) {
    return StartsWith(TextView(src), TextView(contains));
}

bool NeedsUnderscore(TextView name) {
    if (IsDigit(name)) return true;
    if (Left(name, 1) == u"_") return false;
    // Every form begins with an ASCII letter: only the forms that share the name's
    // first character can be its prefix.
    static const auto byFirstLetter = [] {
        std::array<std::vector<Text>, 128> groups;
        for (const Text& form : KeywordForms()) groups[form.front()].push_back(form);
        return groups;
    }();
    if (name.empty() || name.front() >= byFirstLetter.size()) return false;
    const auto& forms = byFirstLetter[name.front()];
    return std::any_of(forms.begin(), forms.end(), [&](const Text& form) { return StartsWith(name, form); });
}

Text SafeIdentifier(TextView name) { return NeedsUnderscore(name) ? u"_" + Text(name) : Text(name); }

bool IsLetter(TextView s) { return FirstIn(s, u'a', u'z') || FirstIn(s, u'A', u'Z'); }
bool IsUpperLetter(TextView s) { return FirstIn(s, u'A', u'Z'); }
bool IsDigit(TextView s) { return FirstIn(s, u'0', u'9'); }

bool LacksOperatorWord(TextView s) {
    return Left(s, 4) != u"NOT " && Left(s, 4) != u"AND " && Left(s, 3) != u"OR ";
}

}  // namespace declshift
