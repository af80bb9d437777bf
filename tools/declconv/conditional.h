// Conditional compilation as Visual Basic reads it: #Const, #If ... Then,
// #ElseIf ... Then, #Else and #End If decide which lines of a module are compiled.
// Only the branch that is taken holds declarations; the others are skipped whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace declconv {

// Compilation constants by name, in any letter case. An undefined name is 0.
class CompilationConstants {
public:
    // Those of 32-bit Visual Basic 6: Win32 true; Win16, Win64, VBA6, VBA7 and Mac false.
    static CompilationConstants Defaults();

    void Define(std::u16string_view name, std::int64_t value);
    std::int64_t Value(std::u16string_view name) const;

    // "NAME=VALUE" as given on the command line, VALUE a constant expression.
    // Throws std::invalid_argument saying what is wrong.
    void DefineFromText(std::string_view definition);

private:
    std::map<std::u16string, std::int64_t> values_;  // by the name in lower case
};

// The value of a constant expression: whole numbers (decimal, &H hexadecimal, &O
// octal), True and False, names, Not, And, Or, Xor, the comparisons, unary minus
// and parentheses. Not, And, Or and Xor work bit by bit, True is -1. Throws
// std::invalid_argument saying what is wrong.
std::int64_t EvaluateCondition(std::u16string_view expression, const CompilationConstants& constants);

// Follows the directives of one file, line by line.
class Conditionals {
public:
    explicit Conditionals(CompilationConstants constants) : constants_(std::move(constants)) {}

    enum class Line { kCode, kDirective, kNotCompiled };

    // What `text` (a logical line without its indentation, first physical line
    // `line`) is. A directive that is malformed or out of place sets `error`; a
    // condition that cannot be read counts as false.
    Line Take(std::u16string_view text, std::size_t line, std::string& error);

    // First lines of the #If blocks still open, outermost first.
    std::vector<std::size_t> OpenBlocks() const;

private:
    struct Block {
        std::size_t line;
        bool active;  // the branch being read is compiled
        bool taken;   // a branch of this block has been (or cannot be) taken
        bool seenElse;
    };

    bool Compiling() const { return blocks_.empty() || blocks_.back().active; }
    // The condition of #If or #ElseIf, the text between the keyword and Then.
    bool Condition(std::u16string_view text, std::string& error) const;

    CompilationConstants constants_;
    std::vector<Block> blocks_;
};

}  // namespace declconv
