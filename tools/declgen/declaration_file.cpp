#include "declaration_file.h"

#include <cctype>
#include <cstdlib>
#include <limits>

#include "vb_names.h"

namespace declgen {

namespace {

struct Token {
    enum Kind { kWord, kNumber, kString, kPunctuation } kind;
    std::string text;
};

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsTypeSuffix(char c) { return c == '&' || c == '%' || c == '$' || c == '!' || c == '#' || c == '@'; }

// The tokens of one physical line, up to its comment.
std::vector<Token> Tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        const std::size_t start = i;
        if (c == '\'') break;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '"') {
            std::string text;
            for (++i; i < line.size(); ++i) {
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    text += '"';
                    ++i;
                } else if (line[i] == '"') {
                    break;
                } else {
                    text += line[i];
                }
            }
            ++i;
            tokens.push_back({Token::kString, text});
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '&' && i + 1 < line.size() &&
                    (line[i + 1] == 'H' || line[i + 1] == 'h' || line[i + 1] == 'O' || line[i + 1] == 'o'))) {
            i += c == '&' ? 2 : 0;
            while (i < line.size() && (std::isxdigit(static_cast<unsigned char>(line[i])) || line[i] == '.'))
                ++i;
            if (i < line.size() && IsTypeSuffix(line[i])) ++i;
            tokens.push_back({Token::kNumber, std::string(line.substr(start, i - start))});
        } else if (IsWordChar(c)) {
            while (i < line.size() && IsWordChar(line[i])) ++i;
            if (i < line.size() && IsTypeSuffix(line[i]) &&
                (i + 1 == line.size() || !IsWordChar(line[i + 1])))
                ++i;
            tokens.push_back({Token::kWord, std::string(line.substr(start, i - start))});
        } else {
            tokens.push_back({Token::kPunctuation, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

bool Is(const Token& token, std::string_view word) {
    return token.kind == Token::kWord && Upper(token.text) == word;
}

std::string Join(const std::vector<Token>& tokens, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to && i < tokens.size(); ++i) {
        if (!text.empty()) text += ' ';
        text += tokens[i].kind == Token::kString ? "\"" + tokens[i].text + "\"" : tokens[i].text;
    }
    return text;
}

// "x&" -> "x" with "Long"; the type a suffix character stands for.
std::string SplitSuffix(std::string& name) {
    if (name.empty() || !IsTypeSuffix(name.back())) return {};
    const char suffix = name.back();
    name.pop_back();
    switch (suffix) {
        case '&':
            return "Long";
        case '%':
            return "Integer";
        case '$':
            return "String";
        case '!':
            return "Single";
        case '#':
            return "Double";
        default:
            return "Currency";
    }
}

// "As TYPE [* N]" starting at `at`; the type written, or `fallback`.
std::string TypeAt(const std::vector<Token>& tokens, std::size_t at, std::size_t end,
                   const std::string& fallback) {
    if (at >= end || !Is(tokens[at], "AS")) return fallback;
    return Join(tokens, at + 1, end);
}

VbParameter ReadParameter(const std::vector<Token>& tokens, std::size_t from, std::size_t to) {
    VbParameter parameter;
    std::size_t i = from;
    for (; i < to && (Is(tokens[i], "OPTIONAL") || Is(tokens[i], "BYVAL") || Is(tokens[i], "BYREF") ||
                      Is(tokens[i], "PARAMARRAY"));
         ++i)
        if (Is(tokens[i], "BYVAL")) parameter.byValue = true;
    if (i < to) parameter.name = tokens[i++].text;
    const std::string suffixType = SplitSuffix(parameter.name);
    while (i < to && tokens[i].kind == Token::kPunctuation &&
           (tokens[i].text == "(" || tokens[i].text == ")"))
        ++i;
    std::size_t end = i;
    while (end < to && !(tokens[end].kind == Token::kPunctuation && tokens[end].text == "=")) ++end;
    parameter.type = TypeAt(tokens, i, end, suffixType.empty() ? "Variant" : suffixType);
    return parameter;
}

std::optional<VbDeclare> ReadDeclare(const std::vector<Token>& tokens, std::size_t at, std::size_t line) {
    // Declare [PtrSafe] Function|Sub NAME Lib "lib" [Alias "entry"] (params) [As TYPE]
    if (at < tokens.size() && Is(tokens[at], "PTRSAFE")) ++at;
    if (at + 3 >= tokens.size()) return std::nullopt;
    const bool function = Is(tokens[at], "FUNCTION");
    if (!function && !Is(tokens[at], "SUB")) return std::nullopt;
    VbDeclare declare;
    declare.line = line;
    declare.name = tokens[at + 1].text;
    const std::string suffixType = SplitSuffix(declare.name);
    std::size_t i = at + 2;
    if (!Is(tokens[i], "LIB") || tokens[i + 1].kind != Token::kString) return std::nullopt;
    declare.lib = tokens[i + 1].text;
    i += 2;
    declare.entry = declare.name;
    if (i + 1 < tokens.size() && Is(tokens[i], "ALIAS") && tokens[i + 1].kind == Token::kString) {
        declare.entry = tokens[i + 1].text;
        i += 2;
    }
    if (i < tokens.size() && tokens[i].text == "(") {
        int depth = 0;
        std::size_t start = i + 1;
        for (++i; i < tokens.size(); ++i) {
            const std::string& text = tokens[i].kind == Token::kPunctuation ? tokens[i].text : std::string();
            if (text == "(") ++depth;
            if ((text == "," && depth == 0) || (text == ")" && depth == 0)) {
                if (i > start) declare.parameters.push_back(ReadParameter(tokens, start, i));
                start = i + 1;
                if (text == ")") break;
            } else if (text == ")") {
                --depth;
            }
        }
        ++i;
    }
    if (function)
        declare.result = TypeAt(tokens, i, tokens.size(), suffixType.empty() ? "Variant" : suffixType);
    return declare;
}

VbConstant ReadConstant(const std::vector<Token>& tokens, std::size_t at, std::size_t line) {
    VbConstant constant;
    constant.line = line;
    if (at < tokens.size()) constant.name = tokens[at].text;
    SplitSuffix(constant.name);
    std::size_t equals = at;
    while (equals < tokens.size() && tokens[equals].text != "=") ++equals;
    constant.expression = Join(tokens, equals + 1, tokens.size());
    return constant;
}

}  // namespace

DeclarationFile ReadDeclarationFile(std::string_view text) {
    DeclarationFile file;
    enum class Block { kNone, kType, kEnum } block = Block::kNone;
    std::vector<Token> tokens;
    std::size_t line = 0, firstLine = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view physical = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        while (!physical.empty() && physical.back() == '\r') physical.remove_suffix(1);
        ++line;
        if (tokens.empty()) firstLine = line;
        std::vector<Token> more = Tokenize(physical);
        tokens.insert(tokens.end(), more.begin(), more.end());
        if (!tokens.empty() && tokens.back().text == "_" && !text.empty()) {
            tokens.pop_back();
            continue;
        }
        std::size_t at = 0;
        while (at < tokens.size() &&
               (Is(tokens[at], "PUBLIC") || Is(tokens[at], "PRIVATE") || Is(tokens[at], "GLOBAL")))
            ++at;
        if (at >= tokens.size()) {
            tokens.clear();
            continue;
        }
        const std::string keyword = tokens[at].kind == Token::kWord ? Upper(tokens[at].text) : std::string();
        if (block != Block::kNone && keyword == "END") {
            block = Block::kNone;
        } else if (block == Block::kType) {
            VbMember member{tokens[at].text, {}, {}};
            std::size_t i = at + 1;
            if (i < tokens.size() && tokens[i].text == "(") {
                std::size_t close = i;
                while (close < tokens.size() && tokens[close].text != ")") ++close;
                member.bounds = Join(tokens, i + 1, close);
                i = close + 1;
            }
            const std::string suffixType = SplitSuffix(member.name);
            member.type = TypeAt(tokens, i, tokens.size(), suffixType.empty() ? "Variant" : suffixType);
            file.types.back().members.push_back(member);
        } else if (block == Block::kEnum) {
            file.enums.back().members.push_back(ReadConstant(tokens, at, firstLine));
        } else if (keyword == "CONST") {
            file.constants.push_back(ReadConstant(tokens, at + 1, firstLine));
        } else if (keyword == "DECLARE") {
            if (auto declare = ReadDeclare(tokens, at + 1, firstLine))
                file.declares.push_back(std::move(*declare));
        } else if (keyword == "TYPE" && at + 1 < tokens.size()) {
            file.types.push_back({tokens[at + 1].text, {}, firstLine});
            block = Block::kType;
        } else if (keyword == "ENUM" && at + 1 < tokens.size()) {
            file.enums.push_back({tokens[at + 1].text, {}});
            block = Block::kEnum;
        }
        tokens.clear();
    }
    return file;
}

