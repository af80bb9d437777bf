// Structure and enumeration conversion on typical blocks and on the 32,767-character
// worst cases of the rewrites that rebuild a line around an insertion point.
#include <benchmark/benchmark.h>

#include <string>

#include "declshift.h"
#include "text.h"

namespace declshift {
namespace {

constexpr std::size_t kLimit = 32767;

Text Ascii(const std::string& s) { return Text(s.begin(), s.end()); }

// Repeats `line` (with a line break behind each copy) while the text stays within `size`.
Text RepeatLines(const Text& line, std::size_t size) {
    Text out;
    while (out.size() + line.size() + 2 <= size) out += line + Text(kCrLf);
    return out;
}

// Pads `text` with untyped member lines to exactly `size` characters.
Text PadTo(Text text, std::size_t size) {
    if (text.size() + 3 <= size) {
        const std::size_t filler = size - text.size() - 3;
        text.append(u"\t").append(filler, u'x').append(kCrLf);
    }
    return text.substr(0, size);
}

void Run(benchmark::State& state, bool enumeration, const Options& options, const Text& data) {
    const Text name = u"BENCH";
    std::size_t failures = 0;
    for (auto _ : state) {
        const Text result = enumeration ? GetEnum(options, name, data) : GetType(options, name, data);
        if (result.rfind(u"REM Sorry", 0) == 0) ++failures;
        benchmark::DoNotOptimize(result);
    }
    state.counters["chars"] = static_cast<double>(data.size());
    state.counters["failed"] = failures == 0 ? 0 : 1;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size() * sizeof(char16_t)));
}

Options WithAutoFormat(std::int64_t flag) {
    Options options;
    options.m_AutoFormat = static_cast<std::int16_t>(flag);
    return options;
}

// Typical blocks.

const Text kTypical = Ascii(
    "\tdwSize As Long\r\n\tszName As String * 32   ' display name\r\n\tszPath As String * MAX_PATH\r\n"
    "\tbData(0 To 15) As Byte\r\n\tdwVals(1 To 4) As Long\r\n\taPts(3) As POINTAPI\r\n\twFlags As Integer");

Text FortyMembers() {
    Text out;
    for (int i = 0; i < 40; ++i) out += Ascii("\tMember" + std::to_string(i) + " As Long   ' comment\r\n");
    return out;
}

Text LargeEnum(int members) {
    Text out;
    for (int i = 0; i < members; ++i)
        out += Ascii("\tX86_INS_" + std::to_string(i) + " = " + std::to_string(i) + "\r\n");
    return out;
}

void BM_GetType_Typical(benchmark::State& state) {
    Run(state, false, WithAutoFormat(state.range(0)), kTypical);
}
void BM_GetType_FortyMembers(benchmark::State& state) {
    Run(state, false, WithAutoFormat(state.range(0)), FortyMembers());
}
void BM_GetEnum_Typical(benchmark::State& state) {
    Run(state, true, {},
        Ascii("\tSW_HIDE = 0\r\n\tSW_SHOWNORMAL=1   ' also SW_NORMAL\r\n\tSW_MAX = &HA\r\n"
              "\tTOPMOST = 4\r\n\tDEFAULT_X = (TOPMOST + 1)\r\n\tLAST_ONE\r\n"));
}
void BM_GetEnum_1300Members(benchmark::State& state) { Run(state, true, {}, LargeEnum(1300)); }

// 32,767-character worst cases.

// Fixed strings with a comment each (so the apostrophe search stays within 16 bits)
// followed by filler: every fixed string is rewritten and the text stays convertible.
void BM_GetType_FixedStrings(benchmark::State& state) {
    Run(state, false, WithAutoFormat(state.range(0)),
        PadTo(RepeatLines(u"\ta As String * 1 '", 31000), kLimit));
}
// One line that holds fixed strings one behind the other: every round rewrites the
// same line. Each round adds two characters, so the chain starts short enough to end
// within 32,767.
void BM_GetType_FixedStringChain(benchmark::State& state) {
    Text line = u"\tx";
    while ((line.size() + 13) * 15 / 13 + 3 <= kLimit) line += u" As String * ";
    Run(state, false, WithAutoFormat(state.range(0)), line + u"1 '");
}
// Fixed strings all the way: the later ones land beyond position 32,767 and fail.
void BM_GetType_FixedStringsOverflow(benchmark::State& state) {
    Run(state, false, WithAutoFormat(state.range(0)),
        PadTo(RepeatLines(u"\ta As String * 1 '", kLimit), kLimit));
}
// A long run of blanks in front of a comment: the comment tidying repeats per blank.
void BM_GetType_CommentBlanks(benchmark::State& state) {
    const Text head = u"\ta As Long";
    Run(state, false, WithAutoFormat(state.range(0)),
        head + Text(kLimit - head.size() - 6, u' ') + u"'    x");
}
// Many short members.
void BM_GetType_ManyMembers(benchmark::State& state) {
    Run(state, false, WithAutoFormat(state.range(0)),
        PadTo(RepeatLines(u"\tm(1 To 2) As RECT", kLimit), kLimit));
}
// One line of names that all begin with a keyword: every one gains "_".
void BM_GetEnum_KeywordLine(benchmark::State& state) {
    Text line = u"A = TO";
    while (line.size() + 3 <= kLimit) line += u" TO";
    Run(state, true, {}, line);
}
// As many one-letter members as fit.
void BM_GetEnum_ManyLines(benchmark::State& state) { Run(state, true, {}, RepeatLines(u"A", kLimit)); }
// Every member references a keyword name through "(", "=" and " ".
void BM_GetEnum_KeywordMembers(benchmark::State& state) {
    Run(state, true, {}, RepeatLines(u"\tTOP=(TOP OR ORIGIN)", kLimit));
}

BENCHMARK(BM_GetType_Typical)->Arg(-1)->Arg(0);
BENCHMARK(BM_GetType_FortyMembers)->Arg(-1)->Arg(0);
BENCHMARK(BM_GetEnum_Typical);
BENCHMARK(BM_GetEnum_1300Members);
BENCHMARK(BM_GetType_FixedStrings)->Arg(-1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetType_FixedStringChain)->Arg(-1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetType_FixedStringsOverflow)->Arg(-1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetType_CommentBlanks)->Arg(-1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetType_ManyMembers)->Arg(-1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetEnum_KeywordLine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetEnum_ManyLines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetEnum_KeywordMembers)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace declshift
