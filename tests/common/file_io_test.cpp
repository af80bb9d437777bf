// The file helpers every tool shares: the system's reasons, the size limit checked
// before reading, and a target that stays as it was when it cannot be replaced.
#include "file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class FileIo : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("tarnwick_file_io_" + std::string(info->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::string Read(const std::string& path) { return tools::ReadWholeFile<std::string>(path); }
    std::vector<std::string> Entries() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path dir_;
};

std::string ReasonOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const tools::FileError& e) {
        return e.reason();
    }
    return "no error";
}

TEST_F(FileIo, ReadsWholeFilesAndNamesWhatIsWrong) {
    const std::string binary("a\0b\r\n\xFF", 6);
    EXPECT_EQ(Read(Write("binary", binary)), binary);
    EXPECT_EQ(Read(Write("empty", "")), "");
    EXPECT_EQ((tools::ReadWholeFile<std::vector<std::uint8_t>>(Write("bytes", "xyz"))),
              (std::vector<std::uint8_t>{'x', 'y', 'z'}));

    EXPECT_EQ(ReasonOf([&] { Read((dir_ / "missing").string()); }), "No such file or directory");
    EXPECT_EQ(ReasonOf([&] { Read(dir_.string()); }), "Is a directory");
    try {
        Read((dir_ / "missing").string());
    } catch (const tools::FileError& e) {
        EXPECT_EQ(std::string(e.what()), (dir_ / "missing").string() + ": No such file or directory");
    }
}

TEST_F(FileIo, RefusesFilesAtTheLimitBeforeReadingThem) {
    const std::string path = Write("ten", "0123456789");
    EXPECT_EQ(tools::ReadWholeFile<std::string>(path, 11), "0123456789");
    EXPECT_EQ(ReasonOf([&] { tools::ReadWholeFile<std::string>(path, 10); }),
              "too large (10 bytes; the limit is 9 bytes)");
#ifndef _WIN32
    // A sparse file of 2 GiB: refused from its size, so no memory is taken for it.
    const std::string huge = Write("huge", "");
    fs::resize_file(huge, std::uint64_t{1} << 31);
    EXPECT_EQ(ReasonOf([&] { tools::ReadWholeFile<std::string>(huge, std::uint64_t{1} << 31); }),
              "too large (2147483648 bytes; the limit is 2147483647 bytes)");
#endif
}

TEST_F(FileIo, ReplacesTheTargetWholeOrNotAtAll) {
    const std::string target = Write("out", "old");
    tools::WriteFileAtomically(target, std::string_view("new\r\n"));
    EXPECT_EQ(Read(target), "new\r\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"out"});

    // Targets that cannot be written: the reason comes back and nothing is left behind.
    EXPECT_EQ(
        ReasonOf([&] { tools::WriteFileAtomically((dir_ / "no" / "out").string(), std::string_view("x")); }),
        "No such file or directory");
    EXPECT_EQ(ReasonOf([&] { tools::WriteFileAtomically(dir_.string(), std::string_view("x")); }),
              "Is a directory");
    EXPECT_EQ(Read(target), "new\r\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"out"});
}

TEST_F(FileIo, KnowsOneFileUnderTwoNames) {
    const std::string file = Write("a", "x");
    EXPECT_TRUE(tools::SameFile(file, (dir_ / "." / "a").string()));
    EXPECT_FALSE(tools::SameFile(file, Write("b", "x")));
    EXPECT_FALSE(tools::SameFile(file, (dir_ / "missing").string()));
#ifndef _WIN32
    fs::create_hard_link(file, dir_ / "link");
    EXPECT_TRUE(tools::SameFile(file, (dir_ / "link").string()));
#endif
}

}  // namespace
