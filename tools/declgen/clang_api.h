// The few libclang calls declgen makes, behind small value types. Nothing else in
// the tool calls libclang; the enumerations of its C API (cursor and type kinds,
// calling conventions) are used as they are.
#pragma once

#include <clang-c/Index.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace declgen::clang {

class Cursor;

class Type {
public:
    explicit Type(CXType type) : type_(type) {}

    CXTypeKind Kind() const { return type_.kind; }
    std::string Spelling() const;
    Type Canonical() const;
    Type Pointee() const;
    Type ArrayElement() const;
    long long ArraySize() const;  // -1 when not a constant array
    long long SizeOf() const;     // bytes; negative when incomplete or dependent
    long long AlignOf() const;
    // A typedef's or elaborated name's next step towards the canonical type; the
    // type itself when it is neither.
    Type Desugared() const;
    std::string TypedefName() const;  // empty unless a typedef
    Cursor Declaration() const;
    std::vector<Cursor> Fields() const;  // of a record type, anonymous members' fields included
    // Function types.
    CXCallingConv CallingConv() const;
    bool IsVariadic() const;
    Type Result() const;

private:
    CXType type_;
};

struct Token {
    CXTokenKind kind;
    std::string spelling;
};

// A compile-time value that clang computed for a variable's initializer.
struct Evaluated {
    enum class Kind { kInteger, kString };
    Kind kind;
    std::int64_t integer = 0;
    std::string text;
};

struct Position {
    std::string file;  // empty for built-in and command-line entities
    unsigned offset = 0;
    unsigned line = 0;
};

class Cursor {
public:
    explicit Cursor(CXCursor cursor) : cursor_(cursor) {}

    CXCursorKind Kind() const { return cursor_.kind; }
    std::string Spelling() const;
    std::string Usr() const;  // unique per entity, anonymous ones included
    Position Location() const;
    Type GetType() const;
    Type ResultType() const;
    std::vector<Cursor> Children() const;
    std::vector<Cursor> Arguments() const;
    Type TypedefUnderlying() const;
    Cursor Definition() const;
    bool IsNull() const;
    bool IsDefinition() const;
    bool IsUntagged() const;         // a struct, union or enum without a tag
    bool IsAnonymousMember() const;  // a struct or union member without tag or member name
    bool IsInvalid() const;
    bool IsBitField() const;
    int BitWidth() const;
    long long FieldOffsetBits() const;
    std::int64_t EnumValue() const;
    bool IsFunctionLikeMacro() const;
    bool IsBuiltinMacro() const;
    std::vector<Token> Tokens() const;
    std::optional<Evaluated> Evaluate() const;
    bool operator==(const Cursor& other) const;

private:
    CXCursor cursor_;
};

struct UnsavedFile {
    std::string name;
    std::string contents;
};

// One parsed translation unit with its own index, so that two can be parsed on two
// threads at once.
class TranslationUnit {
public:
    // Throws std::runtime_error when clang could not parse at all.
    TranslationUnit(const UnsavedFile& source, const std::vector<std::string>& arguments, bool recordMacros);
    ~TranslationUnit();
    TranslationUnit(const TranslationUnit&) = delete;
    TranslationUnit& operator=(const TranslationUnit&) = delete;

    Cursor Root() const;
    // Every included file in the order of its first inclusion.
    std::vector<std::string> Inclusions() const;
    // Error and fatal diagnostics, formatted with their location.
    std::vector<std::string> Errors() const;

private:
    CXIndex index_;
    CXTranslationUnit unit_ = nullptr;
};

}  // namespace declgen::clang
