// Whole-file figures for declconv convert: how long reading (decoding) and
// splitting a declaration file takes, and the same plus converting every
// declaration through the native backend, for each file of the shared corpus.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "convert.h"
#include "decode.h"
#include "splitter.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void Split(benchmark::State& state, const std::string& bytes) {
    std::size_t requests = 0;
    for (auto _ : state) {
        const auto split = declconv::SplitDeclarations(declconv::DecodeDeclarationFile(bytes).text);
        requests = split.requests.size();
        benchmark::DoNotOptimize(split.requests.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
    state.counters["declarations"] = static_cast<double>(requests);
    state.counters["declarations/s"] =
        benchmark::Counter(static_cast<double>(requests), benchmark::Counter::kIsIterationInvariantRate);
}

void SplitAndConvert(benchmark::State& state, const std::string& bytes) {
    auto backend = declconv::MakeNativeBackend();
    std::ostringstream messages;
    declconv::Tally tally;
    std::size_t outputUnits = 0;
    for (auto _ : state) {
        const auto split = declconv::SplitDeclarations(declconv::DecodeDeclarationFile(bytes).text);
        auto object = backend->NewObject();
        declshift::Options options;
        options.m_AutoFormat = -1;
        object->PutOptions(options);
        std::u16string text;
        tally = {};
        declconv::ConvertRequests(*object, split.requests, "bench", text, tally, messages);
        outputUnits = text.size();
        benchmark::DoNotOptimize(text.data());
        messages.str("");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
    state.counters["converted"] = static_cast<double>(tally.converted);
    state.counters["failed"] = static_cast<double>(tally.failed);
    state.counters["output_chars"] = static_cast<double>(outputUnits);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path corpus = fs::path(TARNWICK_SHARED_DIR) / "corpus";
    for (const char* name : {"win32api.txt", "capstone-mCapStone-enums.bas", "capstone-mx86-enums.bas"}) {
        if (!fs::exists(corpus / name)) {
            std::cerr << "convert_bench: " << (corpus / name).string() << " is missing; not measured\n";
            continue;
        }
        const std::string bytes = ReadAll(corpus / name);
        benchmark::RegisterBenchmark((std::string("Split/") + name).c_str(), [bytes](
                                                                                 benchmark::State& state) {
            Split(state, bytes);
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("SplitAndConvert/") + name).c_str(),
                                     [bytes](benchmark::State& state) { SplitAndConvert(state, bytes); })
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
