#include "constants.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>

#include "type_mapping.h"

namespace declgen {

namespace {

constexpr const char* kProbeName = "declgen-probe.c";
constexpr std::string_view kValuePrefix = "declgen_value_";
constexpr std::string_view kNumberPrefix = "declgen_number_";

// A body the probe can hold without upsetting the declarations after it.
bool FitsAnInitializer(const std::vector<clang::Token>& body) {
    int depth = 0;
    for (const clang::Token& token : body) {
        if (token.kind != CXToken_Punctuation) continue;
        const std::string& p = token.spelling;
        if (p == ";" || p == "{" || p == "}" || p == "#" || p == "##") return false;
        if (p == "(" || p == "[") ++depth;
        if ((p == ")" || p == "]") && --depth < 0) return false;
    }
    return depth == 0;
}

bool IsCharacter(CXTypeKind kind) { return kind == CXType_Char_S || kind == CXType_Char_U; }

struct Probe {
    std::optional<clang::Cursor> value, number;  // the variables, where they are valid
};

// What the probe variables of one macro say: its value, or why it has none.
std::string ReadProbe(const std::optional<clang::Cursor>& valueProbe,
                      const std::optional<clang::Cursor>& numberProbe, MacroValue& value) {
    if (!valueProbe) return "macro that is no value";
    const clang::Type type = valueProbe->GetType().Canonical();
    if (type.Kind() == CXType_Float || type.Kind() == CXType_Double) return "floating-point macro";
    if (IsInteger(type)) {
        const auto evaluated = valueProbe->Evaluate();
        if (!evaluated || evaluated->kind != clang::Evaluated::Kind::kInteger)
            return "macro that is no constant";
        value.number = evaluated->integer;
        return {};
    }
    if (type.Kind() != CXType_Pointer) return "macro that is no value";
    // A number cast to a pointer (HWND_BROADCAST, MAKEINTRESOURCE(32512)), or a string.
    if (const auto number = numberProbe ? numberProbe->Evaluate() : std::nullopt;
        number && number->kind == clang::Evaluated::Kind::kInteger) {
        value.number = number->integer;
        return {};
    }
    if (!IsCharacter(type.Pointee().Kind()))
        return type.Pointee().Kind() == CXType_UShort ? "wide-string macro" : "macro that is no constant";
    const auto text = valueProbe->Evaluate();
    if (!text || text->kind != clang::Evaluated::Kind::kString) return "macro that is no constant";
    value.isString = true;
    value.text = text->text;
    return {};
}

// The first number in token order, looking into the macros named on the way:
// whether it is written in hex, or nothing when there is none.
std::optional<bool> FirstNumberIsHex(std::span<const clang::Token> tokens,
                                     const std::map<std::string, std::vector<clang::Token>>& macroBodies,
                                     int depth) {
    for (const clang::Token& token : tokens) {
        if (token.kind == CXToken_Literal && std::isdigit(static_cast<unsigned char>(token.spelling[0])))
            return token.spelling.starts_with("0x") || token.spelling.starts_with("0X");
        if (token.kind != CXToken_Identifier || depth > 16) continue;
        const auto body = macroBodies.find(token.spelling);
        if (body == macroBodies.end() || body->second.size() < 2) continue;
        if (const auto hex = FirstNumberIsHex(std::span(body->second).subspan(1), macroBodies, depth + 1))
            return hex;
    }
    return std::nullopt;
}

}  // namespace

bool WrittenInHex(const std::vector<clang::Token>& tokens,
                  const std::map<std::string, std::vector<clang::Token>>& macroBodies) {
    return FirstNumberIsHex(tokens, macroBodies, 0).value_or(false);
}

std::optional<std::string> VbNumber(std::int64_t value, bool hex) {
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(value);
    if (!hex && value <= std::numeric_limits<std::int32_t>::max()) return std::to_string(value);
    char text[16];
    std::snprintf(text, sizeof text, "&H%X%s", bits, bits >= 0x8000 && bits <= 0xFFFF ? "&" : "");
    return text;
}

std::optional<std::string> VbString(const std::string& text) {
    std::string literal = "\"";
    for (const char c : text) {
        if (c < 0x20 || c > 0x7e) return std::nullopt;
        literal += c == '"' ? "\"\"" : std::string(1, c);
    }
    return literal + "\"";
}

MacroProbe::MacroProbe(const Headers& headers) : settings_(headers.Settings()) {
    // Bodies by name (the name is each definition's first token), for the hex rule.
    std::map<std::string, std::vector<clang::Token>> bodies;
    for (const clang::Cursor& macro : headers.Macros()) {
        std::vector<clang::Token> tokens = macro.Tokens();
        if (!tokens.empty()) bodies[tokens.front().spelling] = std::move(tokens);
    }
    std::map<std::string, bool> seen;
    for (const clang::Cursor& macro : headers.Macros()) {
        const std::string name = macro.Spelling();
        if (name.starts_with('_') || headers.InRuntimeHeader(macro) || !seen.emplace(name, true).second)
            continue;
        const std::vector<clang::Token>& tokens = bodies[name];
        const std::vector<clang::Token> body(tokens.size() > 1 ? tokens.begin() + 1 : tokens.end(),
                                             tokens.end());
        if (body.empty()) {
            ++leftOut_["macro defined empty"];
        } else if (!FitsAnInitializer(body)) {
            ++leftOut_["macro that is no expression"];
        } else {
            const bool namesSomething = std::any_of(body.begin(), body.end(), [](const clang::Token& token) {
                return token.kind == CXToken_Identifier || token.kind == CXToken_Keyword;
            });
            candidates_.push_back({name, headers.OrderOf(macro), WrittenInHex(body, bodies), namesSomething});
        }
    }
}

MacroOutcome MacroProbe::Run() const {
    MacroOutcome outcome;
    outcome.leftOut = leftOut_;
    // The value's own type tells numbers, strings and the rest apart; pointers
    // (`(HWND)0xFFFF`) are read through a cast to a 32-bit integer.
    std::string source = settings_.UmbrellaSource();
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
        const std::string& name = candidates_[i].name;
        source +=
            "static __auto_type " + std::string(kValuePrefix) + std::to_string(i) + " = " + name + ";\n";
        if (candidates_[i].mayBePointer)
            source +=
                "static int " + std::string(kNumberPrefix) + std::to_string(i) + " = (int)(" + name + ");\n";
    }
    const clang::TranslationUnit unit({kProbeName, source}, settings_.CompilerArguments(), false);

    std::vector<Probe> probes(candidates_.size());
    for (const clang::Cursor& cursor : unit.Root().Children()) {
        if (cursor.Kind() != CXCursor_VarDecl) continue;
        const std::string name = cursor.Spelling();
        const bool value = name.starts_with(kValuePrefix);
        if (!value && !name.starts_with(kNumberPrefix)) continue;
        const std::size_t index =
            std::strtoul(name.c_str() + (value ? kValuePrefix : kNumberPrefix).size(), nullptr, 10);
        if (index >= probes.size() || cursor.IsInvalid()) continue;
        (value ? probes[index].value : probes[index].number) = cursor;
    }

    for (std::size_t i = 0; i < candidates_.size(); ++i) {
        const Candidate& candidate = candidates_[i];
        MacroValue value{candidate.name, candidate.order, false, 0, candidate.hex, {}};
        const std::string reason = ReadProbe(probes[i].value, probes[i].number, value);
        if (reason.empty()) {
            outcome.values.push_back(std::move(value));
        } else {
            ++outcome.leftOut[reason];
        }
    }
    return outcome;
}

}  // namespace declgen