namespace {

// Recursive descent over the tokens of one expression, lowest precedence first:
// Xor, Or, And, Not, then arithmetic (+ -, Mod, \, * /) and unary minus.
class ExpressionParser {
public:
    ExpressionParser(std::vector<Token> tokens, const ConstantEvaluator& evaluator, int& nesting)
        : tokens_(std::move(tokens)), evaluator_(evaluator), nesting_(nesting) {}

    std::optional<VbValue> Parse() {
        auto value = Binary(0);
        return at_ == tokens_.size() ? value : std::nullopt;
    }

private:
    static constexpr const char* kLevels[][2] = {{"XOR", nullptr},   {"OR", nullptr}, {"AND", nullptr},
                                                 {nullptr, nullptr}, {"+", "-"},      {"MOD", nullptr},
                                                 {"\\", nullptr},    {"*", "/"}};
    static constexpr int kNotLevel = 3;
    static constexpr int kLevelCount = 8;

    // Each nested parenthesis, sign or name costs stack; a hostile file could nest
    // them until it runs out, so deeper nesting than real files have has no value.
    static constexpr int kNestingLimit = 256;
    static constexpr std::size_t kLongestString = 65536;
    class Nested {
    public:
        explicit Nested(int& nesting) : nesting_(nesting) { ++nesting_; }
        ~Nested() { --nesting_; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;
        bool TooDeep() const { return nesting_ > kNestingLimit; }

    private:
        int& nesting_;
    };

