// The shared corpus: real declaration files with the requests a host makes of
// them (one JSON object a line) and, in its README, how many of each call and
// how many skipped lines each file gives.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "decode.h"
#include "splitter.h"

namespace declconv {
namespace {

namespace fs = std::filesystem;

struct CorpusCase {
    const char* file;
    const char* requests;
    std::size_t getConst, getType, getEnum, getSub, getFunc;
    std::size_t comments, blank, header;
};

void PrintTo(const CorpusCase& row, std::ostream* out) { *out << row.file; }

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class CorpusTest : public ::testing::TestWithParam<CorpusCase> {
protected:
    void SetUp() override {
        corpus_ = fs::path(TARNWICK_SHARED_DIR) / "corpus";
        if (!fs::exists(corpus_ / GetParam().file)) GTEST_SKIP() << "no corpus at " << corpus_;
        split_ = SplitDeclarations(DecodeDeclarationFile(ReadAll(corpus_ / GetParam().file)).text);
    }

    fs::path corpus_;
    SplitResult split_;
};

TEST_P(CorpusTest, RequestsEqualTheCorpusRequests) {
    std::istringstream expected(ReadAll(corpus_ / GetParam().requests));
    const std::u16string base(GetParam().file, GetParam().file + std::strlen(GetParam().file));
    std::string line;
    std::size_t i = 0;
    for (; std::getline(expected, line); ++i) {
        ASSERT_LT(i, split_.requests.size()) << "missing from line " << i + 1 << ": " << line;
        const auto& request = split_.requests[i];
        const std::string number = std::to_string(request.line);
        const std::string actual =
            RequestJson(request, base + u":" + std::u16string(number.begin(), number.end()));
        // Equal text is equal JSON; otherwise the fields decide, whatever the spacing.
        if (actual != line) {
            ASSERT_EQ(nlohmann::json::parse(actual), nlohmann::json::parse(line)) << "request " << i + 1;
        }
    }
    EXPECT_EQ(i, split_.requests.size()) << "more requests than the corpus has";
}

TEST_P(CorpusTest, CountsMatchTheCorpusReadme) {
    const auto& row = GetParam();
    std::map<std::string, std::size_t> calls;
    for (const auto& request : split_.requests) ++calls[request.call];
    EXPECT_EQ(calls["GetConst"], row.getConst);
    EXPECT_EQ(calls["GetType"], row.getType);
    EXPECT_EQ(calls["GetEnum"], row.getEnum);
    EXPECT_EQ(calls["GetSub"], row.getSub);
    EXPECT_EQ(calls["GetFunc"], row.getFunc);

    std::map<SkipKind, std::size_t> skipped;
    for (const auto& s : split_.skipped) ++skipped[s.kind];
    EXPECT_EQ(skipped[SkipKind::kComment], row.comments);
    EXPECT_EQ(skipped[SkipKind::kBlank], row.blank);
    EXPECT_EQ(skipped[SkipKind::kHeader], row.header);
    EXPECT_EQ(skipped[SkipKind::kOther], 0u);
    EXPECT_EQ(skipped[SkipKind::kMalformed], 0u);
    EXPECT_EQ(skipped[SkipKind::kUnclosed], 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CorpusTest,
    ::testing::Values(CorpusCase{"win32api.txt", "win32api.jsonl", 6407, 419, 1, 39, 1509, 2123, 2478, 0},
                      CorpusCase{"capstone-mCapStone-enums.bas", "capstone-mCapStone-enums.jsonl", 1, 2, 7, 2,
                                 19, 377, 75, 2},
                      CorpusCase{"capstone-mx86-enums.bas", "capstone-mx86-enums.jsonl", 0, 2, 9, 0, 0, 35,
                                 18, 2}),
    [](const auto& row) {
        std::string name = row.param.file;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

}  // namespace
}  // namespace declconv
