// Reading Visual Basic declaration files (Const, Type, Enum and Declare statements,
// as in Visual Basic's own API declaration file or declgen's output), and the
// values of their constants.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace declgen {

struct VbParameter {
    std::string name;
    bool byValue = false;
    std::string type;  // "Long", "RECT", ...; "Variant" when none is written
};

struct VbDeclare {
    std::string name;
    std::string lib;
    std::string entry;  // the alias, or the name when there is none
    std::vector<VbParameter> parameters;
    std::string result;  // empty for a Sub
    std::size_t line = 0;
};

struct VbMember {
    std::string name;
    std::string bounds;  // between the parentheses of an array; empty otherwise
    std::string type;    // "Long", "String * 128", "RECT", ...
};

struct VbType {
    std::string name;
    std::vector<VbMember> members;
    std::size_t line = 0;
};

struct VbConstant {
    std::string name;
    std::string expression;
    std::size_t line = 0;
};

struct VbEnum {
    std::string name;
    std::vector<VbConstant> members;  // members without a value have an empty expression
};

struct DeclarationFile {
    std::vector<VbDeclare> declares;
    std::vector<VbType> types;
    std::vector<VbConstant> constants;
    std::vector<VbEnum> enums;
};

// Lines may end in LF, CR LF or CR CR LF; " _" continues a line; comments and every
// other statement are skipped.
DeclarationFile ReadDeclarationFile(std::string_view text);

struct VbValue {
    bool isString = false;
    std::int64_t number = 0;
    std::string text;
    bool operator==(const VbValue&) const = default;
};

// Values of constant expressions as Visual Basic computes them: &H literals without
// "&" up to &HFFFF are 16-bit Integers (&H8000 is -32768), names refer to the
// file's constants and enumeration members; And, Or, Xor, Not, Mod, + - * / \.
// An expression that overflows 64 bits, or nests parentheses and names deeper than
// any declaration file does, has no value.
class ConstantEvaluator {
public:
    explicit ConstantEvaluator(const DeclarationFile& file);

    std::optional<VbValue> Evaluate(std::string_view expression) const;
    std::optional<VbValue> ValueOf(const std::string& name) const;  // any case

private:
    std::map<std::string, std::string> expressions_;  // upper-case name -> expression
    mutable std::map<std::string, std::optional<VbValue>> values_;
    mutable std::set<std::string> evaluating_;
    mutable int nesting_ = 0;  // parentheses, signs and names being evaluated
};

// Elements of an array member ("0 To 3" and "3" are 4, "1 To 2, 1 To 3" is 6);
// nothing when a bound is no constant.
std::optional<long long> ElementCount(const std::string& bounds, const ConstantEvaluator& evaluator);

}  // namespace declgen
