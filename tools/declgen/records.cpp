#include "records.h"

#include <set>

#include "vb_names.h"

namespace declgen {

namespace {

// The record a type names once typedefs and `struct` keywords are looked through.
clang::Cursor RecordDeclaration(const clang::Type& type) {
    const clang::Type canonical = type.Canonical();
    return canonical.Kind() == CXType_Record ? canonical.Declaration() : clang::Cursor(clang_getNullCursor());
}

std::vector<clang::Cursor> Fields(const clang::Cursor& record) {
    std::vector<clang::Cursor> fields;
    for (const clang::Cursor& child : record.Children())
        if (child.Kind() == CXCursor_FieldDecl) fields.push_back(child);
    return fields;
}

RecordKind KindOf(const clang::Cursor& record, const std::string& tag) {
    const std::vector<clang::Cursor> fields = Fields(record);
    if (tag.ends_with("__") && fields.size() == 1 && fields[0].Spelling() == "unused")
        return RecordKind::kHandle;
    if ((fields.size() == 1 && fields[0].Spelling() == "lpVtbl") || tag.ends_with("Vtbl"))
        return RecordKind::kInterface;
    return RecordKind::kStructure;
}

}  // namespace

Records::Records(const Headers& headers) {
    for (const clang::Cursor& declaration : headers.Records()) {
        const std::string usr = declaration.Usr();
        if (byUsr_.contains(usr)) continue;
        const std::string tag = declaration.IsUntagged() ? std::string() : declaration.Spelling();
        byUsr_.emplace(usr, records_.size());
        records_.push_back({VbIdentifier(tag), KindOf(declaration, tag), declaration,
                            headers.OrderOf(declaration), headers.InRuntimeHeader(declaration)});
    }

    // A record takes the name of the first typedef that names it directly
    // (`typedef struct tagRECT {...} RECT`); the ANSI one of a pair takes the
    // generic name (`typedef LOGFONTA LOGFONT`), as the procedures do.
    std::set<std::string> typedefNames, renamed;
    for (const clang::Cursor& typedefDecl : headers.Typedefs()) typedefNames.insert(typedefDecl.Spelling());
    for (const clang::Cursor& typedefDecl : headers.Typedefs()) {
        const std::string name = typedefDecl.Spelling();
        const clang::Type underlying = typedefDecl.TypedefUnderlying();
        const clang::Cursor declaration = RecordDeclaration(underlying);
        if (declaration.IsNull()) continue;
        const auto found = byUsr_.find(declaration.Usr());
        if (found == byUsr_.end()) continue;
        Record& record = records_[found->second];
        const clang::Type named =
            underlying.Kind() == CXType_Elaborated ? underlying.Desugared() : underlying;
        const bool direct = named.Kind() != CXType_Typedef;
        const std::string aliased = named.TypedefName();
        const bool generic = !direct && aliased == name + "A" && typedefNames.contains(name + "W");
        if ((direct && renamed.insert(found->first).second) || generic) record.name = VbIdentifier(name);
    }

    // Visual Basic forms have a Point method, so its own declaration file calls the
    // structure POINTAPI; and no two Types may share a name, whatever its case.
    std::set<std::string> taken;
    for (Record& record : records_) {
        if (record.name == "POINT") record.name = "POINTAPI";
        if (record.name.empty() || record.kind != RecordKind::kStructure) continue;
        std::string name = record.name;
        for (int suffix = 2; !taken.insert(Upper(name)).second; ++suffix)
            name = record.name + std::to_string(suffix);
        record.name = name;
    }

    for (const clang::Cursor& typedefDecl : headers.Typedefs()) {
        const Record* record = Find(typedefDecl.TypedefUnderlying());
        const std::string name = VbIdentifier(typedefDecl.Spelling());
        if (record == nullptr || record->kind != RecordKind::kStructure || record->name.empty() ||
            Upper(name) == Upper(record->name) || name == record->name + "A" || name == "POINT")
            continue;
        aliases_.push_back({name, record, headers.OrderOf(typedefDecl)});
    }
}

const Record* Records::FindDeclaration(const clang::Cursor& declaration) const {
    if (declaration.IsNull()) return nullptr;
    const auto found = byUsr_.find(declaration.Usr());
    return found == byUsr_.end() ? nullptr : &records_[found->second];
}

const Record* Records::Find(const clang::Type& type) const {
    return FindDeclaration(RecordDeclaration(type));
}

}  // namespace declgen
