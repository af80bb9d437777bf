// The program image that a package starts with: what mkupgrade accepts as a stub.
#include "package.h"

#include <gtest/gtest.h>

#include <functional>

#include "aplib/format.h"

namespace mkupgrade {
namespace {

struct ProgramCase {
    const char* label;
    std::function<void(Bytes&)> change;  // applied to a bare i386 GUI program
    const char* result;                  // what Describe says, or the reason it is refused
};

void PrintTo(const ProgramCase& row, std::ostream* out) { *out << row.label; }

class ProgramTest : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramTest, IsAcceptedOrRefusedWithTheCheckThatFailed) {
    Bytes image = BareProgram(0x14C, 2);
    GetParam().change(image);
    std::string result;
    try {
        result = Describe(CheckProgram(image));
    } catch (const PackageError& e) {
        result = e.what();
    }
    EXPECT_EQ(result, GetParam().result);
}

constexpr std::size_t kPe = 0x40;  // where BareProgram puts the PE signature

INSTANTIATE_TEST_SUITE_P(
    Stubs, ProgramTest,
    ::testing::Values(
        ProgramCase{"i386_gui", [](Bytes&) {}, "i386, Windows GUI"},
        ProgramCase{"amd64_console", [](Bytes& b) { b = BareProgram(0x8664, 3); }, "AMD64, Windows console"},
        ProgramCase{"text", [](Bytes& b) { b.assign(100, 'x'); }, "not a Windows program: no MZ header"},
        ProgramCase{"too_short_for_mz", [](Bytes& b) { b.resize(0x3F); },
                    "not a Windows program: no MZ header"},
        ProgramCase{"pe_offset_beyond", [](Bytes& b) { aplib::format::StoreLe32(&b[0x3C], 0xFFFFFFF0u); },
                    "not a Windows program: its PE header lies beyond the file"},
        ProgramCase{"headers_cut", [](Bytes& b) { b.pop_back(); },
                    "not a Windows program: its PE header lies beyond the file"},
        ProgramCase{"no_signature", [](Bytes& b) { b[kPe + 2] = 'x'; },
                    "not a Windows program: no PE signature"},
        ProgramCase{"arm64", [](Bytes& b) { b = BareProgram(0xAA64, 2); },
                    "not a Windows program: machine 43620 is neither i386 (332) nor AMD64 (34404)"},
        ProgramCase{"no_optional_header", [](Bytes& b) { b[kPe + 20] = 0; },
                    "not a Windows program: no valid optional header"},
        ProgramCase{"native_subsystem", [](Bytes& b) { b = BareProgram(0x14C, 1); },
                    "not a Windows program: subsystem 1 is neither Windows GUI (2) nor console (3)"},
        ProgramCase{"efi_subsystem", [](Bytes& b) { b = BareProgram(0x8664, 10); },
                    "not a Windows program: subsystem 10 is neither Windows GUI (2) nor console (3)"}),
    [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace mkupgrade
