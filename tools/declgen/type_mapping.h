// C types as 32-bit Visual Basic passes and stores them.
//
// Parameters: 32-bit integers, BOOL, handles, WPARAM/LPARAM and every other pointer
// go ByVal As Long; LPSTR/LPCSTR ByVal As String; a pointer to a structure is the
// structure by reference, a pointer to a number the number by reference, void * is
// As Any; 16- and 8-bit integers are Integer and Byte, float and double Single and
// Double, 64-bit integers Currency. A structure passed by value becomes one ByVal
// Long per four bytes, which is what the callee finds on the stack.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "clang_api.h"
#include "records.h"

namespace declgen {

// A number as Visual Basic stores it: its type name, size and alignment in a Type.
struct VbScalar {
    std::string name;
    int size;
};

// True for C's integer types, characters and enumerations (after typedefs).
bool IsInteger(const clang::Type& type);

// The Visual Basic number type of an integer, enumeration or floating type, by size.
std::optional<VbScalar> ScalarOf(const clang::Type& type);

struct Parameter {
    std::string name;
    bool byValue;
    std::string type;  // "Long", "String", "Any", "RECT", ...
    int stackBytes;    // what the caller pushes
};

class TypeMapper {
public:
    explicit TypeMapper(const Records& records) : records_(records) {}

    // Appends the parameters a C parameter becomes; false (with `reason`) when
    // Visual Basic cannot pass it.
    bool MapParameter(const std::string& name, const clang::Type& type, std::vector<Parameter>& out,
                      std::string& reason) const;
    // The result clause type; empty for void (a Sub); nullopt (with `reason`) when
    // Visual Basic cannot receive it.
    std::optional<std::string> MapResult(const clang::Type& type, std::string& reason) const;

    // Structures that mapped parameters pass by reference.
    const std::set<const Record*>& UsedRecords() const { return used_; }

private:
    const Records& records_;
    mutable std::set<const Record*> used_;
};

// True for a pointer whose pointee is written WCHAR or wchar_t.
bool PointsToWideChar(const clang::Type& type);

}  // namespace declgen
