// GetSub and GetFunc on typical declarations and on 32,767-character worst cases.
#include <benchmark/benchmark.h>

#include <string>

#include "declshift.h"

namespace {

using declshift::Options;

Options With(std::int16_t autoFormat, std::int16_t showParams) {
    Options options;
    options.m_AutoFormat = autoFormat;
    options.m_ShowParams = showParams;
    return options;
}

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// head + as many whole units as fit + tail, padded with "x" before the tail to
// exactly 32,767 characters.
std::u16string Fill(const std::string& head, const std::string& unit, const std::string& tail) {
    constexpr std::size_t kMax = 32767;
    std::string text = head;
    while (text.size() + unit.size() + tail.size() <= kMax) text += unit;
    text.append(kMax - text.size() - tail.size(), 'x');
    return U(text + tail);
}

enum class Call { kSub, kFunc };

void Run(benchmark::State& state, Call call, const Options& options, const std::u16string& data) {
    std::u16string result;
    for (auto _ : state) {
        std::u16string name = u"Proc";
        std::u16string copy = data;
        result = call == Call::kSub ? declshift::GetSub(options, name, copy)
                                    : declshift::GetFunc(options, name, copy);
        benchmark::DoNotOptimize(result);
    }
    state.counters["in_chars"] = static_cast<double>(data.size());
    state.counters["out_chars"] = static_cast<double>(result.size());
    // 1: the failure sentence (a position or count left its 16 bits).
    state.counters["failed"] = result == declshift::FailureSentence(u"Proc") ? 1 : 0;
}

// Typical declarations.
void BM_SubSystemDll(benchmark::State& state) {
    Run(state, Call::kSub, With(-1, 0), U("\"user32\" (bVk As Byte, bScan As Byte, dwFlags&, dwExtraInfo&)"));
}
void BM_FuncBindingPacked(benchmark::State& state) {
    Run(state, Call::kFunc, With(0, -1),
        U("\"version\" Alias \"GetFileVersionInfoSizeA\" (lptstrFilename As String, lpdwHandle&) As Long"));
}
void BM_FuncStructures(benchmark::State& state) {
    Run(state, Call::kFunc, With(-1, 0),
        U("\"vbCapstone.dll\" Alias \"bs_open\" (arch As cs_arch, mode As cs_mode, ByRef hEngine&) As "
          "cs_err"));
}
void BM_FuncStrings(benchmark::State& state) {
    Run(state, Call::kFunc, With(0, 0),
        U("\"kernel32\" Alias \"GetPrivateProfileStringA\" (lpApplicationName As String, lpKeyName As Any, "
          "lpDefault As String, lpReturnedString As String, nSize&, lpFileName As String) As Long"));
}

// 32,767-character worst cases.
void BM_Worst_PlainParameters(benchmark::State& state) {
    Run(state, Call::kSub, With(0, 0), Fill("\"user32\" (", "abc&, ", "z&)"));
}
void BM_Worst_StructureParameters(benchmark::State& state) {
    Run(state, Call::kFunc, With(-1, 0), Fill("\"mine\" (", "lpRect As RECT, ", "z&) As Long"));
}
void BM_Worst_ByRefStructures(benchmark::State& state) {
    Run(state, Call::kFunc, With(-1, -1), Fill("\"mine\" (", "ByRef lpRect As RECT, ", "z&) As Long"));
}
// As many structure parameters as keep every position within 16 bits.
void BM_Worst_StructuresWithinLimits(benchmark::State& state) {
    std::string text = "\"mine\" (";
    for (int i = 0; i < 1000; ++i) text += "ByRef p As T, ";
    Run(state, Call::kFunc, With(-1, 0), U(text + "z&) As Long"));
}
void BM_Worst_StringsWithLengths(benchmark::State& state) {
    Run(state, Call::kFunc, With(0, 0), Fill("\"kernel32\" (", "lpBuf As String, nLen&, ", "z&) As Long"));
}
void BM_Worst_OneLineTypeChain(benchmark::State& state) {
    Run(state, Call::kSub, With(-1, 0), Fill("\"mine\" (x", " As A", ")"));
}
void BM_Worst_OneLineTypeChainWithinLimits(benchmark::State& state) {
    std::string text = "\"mine\" (x";
    for (int i = 0; i < 4000; ++i) text += " As A";
    Run(state, Call::kSub, With(-1, 0), U(text + ")"));
}
void BM_Worst_OneLineClosedTypes(benchmark::State& state) {
    std::string text = "\"mine\" (a";
    for (int i = 0; i < 3200; ++i) text += " As B)";
    Run(state, Call::kSub, With(-1, 0), U(text + ")"));
}
void BM_Worst_LowerCaseChain(benchmark::State& state) {
    Run(state, Call::kSub, With(-1, 0), Fill("\"mine\" (x", " as", " As A)"));
}
void BM_Worst_ByRefWithoutEnd(benchmark::State& state) {
    Run(state, Call::kSub, With(-1, 0), Fill("\"mine\" (", "ByRef ", "x"));
}
// One parameter line per character: each line is rewritten on its own 32,759 times.
void BM_Worst_EmptyParameters(benchmark::State& state) {
    Run(state, Call::kSub, With(0, 0), Fill("\"mine\" (", ",", ""));
}
void BM_Worst_EmptyParametersFunction(benchmark::State& state) {
    Run(state, Call::kFunc, With(0, 0), Fill("\"mine\" (", ",", ""));
}
void BM_Worst_RemarkLines(benchmark::State& state) {
    Run(state, Call::kSub, With(-1, -1), Fill("\"mine\" (", "p:REM\r\n as ", ""));
}
void BM_Worst_LongName(benchmark::State& state) {
    Run(state, Call::kFunc, With(-1, 0), Fill("\"mine\" (", "x", "&) As Long"));
}

}  // namespace

BENCHMARK(BM_SubSystemDll);
BENCHMARK(BM_FuncBindingPacked);
BENCHMARK(BM_FuncStructures);
BENCHMARK(BM_FuncStrings);
BENCHMARK(BM_Worst_PlainParameters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_StructureParameters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_ByRefStructures)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_StructuresWithinLimits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_StringsWithLengths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_OneLineTypeChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_OneLineTypeChainWithinLimits)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_OneLineClosedTypes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_LowerCaseChain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_ByRefWithoutEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_LongName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_EmptyParameters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_EmptyParametersFunction)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Worst_RemarkLines)->Unit(benchmark::kMillisecond);
