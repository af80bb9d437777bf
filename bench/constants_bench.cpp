// GetConst and Preview on typical declarations and GetConst on 32,767-character worst cases.
#include <benchmark/benchmark.h>

#include <string>

#include "declshift.h"

namespace {

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string Repeat(const std::string& unit, std::size_t length) {
    std::string text;
    while (text.size() + unit.size() <= length) text += unit;
    text.append(length - text.size(), 'x');
    return U(text);
}

void Const(benchmark::State& state, std::u16string name, std::u16string value) {
    for (auto _ : state) {
        std::u16string copy = name;
        auto result = declshift::GetConst(declshift::Options{}, copy, value);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(value.size() * 2));
}

void Preview(benchmark::State& state) {
    declshift::Options options;
    options.m_AutoFormat = options.m_ExplConst = options.m_ShowParams = -1;
    for (auto _ : state) benchmark::DoNotOptimize(declshift::Preview(options));
}

}  // namespace

BENCHMARK_CAPTURE(Const, typical_hex, U("WM_USER"), U("&H400"));
BENCHMARK_CAPTURE(Const, typical_expression, U("TOKEN_ALL_ACCESS As Long"),
                  U("STANDARD_RIGHTS_REQUIRED Or TOKEN_ASSIGN_PRIMARY Or TOKEN_DUPLICATE"));
// Every word a keyword reference: the walk calls the keyword test at each one.
BENCHMARK_CAPTURE(Const, worst_keyword_words_32767, U("BIG"), Repeat("TOP Or ", 32767));
BENCHMARK_CAPTURE(Const, worst_one_letter_words_32767, U("BIG"), Repeat("(a ", 32767));
BENCHMARK_CAPTURE(Const, worst_string_32767, U("S"), U("\"") + Repeat(" Or &H", 32765) + U("\""));
BENCHMARK(Preview);
