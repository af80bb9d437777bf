#include "layout.h"

#include <algorithm>

#include "type_mapping.h"
#include "vb_names.h"

namespace declgen {

namespace {

long long RoundUp(long long value, long long align) { return (value + align - 1) / align * align; }

void AddComment(Member& member, const std::string& comment) {
    member.comment += member.comment.empty() ? comment : "; " + comment;
}

void ToBytes(Member& member, const std::string& why) {
    AddComment(member, why + ": " + (member.count > 0 ? member.type + " array" : member.type));
    member.count = member.Bytes();
    member.type = "Byte";
    member.size = 1;
    member.align = 1;
}

Member Padding(long long offset, long long bytes, const std::string& why) {
    return {"", "Byte", bytes, 1, 1, offset, "padding: " + why};
}

// The number of elements of a (possibly many-dimensional) constant array, and its
// innermost element type.
long long ElementCount(clang::Type& type) {
    long long count = 1;
    while (type.Kind() == CXType_ConstantArray) {
        count *= type.ArraySize();
        type = type.ArrayElement().Canonical();
    }
    return count;
}

}  // namespace

VbPlacement VbLayout(const std::vector<Member>& members) {
    VbPlacement placement;
    for (const Member& member : members) {
        const long long offset = RoundUp(placement.size, member.align);
        placement.offsets.push_back(offset);
        placement.size = offset + member.Bytes();
        placement.align = std::max(placement.align, member.align);
    }
    placement.size = RoundUp(placement.size, placement.align);
    return placement;
}

TypeLayout PlaceMembers(std::vector<Member> members, long long cSize) {
    TypeLayout layout;
    layout.size = cSize;
    for (Member& member : members) {
        if (member.offset % member.align != 0) ToBytes(member, "unaligned in C");
    }
    // A Type whose size is no multiple of its alignment would be rounded past C's
    // size (a packed structure of 14 bytes with Longs): its widest members become
    // bytes until it fits.
    long long widest = 1;
    for (const Member& member : members) widest = std::max(widest, member.align);
    while (cSize % widest != 0) {
        for (Member& member : members)
            if (member.align == widest) ToBytes(member, "the C structure is packed");
        widest /= 2;
    }
    long long end = 0;
    for (Member& member : members) {
        if (member.offset < end) {
            layout.problems.push_back("member " + member.name + " overlaps the one before it");
            continue;
        }
        if (RoundUp(end, member.align) != member.offset)
            layout.members.push_back(
                Padding(end, member.offset - end,
                        "C has the next member at offset " + std::to_string(member.offset)));
        end = member.offset + member.Bytes();
        layout.align = std::max(layout.align, member.align);
        layout.members.push_back(std::move(member));
    }
    if (RoundUp(end, layout.align) != cSize) {
        if (end < cSize)
            layout.members.push_back(
                Padding(end, cSize - end, "the C structure takes " + std::to_string(cSize) + " bytes"));
        else
            layout.problems.push_back("the members take " + std::to_string(end) + " bytes, C has " +
                                      std::to_string(cSize));
    }
    // Padding members are named last, so that they never take a member's name.
    NameScope names;
    for (Member& member : layout.members)
        if (!member.name.empty()) member.name = names.Add(member.name, "Member");
    int paddings = 0;
    for (Member& member : layout.members)
        if (member.name.empty()) member.name = names.Add("Padding" + std::to_string(++paddings), "Padding");
    return layout;
}

const TypeLayout& LayoutBuilder::Layout(const Record& record) {
    if (const auto found = done_.find(&record); found != done_.end()) return found->second;
    TypeLayout collected;
    std::vector<Member> members;
    AddFields(record.declaration, 0, "", collected, members);
    const clang::Type type = record.declaration.GetType();
    TypeLayout layout = PlaceMembers(std::move(members), type.SizeOf());
    layout.comment = collected.comment;
    layout.uses = std::move(collected.uses);
    layout.problems.insert(layout.problems.end(), collected.problems.begin(), collected.problems.end());
    return done_.emplace(&record, std::move(layout)).first->second;
}

void LayoutBuilder::AddFields(const clang::Cursor& record, long long baseBits, const std::string& prefix,
                              TypeLayout& layout, std::vector<Member>& members) {
    std::vector<clang::Cursor> fields = record.GetType().Fields();
    if (record.Kind() == CXCursor_UnionDecl && !fields.empty()) {
        // A union: its largest member (the first of equals) stands for all of them.
        const auto largest = std::max_element(fields.begin(), fields.end(), [](const auto& a, const auto& b) {
            return a.GetType().SizeOf() < b.GetType().SizeOf();
        });
        std::string others;
        for (const clang::Cursor& field : fields)
            if (!(field == *largest))
                others += (others.empty() ? "" : ", ") +
                          (field.Spelling().empty() ? "(anonymous)" : field.Spelling());
        const std::size_t first = members.size();
        AddField(largest->Spelling(), largest->GetType(), (baseBits + largest->FieldOffsetBits()) / 8, prefix,
                 layout, members);
        if (first < members.size() && !others.empty()) AddComment(members[first], "union, also " + others);
        return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const clang::Cursor& field = fields[i];
        const long long bits = baseBits + field.FieldOffsetBits();
        if (!field.IsBitField()) {
            AddField(field.Spelling(), field.GetType(), bits / 8, prefix, layout, members);
            continue;
        }
        // Bit fields: the integer that holds them, and the fields in a comment. A
        // zero-width one only ends a run.
        if (field.BitWidth() == 0) continue;
        const auto scalar = ScalarOf(field.GetType());
        const long long unitBits = scalar ? scalar->size * 8 : 32;
        const long long unitStart = bits / unitBits * unitBits;
        std::string names;
        std::size_t last = i;
        for (std::size_t j = i; j < fields.size() && fields[j].IsBitField(); ++j) {
            const long long start = baseBits + fields[j].FieldOffsetBits();
            if (start + fields[j].BitWidth() > unitStart + unitBits) break;
            if (fields[j].BitWidth() > 0)
                names += (names.empty() ? "" : ", ") + fields[j].Spelling() + ":" +
                         std::to_string(fields[j].BitWidth());
            last = j;
        }
        const std::string name = field.Spelling().empty() ? "Bits" : prefix + field.Spelling();
        const long long size = unitBits / 8;
        members.push_back({name, scalar ? scalar->name : "Long", 0, size, std::min(size, 4LL), unitStart / 8,
                           "bit fields " + names});
        i = last;
    }
}

void LayoutBuilder::AddField(const std::string& name, const clang::Type& type, long long offset,
                             const std::string& prefix, TypeLayout& layout, std::vector<Member>& members) {
    clang::Type canonical = type.Canonical();
    const std::string memberName = name.empty() ? std::string() : prefix + name;
    if (canonical.Kind() == CXType_Record) {
        const Record* record = records_.Find(canonical);
        if (record != nullptr && !record->name.empty()) {
            const TypeLayout& inner = Layout(*record);
            layout.uses.insert(record);
            members.push_back({memberName, record->name, 0, inner.size, inner.align, offset, ""});
        } else {
            // An anonymous structure or union: its members in its place.
            AddFields(canonical.Declaration(), offset * 8, name.empty() ? prefix : prefix + name + "_",
                      layout, members);
        }
        return;
    }
    long long count = 0;
    if (canonical.Kind() == CXType_ConstantArray) count = ElementCount(canonical);
    if (canonical.Kind() == CXType_IncompleteArray ||
        (count == 0 && type.Canonical().Kind() == CXType_ConstantArray)) {
        layout.comment = "the variable-length array " + name + " follows the fixed part";
        return;
    }
    if (count > 0) {
        if (canonical.Kind() == CXType_Char_S || canonical.Kind() == CXType_Char_U) {
            members.push_back({memberName, "String * " + std::to_string(count), 0, count, 1, offset, ""});
            return;
        }
        if (canonical.Kind() == CXType_Record) {
            const Record* record = records_.Find(canonical);
            if (record != nullptr && !record->name.empty()) {
                const TypeLayout& inner = Layout(*record);
                layout.uses.insert(record);
                members.push_back({memberName, record->name, count, inner.size, inner.align, offset, ""});
                return;
            }
        }
    }
    Member member{memberName, "Long", count, 4, 4, offset, ""};
    if (canonical.Kind() == CXType_Pointer) {
        const CXTypeKind pointee = canonical.Pointee().Kind();
        if (count == 0 && (pointee == CXType_Char_S || pointee == CXType_Char_U)) member.type = "String";
    } else if (const auto scalar = ScalarOf(canonical)) {
        member.type = scalar->name;
        member.size = scalar->size;
        member.align = std::min(scalar->size, 4);
    } else {
        // Nothing Visual Basic has (an anonymous structure in an array, a vector):
        // its bytes.
        member.type = "Byte";
        member.size = 1;
        member.align = 1;
        member.count = canonical.SizeOf();
        member.comment = type.Spelling();
    }
    members.push_back(std::move(member));
}

}  // namespace declgen
