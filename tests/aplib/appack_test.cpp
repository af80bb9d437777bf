// appack as a process: exit status, messages, and files left behind.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "vectors.h"

namespace aplib::testing {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string output;  // standard output and error
};

class AppackTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("appack_test_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    Outcome Appack(const std::string& args) {
        const fs::path log = dir_ / "log.txt";
        const std::string command = std::string(APPACK_PATH) + " " + args + " >" + log.string() + " 2>&1";
        const int raw = std::system(command.c_str());
        const Bytes bytes = ReadFile(log);
        fs::remove(log);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(bytes.begin(), bytes.end())};
    }

    std::string Vec(const std::string& relative) { return (VectorDir() / relative).string(); }
    std::string Tmp(const std::string& name) { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(AppackTest, PackThenUnpackGivesTheInputBack) {
    ASSERT_EQ(Appack("pack " + Vec("text_100k.bin") + " " + Tmp("t.aps")).status, 0);
    const Outcome check = Appack("check " + Tmp("t.aps"));
    EXPECT_EQ(check.status, 0);
    EXPECT_NE(check.output.find("ok"), std::string::npos) << check.output;
    ASSERT_EQ(Appack("unpack " + Tmp("t.aps") + " " + Tmp("t.bin")).status, 0);
    EXPECT_TRUE(ReadFile(Tmp("t.bin")) == ReadVector("text_100k.bin"));
}

TEST_F(AppackTest, UnpacksAReferenceBlock) {
    ASSERT_EQ(Appack("unpack " + Vec("ls.aps") + " " + Tmp("ls")).status, 0);
    EXPECT_TRUE(ReadFile(Tmp("ls")) == ReadVector("ls.bin"));
}

TEST_F(AppackTest, ReplacesAnExistingOutputWhole) {
    { std::ofstream(Tmp("out")) << std::string(100000, 'x'); }
    ASSERT_EQ(Appack("unpack " + Vec("ext_fox.aps") + " " + Tmp("out")).status, 0);
    EXPECT_TRUE(ReadFile(Tmp("out")) == ReadVector("ext_fox.bin"));
}

TEST_F(AppackTest, RefusesEmptyInput) {
    { std::ofstream(Tmp("empty")); }
    const Outcome r = Appack("pack " + Tmp("empty") + " " + Tmp("e.aps"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("empty input"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(Tmp("e.aps")));
}

TEST_F(AppackTest, ReportsAMissingInput) {
    const Outcome r = Appack("unpack " + Tmp("absent") + " " + Tmp("out"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("appack: " + Tmp("absent") + ": No such file or directory"), std::string::npos) << r.output;
}

TEST_F(AppackTest, RejectsABadCommandLine) {
    EXPECT_EQ(Appack("").status, 2);
    EXPECT_EQ(Appack("pack onlyone").status, 2);
    EXPECT_EQ(Appack("squash a b").status, 2);
}

struct BadFileCase {
    const char* file;
    const char* message;  // part of the error message
};

void PrintTo(const BadFileCase& row, std::ostream* out) { *out << row.file; }

class AppackBadFileTest : public AppackTest, public ::testing::WithParamInterface<BadFileCase> {};

// A damaged block fails check and unpack, and unpack leaves an existing output alone
// with no temporary file behind.
TEST_P(AppackBadFileTest, FailsAndLeavesTheOutputAlone) {
    const std::string in = Vec(std::string("bad/") + GetParam().file);
    const Outcome check = Appack("check " + in);
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.output.find(GetParam().message), std::string::npos) << check.output;
    { std::ofstream(Tmp("out")) << "old"; }
    EXPECT_EQ(Appack("unpack " + in + " " + Tmp("out")).status, 1);
    EXPECT_EQ(ReadFile(Tmp("out")), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Vectors, AppackBadFileTest,
                         ::testing::Values(BadFileCase{"bad_tag.aps", "tag"},
                                           BadFileCase{"bad_hdrsize.aps", "header size"},
                                           BadFileCase{"short_header.aps", "shorter than its header"},
                                           BadFileCase{"truncated.aps", "packed size"},
                                           BadFileCase{"packed_size_too_big.aps", "packed size"},
                                           BadFileCase{"bad_packed_crc.aps", "CRC of the packed"},
                                           BadFileCase{"bad_orig_size.aps", "another size"},
                                           BadFileCase{"bad_orig_crc.aps", "CRC of the unpacked"}));

}  // namespace
}  // namespace aplib::testing
