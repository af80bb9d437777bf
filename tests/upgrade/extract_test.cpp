// The upgrade routine end to end on real files, through the POSIX stand-in of the
// Win32 calls: every failure path, and every buffer released on each of them.
#include "extract.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "package.h"
#include "posix_platform.h"

namespace upgrade {
namespace {

namespace fs = std::filesystem;
using Bytes = mkupgrade::Bytes;
using P = PosixPlatform;

Bytes MixedData(std::size_t size, unsigned seed) {
    Bytes data(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = (i / 64) % 3 == 0 ? static_cast<std::uint8_t>("upgrade text "[i % 13])
                                    : static_cast<std::uint8_t>(x >> 24);
    }
    return data;
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

const Bytes kStub = mkupgrade::BareProgram(0x14C, 2);
const Bytes kIde = MixedData(20000, 2);
const Bytes kRuntime = MixedData(15000, 3);

struct Scenario {
    const char* label;
    std::function<void(Bytes& package)> damage;  // changes the package before the run
    std::function<void()> inject;                // sets failure knobs of the platform
    int expectedCode;
    bool ideLeft;
    bool runtimeLeft;
    bool targetMissing = false;
};

void PrintTo(const Scenario& row, std::ostream* out) { *out << row.label; }

class UpgradeTest : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        root_ = fs::temp_directory_path() / ("upgrade_test_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "target");
        fs::create_directories(root_ / "elsewhere");
        fs::current_path(root_ / "elsewhere");
        P::Reset();
    }
    void TearDown() override {
        P::Reset();
        fs::current_path(previous_);
        fs::remove_all(root_);
    }
    fs::path previous_, root_;
};

TEST_P(UpgradeTest, WritesBothFilesOrFailsCleanly) {
    const auto& c = GetParam();
    Bytes package = mkupgrade::BuildPackage(kStub, kIde, kRuntime);
    c.damage(package);
    WriteAll(root_ / "package.exe", package);
    P::packagePath = (root_ / "package.exe").string();
    const fs::path target = root_ / (c.targetMissing ? "missing" : "target");
    const std::string line = "upgrade.exe " + target.string();
    // Existing files are replaced, never appended to.
    WriteAll(root_ / "target" / kIdeFile, Bytes(10, 0xEE));
    WriteAll(root_ / "target" / kRuntimeFile, Bytes(10, 0xEE));
    if (c.expectedCode != 0) {
        fs::remove(root_ / "target" / kIdeFile);
        fs::remove(root_ / "target" / kRuntimeFile);
    }
    c.inject();

    EXPECT_EQ(Upgrade<P>(line.c_str()), c.expectedCode);
    EXPECT_EQ(P::liveAllocations, 0) << "a buffer was not released";
    EXPECT_EQ(fs::exists(root_ / "target" / kIdeFile), c.ideLeft);
    EXPECT_EQ(fs::exists(root_ / "target" / kRuntimeFile), c.runtimeLeft);
    EXPECT_TRUE(fs::is_empty(root_ / "elsewhere")) << "files landed outside the target";
    if (c.ideLeft) {
        EXPECT_EQ(ReadAll(root_ / "target" / kIdeFile), kIde);
    }
    if (c.runtimeLeft) {
        EXPECT_EQ(ReadAll(root_ / "target" / kRuntimeFile), kRuntime);
    }
}

const auto kNoDamage = [](Bytes&) {};
const auto kNoInjection = [] {};
std::size_t Segment2(const Bytes& package) { return mkupgrade::ReadTrailer(package).o2; }

INSTANTIATE_TEST_SUITE_P(
    Scenarios, UpgradeTest,
    ::testing::Values(
        Scenario{"success", kNoDamage, kNoInjection, 0, true, true},
        Scenario{"segment1_corrupt", [](Bytes& p) { p[kStub.size() + 40] ^= 1; }, kNoInjection, 8, false,
                 false},
        Scenario{"segment2_corrupt", [](Bytes& p) { p[Segment2(p) + 40] ^= 1; }, kNoInjection, 9, false,
                 false},
        Scenario{"segment1_header_damaged", [](Bytes& p) { p[kStub.size()] = 'X'; }, kNoInjection, 8, false,
                 false},
        Scenario{"trailer_offsets_reversed",
                 [](Bytes& p) {
                     const auto trailer = mkupgrade::ReadTrailer(p);
                     PutLe32(p, p.size() - 8, trailer.o2);
                     PutLe32(p, p.size() - 4, trailer.o1);
                 },
                 kNoInjection, 8, false, false},
        Scenario{"offsets_past_the_end",
                 [](Bytes& p) { PutLe32(p, p.size() - 4, static_cast<std::uint32_t>(p.size() + 1000)); },
                 kNoInjection, 8, false, false},
        Scenario{"segment2_past_the_trailer",
                 [](Bytes& p) { PutLe32(p, p.size() - 4, static_cast<std::uint32_t>(p.size() - 4)); },
                 kNoInjection, 9, false, false},
        Scenario{"segment_shorter_than_a_header",
                 [](Bytes& p) { PutLe32(p, p.size() - 8, mkupgrade::ReadTrailer(p).o2 - 10); }, kNoInjection,
                 8, false, false},
        Scenario{"package_shorter_than_a_trailer", [](Bytes& p) { p.resize(5); }, kNoInjection, 8, false,
                 false},
        Scenario{"target_missing", kNoDamage, kNoInjection, 6, false, false, true},
        Scenario{"no_memory_for_segment1", kNoDamage, [] { P::mallocsLeft = 0; }, 8, false, false},
        Scenario{"no_memory_for_unpacked1", kNoDamage, [] { P::mallocsLeft = 1; }, 8, false, false},
        Scenario{"no_memory_for_segment2", kNoDamage, [] { P::mallocsLeft = 2; }, 9, false, false},
        Scenario{"no_memory_for_unpacked2", kNoDamage, [] { P::mallocsLeft = 3; }, 9, false, false},
        Scenario{"disk_full_in_segment1", kNoDamage, [] { P::diskSpace = 1000; }, 8, false, false},
        Scenario{"disk_full_in_segment2", kNoDamage,
                 [] { P::diskSpace = static_cast<long long>(kIde.size()) + 1000; }, 9, false, false},
        Scenario{"disk_exactly_full", kNoDamage,
                 [] { P::diskSpace = static_cast<long long>(kIde.size() + kRuntime.size()); }, 0, true,
                 true}),
    [](const auto& row) { return std::string(row.param.label); });

TEST(UpgradeOpen, MissingPackageIsCode7) {
    P::Reset();
    P::packagePath = "/nonexistent/upgrade.exe";
    EXPECT_EQ(Upgrade<P>("upgrade.exe"), kCannotOpenPackage);
    EXPECT_EQ(P::liveAllocations, 0);
}

}  // namespace
}  // namespace upgrade
