// The named C structures and unions of the headers, with the name their Type gets
// and what a pointer to one means for Visual Basic.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "clang_api.h"
#include "header_scan.h"

namespace declgen {

enum class RecordKind {
    kStructure,  // written as a Type
    kHandle,     // DECLARE_HANDLE's `struct NAME__ { int unused; }`: only ever pointed to
    kInterface,  // a COM interface or its method table: only ever pointed to
};

struct Record {
    std::string name;  // as the Type is written; empty for an anonymous member record
    RecordKind kind;
    clang::Cursor declaration;
    SourceOrder order;
    bool runtimeHeader;  // from the C runtime's headers rather than the Windows API's
};

// Another typedef name of a structure (`typedef RTL_CRITICAL_SECTION
// CRITICAL_SECTION`), written as a Type of its own with the same members.
struct RecordAlias {
    std::string name;
    const Record* record;
    SourceOrder order;
};

class Records {
public:
    explicit Records(const Headers& headers);

    // The record a type names (through typedefs), or null when it is none or was
    // only declared.
    const Record* Find(const clang::Type& type) const;
    const Record* FindDeclaration(const clang::Cursor& declaration) const;
    const std::vector<Record>& All() const { return records_; }
    const std::vector<RecordAlias>& Aliases() const { return aliases_; }

private:
    std::vector<Record> records_;
    std::vector<RecordAlias> aliases_;
    std::map<std::string, std::size_t> byUsr_;
};

}  // namespace declgen
