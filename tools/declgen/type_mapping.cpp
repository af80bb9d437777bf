#include "type_mapping.h"

#include "vb_names.h"

namespace declgen {

namespace {

// Looks through typedefs, `struct` keywords and attributes to the type itself,
// keeping the names of what it points to.
clang::Type StripSugar(clang::Type type) {
    for (;;) {
        switch (type.Kind()) {
            case CXType_Typedef:
            case CXType_Elaborated:
            case CXType_Attributed:
                type = type.Desugared();
                break;
            case CXType_Unexposed:  // e.g. an array parameter decayed to a pointer
                return type.Canonical();
            default:
                return type;
        }
    }
}

// The name a type is written with, when it is a typedef's.
std::string OutermostTypedef(clang::Type type) {
    if (type.Kind() == CXType_Elaborated) type = type.Desugared();
    return type.TypedefName();
}

bool IsPlainChar(CXTypeKind kind) { return kind == CXType_Char_S || kind == CXType_Char_U; }

// Typedefs of `void *` that mean "any memory"; every other one (HANDLE, PSID, ...)
// is a handle, passed by value.
bool MeansAnyMemory(const std::string& typedefName) {
    return typedefName.empty() || typedefName == "PVOID" || typedefName == "LPVOID" ||
           typedefName == "LPCVOID" || typedefName == "PCVOID";
}

Parameter ByValue(const std::string& name, const std::string& type, int bytes = 4) {
    return {name, true, type, bytes};
}

}  // namespace

bool IsInteger(const clang::Type& type) {
    switch (type.Canonical().Kind()) {
        case CXType_Bool:
        case CXType_Char_U:
        case CXType_UChar:
        case CXType_Char16:
        case CXType_UShort:
        case CXType_UInt:
        case CXType_ULong:
        case CXType_ULongLong:
        case CXType_Char_S:
        case CXType_SChar:
        case CXType_WChar:
        case CXType_Short:
        case CXType_Int:
        case CXType_Long:
        case CXType_LongLong:
        case CXType_Enum:
            return true;
        default:
            return false;
    }
}

std::optional<VbScalar> ScalarOf(const clang::Type& type) {
    const clang::Type canonical = type.Canonical();
    if (canonical.Kind() == CXType_Float) return VbScalar{"Single", 4};
    if (canonical.Kind() == CXType_Double) return VbScalar{"Double", 8};
    if (!IsInteger(canonical)) return std::nullopt;
    switch (canonical.SizeOf()) {
        case 1:
            return VbScalar{"Byte", 1};
        case 2:
            return VbScalar{"Integer", 2};
        case 4:
            return VbScalar{"Long", 4};
        case 8:
            return VbScalar{"Currency", 8};
        default:
            return std::nullopt;
    }
}

bool PointsToWideChar(const clang::Type& type) {
    const clang::Type pointer = StripSugar(type);
    if (pointer.Kind() != CXType_Pointer) return false;
    for (clang::Type pointee = pointer.Pointee();; pointee = pointee.Desugared()) {
        const std::string name = OutermostTypedef(pointee);
        if (name == "WCHAR" || name == "wchar_t") return true;
        if (pointee.Kind() != CXType_Typedef && pointee.Kind() != CXType_Elaborated) return false;
    }
}

bool TypeMapper::MapParameter(const std::string& name, const clang::Type& type, std::vector<Parameter>& out,
                              std::string& reason) const {
    const clang::Type canonical = type.Canonical();
    if (canonical.Kind() == CXType_Pointer) {
        const clang::Type pointee = canonical.Pointee();
        if (IsPlainChar(pointee.Kind())) {
            out.push_back(ByValue(name, "String"));
        } else if (pointee.Kind() == CXType_Void) {
            if (MeansAnyMemory(OutermostTypedef(type)))
                out.push_back({name, false, "Any", 4});
            else
                out.push_back(ByValue(name, "Long"));
        } else if (pointee.Kind() == CXType_Record) {
            const Record* record = records_.Find(pointee);
            if (record == nullptr || record->kind != RecordKind::kStructure) {
                out.push_back(ByValue(name, "Long"));
            } else if (record->name.empty()) {
                out.push_back({name, false, "Any", 4});
            } else {
                used_.insert(record);
                out.push_back({name, false, record->name, 4});
            }
        } else if (pointee.Kind() == CXType_Pointer) {
            out.push_back({name, false, "Long", 4});
        } else if (PointsToWideChar(type)) {
            out.push_back(ByValue(name, "Long"));
        } else if (const auto scalar = ScalarOf(pointee)) {
            out.push_back({name, false, scalar->name, 4});
        } else {
            out.push_back(ByValue(name, "Long"));  // functions, arrays
        }
        return true;
    }
    if (canonical.Kind() == CXType_Record) {
        // The callee finds the structure's bytes on the stack: one Long per four.
        const long long size = canonical.SizeOf();
        if (size <= 0) {
            reason = "structure of unknown size passed by value";
            return false;
        }
        const long long pieces = (size + 3) / 4;
        for (long long i = 1; i <= pieces; ++i) out.push_back(ByValue(name + std::to_string(i), "Long"));
        return true;
    }
    if (const auto scalar = ScalarOf(canonical)) {
        out.push_back(ByValue(name, scalar->name, scalar->size == 8 ? 8 : 4));
        return true;
    }
    reason = "parameter of type " + type.Spelling();
    return false;
}

std::optional<std::string> TypeMapper::MapResult(const clang::Type& type, std::string& reason) const {
    const clang::Type canonical = type.Canonical();
    if (canonical.Kind() == CXType_Void) return std::string();
    if (canonical.Kind() == CXType_Pointer) return std::string("Long");
    if (const auto scalar = ScalarOf(canonical)) return scalar->name;
    reason = canonical.Kind() == CXType_Record ? "returns a structure" : "returns " + type.Spelling();
    return std::nullopt;
}

}  // namespace declgen
