// The list declgen generated from the real mingw-w64 headers (the build's
// win32-today.txt): every Declare passes the bytes its decorated name says, every
// Type has the size and member offsets clang gives the C structure, and the list
// reaches its targets against Visual Basic's own declaration file.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "compare.h"
#include "declaration_file.h"
#include "file_io.h"
#include "generate.h"
#include "import_libraries.h"
#include "records.h"
#include "vb_names.h"

namespace {

const declgen::DeclarationFile& List() {
    static const declgen::DeclarationFile list =
        declgen::ReadDeclarationFile(tools::ReadWholeFile<std::string>(DECLGEN_LIST));
    return list;
}

TEST(GeneratedList, EveryDeclarePassesTheBytesOfItsDecoratedName) {
    std::vector<std::string> problems;
    const auto libraries = declgen::ImportLibraries::ReadDirectory(DECLGEN_DEFAULT_LIBS, problems);
    ASSERT_GT(List().declares.size(), 5000u);
    for (const declgen::VbDeclare& declare : List().declares) {
        int bytes = 0;
        for (const declgen::VbParameter& parameter : declare.parameters)
            bytes +=
                parameter.byValue && (parameter.type == "Currency" || parameter.type == "Double") ? 8 : 4;
        // The DLL the Declare names exports the entry point with that byte count.
        const auto& candidates = libraries.Candidates(declare.entry);
        const auto exported =
            std::find_if(candidates.begin(), candidates.end(),
                         [&](const declgen::Export& e) { return declgen::LibName(e.dll) == declare.lib; });
        ASSERT_NE(exported, candidates.end()) << declare.entry << " in " << declare.lib;
        EXPECT_EQ(bytes, exported->argumentBytes) << declare.name;
    }
}

// Visual Basic's layout of the list's Types, worked out from the text alone.
class VbLayouts {
public:
    struct Placed {
        long long size = 0, align = 1;
        std::map<std::string, long long> offsets;
    };

    explicit VbLayouts(const declgen::DeclarationFile& file) : values_(file) {
        for (const declgen::VbType& type : file.types) types_.emplace(type.name, &type);
    }

    Placed Place(const std::string& name) {
        if (const auto done = placed_.find(name); done != placed_.end()) return done->second;
        Placed placed;
        for (const declgen::VbMember& member : types_.at(name)->members) {
            auto [size, align] = Element(member.type);
            const long long offset = (placed.size + align - 1) / align * align;
            placed.offsets[member.name] = offset;
            placed.size =
                offset + size * (member.bounds.empty() ? 1 : *declgen::ElementCount(member.bounds, values_));
            placed.align = std::max(placed.align, align);
        }
        placed.size = (placed.size + placed.align - 1) / placed.align * placed.align;
        return placed_[name] = placed;
    }

private:
    std::pair<long long, long long> Element(const std::string& type) {
        static const std::map<std::string, std::pair<long long, long long>> kBuiltin = {
            {"Byte", {1, 1}},   {"Integer", {2, 2}}, {"Long", {4, 4}},    {"Single", {4, 4}},
            {"String", {4, 4}}, {"Double", {8, 4}},  {"Currency", {8, 4}}};
        if (type.starts_with("String * ")) return {std::stoll(type.substr(9)), 1};
        if (const auto found = kBuiltin.find(type); found != kBuiltin.end()) return found->second;
        const Placed nested = Place(type);
        return {nested.size, nested.align};
    }

    declgen::ConstantEvaluator values_;
    std::map<std::string, const declgen::VbType*> types_;
    std::map<std::string, Placed> placed_;
};

TEST(GeneratedList, EveryTypeHasTheSizeAndOffsetsOfTheCStructure) {
    declgen::ScanSettings settings{DECLGEN_DEFAULT_INCLUDE, DECLGEN_CLANG_RESOURCE_DIR,
                                   declgen::DefaultHeaders(), 0x0A00};
    const declgen::Headers headers(settings);
    const declgen::Records records(headers);
    std::map<std::string, const declgen::Record*> byName;
    for (const declgen::Record& record : records.All()) byName.emplace(record.name, &record);
    for (const declgen::RecordAlias& alias : records.Aliases()) byName.emplace(alias.name, alias.record);

    VbLayouts layouts(List());
    ASSERT_GT(List().types.size(), 3000u);
    int offsetsChecked = 0;
    for (const declgen::VbType& type : List().types) {
        const auto record = byName.find(type.name);
        ASSERT_NE(record, byName.end()) << type.name;
        const declgen::clang::Type c = record->second->declaration.GetType();
        const VbLayouts::Placed placed = layouts.Place(type.name);
        EXPECT_EQ(placed.size, c.SizeOf()) << type.name;
        for (const declgen::clang::Cursor& field : c.Fields()) {
            const auto member = placed.offsets.find(declgen::VbIdentifier(field.Spelling()));
            if (field.IsBitField() || member == placed.offsets.end()) continue;
            EXPECT_EQ(member->second, field.FieldOffsetBits() / 8) << type.name << "." << member->first;
            ++offsetsChecked;
        }
    }
    EXPECT_GT(offsetsChecked, 15000);
}

TEST(GeneratedList, ReachesItsTargetsAgainstTheReference) {
    const declgen::DeclarationFile reference = declgen::ReadDeclarationFile(
        tools::ReadWholeFile<std::string>(std::string(TARNWICK_SHARED_DIR) + "/corpus/win32api.txt"));
    const declgen::ComparisonReport report = declgen::Compare(reference, List());
    EXPECT_TRUE(report.TargetsMet()) << declgen::FormatReport(report, false);
}

}  // namespace
