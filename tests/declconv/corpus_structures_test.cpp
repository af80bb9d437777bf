// Every Type and Enum block of the real declaration files, through the protocol in
// both layouts: no error, no crash, and output of the expected shape.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "jsonl.h"

namespace declconv {
namespace {

using Json = nlohmann::json;

struct Block {
    std::string call, name, data, src;
};

std::vector<Block> CorpusBlocks() {
    std::vector<Block> blocks;
    const std::filesystem::path dir = std::filesystem::path(TARNWICK_SHARED_DIR) / "corpus" / "modern";
    if (!std::filesystem::is_directory(dir)) return blocks;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".jsonl") continue;
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            const Json request = Json::parse(line);
            const std::string call = request.at("call");
            if (call == "GetType" || call == "GetEnum") {
                blocks.push_back({call, request.at("name"), request.at("data"), request.at("src")});
            }
        }
    }
    return blocks;
}

std::string Answer(Backend& backend, const Block& block, int autoFormat) {
    const Json request = {{"call", block.call},
                          {"name", block.name},
                          {"data", block.data},
                          {"options", {{"AutoFormat", autoFormat}}}};
    const auto [answer, ok] = AnswerRequest(backend, request.dump());
    EXPECT_TRUE(ok) << block.src << ": " << answer;
    return Json::parse(answer).at("result");
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", from)) {
        lines.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    lines.push_back(text.substr(from));
    return lines;
}

TEST(CorpusBlocks, ConvertInBothLayouts) {
    const auto blocks = CorpusBlocks();
    if (blocks.empty()) GTEST_SKIP() << "no corpus under " << TARNWICK_SHARED_DIR;
    auto backend = MakeNativeBackend();
    std::set<std::string> failed;
    for (const auto& block : blocks) {
        const std::string sorry = "REM Sorry I could not convert " + block.name;
        const std::string formatted = Answer(*backend, block, -1);
        const std::string packed = Answer(*backend, block, 0);
        if (block.call == "GetEnum") {
            // No option plays a part; one line per member line after the header.
            EXPECT_EQ(formatted, packed) << block.src;
            auto data = block.data;
            while (!data.empty() && static_cast<unsigned char>(data.back()) < 32) data.pop_back();
            const auto lines = SplitLines(formatted);
            EXPECT_EQ(lines.size(), SplitLines(data).size() + 2) << block.src;
            EXPECT_EQ(lines.front(), "REM " + block.name) << block.src;
            EXPECT_EQ(lines.back(), "") << block.src;
            continue;
        }
        if (formatted == sorry) {
            failed.insert(block.name);
            EXPECT_EQ(packed, sorry) << block.src;
            continue;
        }
        const auto lines = SplitLines(formatted);
        EXPECT_EQ(lines.front().rfind("DIM ", 0), 0u) << block.src;
        EXPECT_EQ(lines.back(), "\\    }") << block.src;
        for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind('\\', 0), 0u) << block.src;
        EXPECT_EQ(packed.rfind(lines.front().substr(0, lines.front().size() - 1), 0), 0u) << block.src;
        EXPECT_EQ(packed.back(), '}') << block.src;
        EXPECT_EQ(packed.find("  "), std::string::npos) << block.src;
    }
    EXPECT_EQ(failed, std::set<std::string>{});
}

}  // namespace
}  // namespace declconv