    static std::optional<VbValue> Arithmetic(const std::string& o, std::int64_t a, std::int64_t b) {
        std::int64_t result = 0;
        bool overflow = false;
        if (o == "XOR") {
            result = a ^ b;
        } else if (o == "OR") {
            result = a | b;
        } else if (o == "AND") {
            result = a & b;
        } else if (o == "+") {
            overflow = __builtin_add_overflow(a, b, &result);
        } else if (o == "-") {
            overflow = __builtin_sub_overflow(a, b, &result);
        } else if (o == "*") {
            overflow = __builtin_mul_overflow(a, b, &result);
        } else {  // / \ Mod
            if (b == 0 || (b == -1 && a == std::numeric_limits<std::int64_t>::min())) return std::nullopt;
            result = o == "MOD" ? a % b : a / b;
        }
        if (overflow) return std::nullopt;
        return VbValue{false, result, {}};
    }

    bool Next(const char* word) {
        if (word == nullptr || at_ >= tokens_.size() || Upper(tokens_[at_].text) != word) return false;
        ++at_;
        return true;
    }

    std::optional<VbValue> Binary(int level) {
        if (level == kLevelCount) return Unary();
        if (level == kNotLevel && Next("NOT")) {
            const Nested nested(nesting_);
            if (nested.TooDeep()) return std::nullopt;
            auto value = Binary(level);
            if (!value || value->isString) return std::nullopt;
            value->number = ~value->number;
            return value;
        }
        auto left = Binary(level + 1);
        for (;;) {
            const char* op = Next(kLevels[level][0])   ? kLevels[level][0]
                             : Next(kLevels[level][1]) ? kLevels[level][1]
                                                       : nullptr;
            if (op == nullptr) return left;
            auto right = Binary(level + 1);
            if (!left || !right || left->isString || right->isString) {
                // Visual Basic joins strings with +; a file that doubles one name after
                // another must not fill the memory.
                if (left && right && left->isString && right->isString && std::string(op) == "+" &&
                    left->text.size() + right->text.size() <= kLongestString) {
                    left->text += right->text;
                    continue;
                }
                return std::nullopt;
            }
            left = Arithmetic(op, left->number, right->number);
        }
    }

