#include "clang_api.h"

#include <stdexcept>

namespace declgen::clang {

namespace {

std::string Take(CXString text) {
    const char* chars = clang_getCString(text);
    std::string result = chars != nullptr ? chars : "";
    clang_disposeString(text);
    return result;
}

}  // namespace

std::string Type::Spelling() const { return Take(clang_getTypeSpelling(type_)); }
Type Type::Canonical() const { return Type(clang_getCanonicalType(type_)); }
Type Type::Pointee() const { return Type(clang_getPointeeType(type_)); }
Type Type::ArrayElement() const { return Type(clang_getArrayElementType(type_)); }
long long Type::ArraySize() const { return clang_getArraySize(type_); }
long long Type::SizeOf() const { return clang_Type_getSizeOf(type_); }
long long Type::AlignOf() const { return clang_Type_getAlignOf(type_); }

Type Type::Desugared() const {
    switch (type_.kind) {
        case CXType_Typedef:
            return Type(clang_getTypedefDeclUnderlyingType(clang_getTypeDeclaration(type_)));
        case CXType_Elaborated:
            return Type(clang_Type_getNamedType(type_));
        case CXType_Attributed:
            return Type(clang_Type_getModifiedType(type_));
        default:
            return *this;
    }
}

std::string Type::TypedefName() const {
    return type_.kind == CXType_Typedef ? Take(clang_getTypedefName(type_)) : std::string();
}

Cursor Type::Declaration() const { return Cursor(clang_getTypeDeclaration(type_)); }
std::vector<Cursor> Type::Fields() const {
    std::vector<Cursor> fields;
    clang_Type_visitFields(
        type_,
        [](CXCursor field, CXClientData data) {
            static_cast<std::vector<Cursor>*>(data)->emplace_back(field);
            return CXVisit_Continue;
        },
        &fields);
    return fields;
}

CXCallingConv Type::CallingConv() const { return clang_getFunctionTypeCallingConv(type_); }
bool Type::IsVariadic() const { return clang_isFunctionTypeVariadic(type_) != 0; }
Type Type::Result() const { return Type(clang_getResultType(type_)); }

std::string Cursor::Spelling() const { return Take(clang_getCursorSpelling(cursor_)); }
std::string Cursor::Usr() const { return Take(clang_getCursorUSR(cursor_)); }

Position Cursor::Location() const {
    CXFile file = nullptr;
    Position position;
    clang_getFileLocation(clang_getCursorLocation(cursor_), &file, &position.line, nullptr, &position.offset);
    if (file != nullptr) position.file = Take(clang_getFileName(file));
    return position;
}

Type Cursor::GetType() const { return Type(clang_getCursorType(cursor_)); }
Type Cursor::ResultType() const { return Type(clang_getCursorResultType(cursor_)); }

std::vector<Cursor> Cursor::Children() const {
    std::vector<Cursor> children;
    clang_visitChildren(
        cursor_,
        [](CXCursor child, CXCursor, CXClientData data) {
            static_cast<std::vector<Cursor>*>(data)->emplace_back(child);
            return CXChildVisit_Continue;
        },
        &children);
    return children;
}

std::vector<Cursor> Cursor::Arguments() const {
    std::vector<Cursor> arguments;
    const int count = clang_Cursor_getNumArguments(cursor_);
    for (int i = 0; i < count; ++i)
        arguments.emplace_back(clang_Cursor_getArgument(cursor_, static_cast<unsigned>(i)));
    return arguments;
}

Type Cursor::TypedefUnderlying() const { return Type(clang_getTypedefDeclUnderlyingType(cursor_)); }
Cursor Cursor::Definition() const { return Cursor(clang_getCursorDefinition(cursor_)); }
bool Cursor::IsNull() const { return clang_Cursor_isNull(cursor_) != 0; }
bool Cursor::IsDefinition() const { return clang_isCursorDefinition(cursor_) != 0; }
bool Cursor::IsUntagged() const { return clang_Cursor_isAnonymous(cursor_) != 0; }
bool Cursor::IsAnonymousMember() const { return clang_Cursor_isAnonymousRecordDecl(cursor_) != 0; }
bool Cursor::IsInvalid() const { return clang_isInvalidDeclaration(cursor_) != 0; }
bool Cursor::IsBitField() const { return clang_Cursor_isBitField(cursor_) != 0; }
int Cursor::BitWidth() const { return clang_getFieldDeclBitWidth(cursor_); }
long long Cursor::FieldOffsetBits() const { return clang_Cursor_getOffsetOfField(cursor_); }
std::int64_t Cursor::EnumValue() const { return clang_getEnumConstantDeclValue(cursor_); }
bool Cursor::IsFunctionLikeMacro() const { return clang_Cursor_isMacroFunctionLike(cursor_) != 0; }
bool Cursor::IsBuiltinMacro() const { return clang_Cursor_isMacroBuiltin(cursor_) != 0; }
bool Cursor::operator==(const Cursor& other) const { return clang_equalCursors(cursor_, other.cursor_) != 0; }

std::vector<Token> Cursor::Tokens() const {
    CXTranslationUnit unit = clang_Cursor_getTranslationUnit(cursor_);
    CXToken* tokens = nullptr;
    unsigned count = 0;
    clang_tokenize(unit, clang_getCursorExtent(cursor_), &tokens, &count);
    std::vector<Token> result;
    result.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        result.push_back({clang_getTokenKind(tokens[i]), Take(clang_getTokenSpelling(unit, tokens[i]))});
    clang_disposeTokens(unit, tokens, count);
    return result;
}

std::optional<Evaluated> Cursor::Evaluate() const {
    CXEvalResult result = clang_Cursor_Evaluate(cursor_);
    if (result == nullptr) return std::nullopt;
    std::optional<Evaluated> value;
    switch (clang_EvalResult_getKind(result)) {
        case CXEval_Int:
            value = Evaluated{Evaluated::Kind::kInteger,
                              clang_EvalResult_isUnsignedInt(result) != 0
                                  ? static_cast<std::int64_t>(clang_EvalResult_getAsUnsigned(result))
                                  : clang_EvalResult_getAsLongLong(result),
                              {}};
            break;
        case CXEval_StrLiteral:
            value = Evaluated{Evaluated::Kind::kString, 0, clang_EvalResult_getAsStr(result)};
            break;
        default:
            break;
    }
    clang_EvalResult_dispose(result);
    return value;
}

TranslationUnit::TranslationUnit(const UnsavedFile& source, const std::vector<std::string>& arguments,
                                 bool recordMacros)
    : index_(clang_createIndex(0, 0)) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    CXUnsavedFile unsaved{source.name.c_str(), source.contents.c_str(), source.contents.size()};
    unsigned options = CXTranslationUnit_SkipFunctionBodies | CXTranslationUnit_KeepGoing;
    if (recordMacros) options |= CXTranslationUnit_DetailedPreprocessingRecord;
    const CXErrorCode error =
        clang_parseTranslationUnit2(index_, source.name.c_str(), argv.data(), static_cast<int>(argv.size()),
                                    &unsaved, 1, options, &unit_);
    if (error != CXError_Success) {
        clang_disposeIndex(index_);
        throw std::runtime_error("libclang could not parse the headers (error " + std::to_string(error) +
                                 ")");
    }
}

TranslationUnit::~TranslationUnit() {
    clang_disposeTranslationUnit(unit_);
    clang_disposeIndex(index_);
}

Cursor TranslationUnit::Root() const { return Cursor(clang_getTranslationUnitCursor(unit_)); }

std::vector<std::string> TranslationUnit::Inclusions() const {
    std::vector<std::string> files;
    clang_getInclusions(
        unit_,
        [](CXFile file, CXSourceLocation*, unsigned, CXClientData data) {
            static_cast<std::vector<std::string>*>(data)->push_back(Take(clang_getFileName(file)));
        },
        &files);
    return files;
}

std::vector<std::string> TranslationUnit::Errors() const {
    std::vector<std::string> errors;
    const unsigned count = clang_getNumDiagnostics(unit_);
    for (unsigned i = 0; i < count; ++i) {
        CXDiagnostic diagnostic = clang_getDiagnostic(unit_, i);
        if (clang_getDiagnosticSeverity(diagnostic) >= CXDiagnostic_Error)
            errors.push_back(Take(clang_formatDiagnostic(diagnostic, CXDiagnostic_DisplaySourceLocation)));
        clang_disposeDiagnostic(diagnostic);
    }
    return errors;
}

}  // namespace declgen::clang
