// Structures as Visual Basic Types with the layout clang computes for the C
// structure.
//
// Visual Basic aligns a member to its own size, but to at most 4 bytes, and fixed
// strings to 1; a String member is the 4-byte pointer it becomes when the Type is
// passed to a DLL. Where C lays a structure out differently (8-byte members,
// #pragma pack), explicit padding members fill the gaps and members that C leaves
// unaligned become byte arrays, so that every member sits at C's offset and the
// Type has C's size. Unions are written as their largest member, bit fields as the
// integer that holds them, anonymous members' members in their place.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "clang_api.h"
#include "records.h"

namespace declgen {

struct Member {
    std::string name;
    std::string type;      // "Long", "String * 16", "RECT", ...
    long long count = 0;   // elements of an array; 0 for a single value
    long long size = 0;    // bytes of one element
    long long align = 1;   // Visual Basic's alignment of it
    long long offset = 0;  // bytes from the start, where C has it
    std::string comment;

    long long Bytes() const { return size * (count > 0 ? count : 1); }
};

struct TypeLayout {
    std::vector<Member> members;
    long long size = 0;   // C's, which the members fill
    long long align = 1;  // Visual Basic's
    std::string comment;
    std::vector<std::string> problems;  // where the layout could not be matched
    std::set<const Record*> uses;       // Types of its members
};

// Places members at their C offsets: members C leaves off their Visual Basic
// alignment become byte arrays, gaps become padding members, and the Type is
// filled up to C's size.
TypeLayout PlaceMembers(std::vector<Member> members, long long cSize);

// Visual Basic's own layout of a member list: each member's offset and the size.
struct VbPlacement {
    std::vector<long long> offsets;
    long long size = 0;
    long long align = 1;
};
VbPlacement VbLayout(const std::vector<Member>& members);

class LayoutBuilder {
public:
    explicit LayoutBuilder(const Records& records) : records_(records) {}

    // The Type of a structure or union (computed once).
    const TypeLayout& Layout(const Record& record);

private:
    void AddFields(const clang::Cursor& record, long long baseBits, const std::string& prefix,
                   TypeLayout& layout, std::vector<Member>& members);
    void AddField(const std::string& name, const clang::Type& type, long long offset,
                  const std::string& prefix, TypeLayout& layout, std::vector<Member>& members);

    const Records& records_;
    std::map<const Record*, TypeLayout> done_;
};

}  // namespace declgen
