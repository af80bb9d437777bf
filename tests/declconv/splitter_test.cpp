#include "splitter.h"

#include <gtest/gtest.h>

#include <fstream>

#include "named_rows.h"

namespace declconv {
namespace {

// A request written as its JSON line with the line number as src, so that a
// mismatch shows every character.
std::string Show(const Request& r) {
    const std::string line = std::to_string(r.line);
    return RequestJson(r, std::u16string(line.begin(), line.end()));
}

// kind@line for skipped lines, error@line and warning@line for notes, in order.
std::string Show(const SplitResult& result) {
    static constexpr const char* kNames[] = {"comment",   "blank",       "header",    "other",
                                             "directive", "notcompiled", "malformed", "unclosed"};
    std::string out;
    for (const auto& s : result.skipped) {
        out += (out.empty() ? "" : " ") + std::string(kNames[static_cast<int>(s.kind)]) + "@" +
               std::to_string(s.line);
    }
    for (const auto& note : result.notes) {
        out += std::string(out.empty() ? "" : " ") + (note.error ? "error@" : "warning@") +
               std::to_string(note.line);
    }
    return out;
}

struct SplitCase {
    std::string label;
    std::u16string text;
    std::vector<std::string> requests;  // as Show() writes them
    std::string skipped;                // as Show() writes it
};

// The text line of a case: \r, \n, \t, \\ and \uXXXX escapes in ASCII.
std::u16string Unescape(const std::string& line) {
    std::u16string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 == line.size()) {
            text.push_back(static_cast<unsigned char>(line[i]));
            continue;
        }
        const char kind = line[++i];
        if (kind == 'u') {
            text.push_back(static_cast<char16_t>(std::stoul(line.substr(i + 1, 4), nullptr, 16)));
            i += 4;
        } else {
            text.push_back(kind == 'r' ? u'\r' : kind == 'n' ? u'\n' : kind == 't' ? u'\t' : char16_t(kind));
        }
    }
    return text;
}

std::vector<SplitCase> ReadCases() {
    std::ifstream in(TARNWICK_SPLITTER_CASES, std::ios::binary);
    std::vector<SplitCase> cases;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("== ", 0) == 0) {
            std::string text;
            std::getline(in, text);
            if (!text.empty() && text.back() == '\r') text.pop_back();
            cases.push_back({line.substr(3), Unescape(text), {}, {}});
        } else if (line.rfind("skipped:", 0) == 0 && !cases.empty()) {
            cases.back().skipped = line.substr(line.size() > 8 ? 9 : 8);
        } else if (!line.empty() && line[0] == '{' && !cases.empty()) {
            cases.back().requests.push_back(line);
        }
    }
    return cases;
}

void PrintTo(const SplitCase& row, std::ostream* out) { *out << row.label; }

class SplitterTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitterTest, HandsOverWhatAHostWould) {
    const auto& row = GetParam();
    const SplitResult result = SplitDeclarations(row.text);
    std::vector<std::string> requests;
    for (const auto& r : result.requests) requests.push_back(Show(r));
    EXPECT_EQ(requests, row.requests);
    EXPECT_EQ(Show(result), row.skipped);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitterTest, ::testing::ValuesIn(ReadCases()), kRowName);
TEST(SplitterCases, AreAllRead) { EXPECT_EQ(ReadCases().size(), 51u); }

struct ConditionCase {
    const char* label;
    const char16_t* expression;
    std::int64_t value;  // or, when error is set, the error's text
    const char* error = "";
};

class ConditionTest : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(ConditionTest, EvaluatesAsVisualBasicDoes) {
    auto constants = CompilationConstants::Defaults();
    constants.DefineFromText("Two=2");
    try {
        EXPECT_EQ(EvaluateCondition(GetParam().expression, constants), GetParam().value);
        EXPECT_STREQ("", GetParam().error);
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, ConditionTest,
    ::testing::Values(
        ConditionCase{"true_is_minus_one", u"WIN32", -1},
        ConditionCase{"undefined_is_zero", u"Win64 Or VBA7 Or Mac Or Win16 Or VBA6 Or Nothing", 0},
        ConditionCase{"not_is_bitwise", u"Not Two", -3},
        ConditionCase{"precedence", u"Not 1 = 2 And Two Or 4 Xor 1", 7},
        ConditionCase{"parentheses", u"(Two Or 1) And (5 Xor 1)", 0},
        ConditionCase{"no_arithmetic", u"Two * 0", 0, "unexpected \"* 0\""},
        ConditionCase{"every_comparison", u"(1<2)And(2<=2)And(3>2)And(2>=2)And(1<>2)And(-2=-Two)", -1},
        ConditionCase{"false_comparison", u"1 > 2 Or 2 <= 1 Or 1 >= 2 Or 1 <> 1 Or 1 = 2", 0},
        ConditionCase{"hex_is_16_bit_when_it_fits", u"&HFFFF", -1},
        ConditionCase{"hex_long", u"&HFFFF& = 65535 And &H10000 = 65536 And &O17 = 15", -1},
        ConditionCase{"number_too_large", u"4294967296", 0, "number too large"},
        ConditionCase{"operand_missing", u"1 And", 0, "an operand is missing"},
        ConditionCase{"keyword_as_operand", u"Or 1", 0, "an operand is missing before \"Or\""},
        ConditionCase{"unclosed_parenthesis", u"(1", 0, "\")\" is missing"},
        ConditionCase{"malformed_number", u"12ab", 0, "malformed number"}),
    kRowName);

TEST(RequestJson, WritesTheCorpusForm) {
    const Request request{Call::kGetType, u"T", u"\ta \"q\" \\ \u00e9\U0001F600\x01\x7f\r\n", 7};
    EXPECT_EQ(
        RequestJson(request, u"f.txt:7"),
        R"({"call": "GetType", "name": "T", "data": "\ta \"q\" \\ \u00e9\ud83d\ude00\u0001\u007f\r\n", )"
        R"("options": {}, "src": "f.txt:7"})");
}

}  // namespace
}  // namespace declconv