    std::optional<VbValue> Unary() {
        const Nested nested(nesting_);
        if (nested.TooDeep()) return std::nullopt;
        if (Next("-")) {
            auto value = Unary();
            if (!value || value->isString || value->number == std::numeric_limits<std::int64_t>::min())
                return std::nullopt;
            value->number = -value->number;
            return value;
        }
        if (Next("+")) return Unary();
        if (at_ >= tokens_.size()) return std::nullopt;
        const Token token = tokens_[at_++];
        if (token.text == "(") {
            auto value = Binary(0);
            return Next(")") ? value : std::nullopt;
        }
        if (token.kind == Token::kString) return VbValue{true, 0, token.text};
        if (token.kind == Token::kNumber) return Number(token.text);
        if (Is(token, "TRUE")) return VbValue{false, -1, {}};
        if (Is(token, "FALSE")) return VbValue{false, 0, {}};
        if (token.kind == Token::kWord) return evaluator_.ValueOf(token.text);
        return std::nullopt;
    }

    static std::optional<VbValue> Number(std::string text) {
        const bool longSuffix = text.ends_with('&');
        if (IsTypeSuffix(text.back())) text.pop_back();
        if (text.find('.') != std::string::npos) return std::nullopt;
        const bool hex = text.size() > 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h');
        const bool octal = text.size() > 2 && text[0] == '&' && !hex;
        std::int64_t value = std::strtoll(text.c_str() + (hex || octal ? 2 : 0), nullptr,
                                          hex     ? 16
                                          : octal ? 8
                                                  : 10);
        // Hex and octal literals are Integers while they fit 16 bits, Longs up to 32.
        if ((hex || octal) && !longSuffix) {
            if (value <= 0xFFFF)
                value = static_cast<std::int16_t>(value);
            else if (value <= 0xFFFFFFFF)
                value = static_cast<std::int32_t>(value);
        } else if ((hex || octal) && value <= 0xFFFFFFFF) {
            value = static_cast<std::int32_t>(value);
        }
        return VbValue{false, value, {}};
    }

    std::vector<Token> tokens_;
    const ConstantEvaluator& evaluator_;
    int& nesting_;
    std::size_t at_ = 0;
};

}  // namespace

ConstantEvaluator::ConstantEvaluator(const DeclarationFile& file) {
    for (const VbConstant& constant : file.constants)
        expressions_.emplace(Upper(constant.name), constant.expression);
    for (const VbEnum& enumeration : file.enums) {
        std::string previous;
        for (const VbConstant& member : enumeration.members) {
            // A member without a value is one more than the one before.
            const std::string expression = !member.expression.empty() ? member.expression
                                           : previous.empty()         ? "0"
                                                                      : "(" + previous + ") + 1";
            expressions_.emplace(Upper(member.name), expression);
            previous = member.name;
        }
    }
}

std::optional<VbValue> ConstantEvaluator::Evaluate(std::string_view expression) const {
    return ExpressionParser(Tokenize(expression), *this, nesting_).Parse();
}

std::optional<VbValue> ConstantEvaluator::ValueOf(const std::string& name) const {
    const std::string key = Upper(name);
    if (const auto found = values_.find(key); found != values_.end()) return found->second;
    const auto expression = expressions_.find(key);
    if (expression == expressions_.end() || !evaluating_.insert(key).second) return std::nullopt;
    auto value = Evaluate(expression->second);
    evaluating_.erase(key);
    values_[key] = value;
    return value;
}

std::optional<long long> ElementCount(const std::string& bounds, const ConstantEvaluator& evaluator) {
    long long count = 1;
    std::size_t start = 0;
    while (start <= bounds.size()) {
        std::size_t comma = bounds.find(',', start);
        if (comma == std::string::npos) comma = bounds.size();
        const std::string dimension = bounds.substr(start, comma - start);
        const std::string upper = Upper(dimension);
        const std::size_t to = upper.find(" TO ");
        const auto low = to == std::string::npos ? std::optional<VbValue>(VbValue{})
                                                 : evaluator.Evaluate(dimension.substr(0, to));
        const auto high = evaluator.Evaluate(to == std::string::npos ? dimension : dimension.substr(to + 4));
        long long elements = 0;
        if (!low || !high || low->isString || high->isString || high->number < low->number ||
            __builtin_sub_overflow(high->number, low->number, &elements) ||
            __builtin_add_overflow(elements, 1LL, &elements) ||
            __builtin_mul_overflow(count, elements, &count))
            return std::nullopt;
        start = comma + 1;
    }
    return count;
}

}  // namespace declgen
