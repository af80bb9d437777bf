// Reading mingw-w64's import libraries: the DLL, entry name and argument bytes of
// an import, which of two imports of a name is kept, and damaged archives read
// without a fault.
#include "import_libraries.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_io.h"

namespace {

std::vector<std::uint8_t> Library(const std::string& name) {
    return tools::ReadWholeFile<std::vector<std::uint8_t>>(std::string(DECLGEN_DEFAULT_LIBS) + "/" + name);
}

struct ExportCase {
    const char* label;
    const char* library;
    const char* name;
    declgen::Export expected;
};

void PrintTo(const ExportCase& row, std::ostream* out) { *out << row.label; }

class ImportLibrary : public testing::TestWithParam<ExportCase> {};

TEST_P(ImportLibrary, NamesTheExport) {
    const ExportCase& row = GetParam();
    declgen::ImportLibraries libraries;
    ASSERT_TRUE(libraries.AddArchive(Library(row.library)));
    const declgen::Export* found = libraries.Find(row.name);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->dll, row.expected.dll);
    EXPECT_EQ(found->entry, row.expected.entry);
    EXPECT_EQ(found->argumentBytes, row.expected.argumentBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Mingw, ImportLibrary,
    testing::Values(
        ExportCase{"Stdcall", "libuser32.a", "MessageBoxA", {"USER32.dll", "MessageBoxA", 16}},
        ExportCase{"NoArguments", "libkernel32.a", "GetTickCount64", {"KERNEL32.dll", "GetTickCount64", 0}},
        ExportCase{"CdeclHasNoByteCount", "libuser32.a", "wsprintfA", {"USER32.dll", "wsprintfA", -1}},
        ExportCase{"DriverExtension", "libwinspool.a", "OpenPrinterA", {"WINSPOOL.DRV", "OpenPrinterA", 12}}),
    [](const testing::TestParamInfo<ExportCase>& row) { return std::string(row.param.label); });

// One name imported by two libraries: whichever is read first, the better import wins.
struct PreferenceCase {
    const char* label;
    const char* worse;
    const char* better;
    const char* name;
    declgen::Export expected;
};

void PrintTo(const PreferenceCase& row, std::ostream* out) { *out << row.label; }

class Preference : public testing::TestWithParam<PreferenceCase> {};

TEST_P(Preference, KeepsTheBetterImport) {
    const PreferenceCase& row = GetParam();
    for (const bool betterFirst : {false, true}) {
        declgen::ImportLibraries libraries;
        ASSERT_TRUE(libraries.AddArchive(Library(betterFirst ? row.better : row.worse)));
        ASSERT_TRUE(libraries.AddArchive(Library(betterFirst ? row.worse : row.better)));
        const declgen::Export* found = libraries.Find(row.name);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->dll, row.expected.dll) << betterFirst;
        EXPECT_EQ(found->argumentBytes, row.expected.argumentBytes) << betterFirst;
    }
}

INSTANTIATE_TEST_SUITE_P(Mingw, Preference,
                         testing::Values(PreferenceCase{"ADllOfItsOwnToAnApiSet",
                                                        "libmincore.a",
                                                        "libkernel32.a",
                                                        "GetTickCount64",
                                                        {"KERNEL32.dll", "GetTickCount64", 0}},
                                         PreferenceCase{"ADecoratedNameToAnUndecoratedOne",
                                                        "libshcore.a",
                                                        "libshlwapi.a",
                                                        "SHReleaseThreadRef",
                                                        {"SHLWAPI.dll", "SHReleaseThreadRef", 0}}),
                         [](const testing::TestParamInfo<PreferenceCase>& row) {
                             return std::string(row.param.label);
                         });

TEST(ImportLibraries, DamagedArchivesAreReadWithoutAFault) {
    const std::vector<std::uint8_t> whole = Library("libuser32.a");
    declgen::ImportLibraries libraries;
    EXPECT_FALSE(libraries.AddArchive(std::vector<std::uint8_t>{'n', 'o', 't'}));
    // Cut anywhere and with bytes flipped, the reader may find less, never more.
    for (std::size_t cut = 8; cut < 40000; cut += 331) {
        std::vector<std::uint8_t> damaged(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        for (std::size_t i = 68; i < damaged.size(); i += 97) damaged[i] ^= 0xA5;
        EXPECT_TRUE(libraries.AddArchive(damaged));
    }
    EXPECT_LT(libraries.Size(), 1000u);
}

TEST(ImportLibraries, LibNameAsADeclareWritesIt) {
    EXPECT_EQ(declgen::LibName("USER32.dll"), "user32");
    EXPECT_EQ(declgen::LibName("WINSPOOL.DRV"), "winspool.drv");
}

}  // namespace
