// declgen on the whole Windows API with the default settings: the wall time of one
// run (the target is at most 10 s on 2 cores) and the CPU time of all its threads,
// which a busy machine does not inflate; and the comparison with Visual Basic's own
// declaration file.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "compare.h"
#include "declaration_file.h"
#include "file_io.h"
#include "generate.h"

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

declgen::GenerateSettings Defaults() {
    declgen::GenerateSettings settings;
    settings.scan = {DECLGEN_DEFAULT_INCLUDE, DECLGEN_CLANG_RESOURCE_DIR, declgen::DefaultHeaders(), 0x0A00};
    settings.libsDir = DECLGEN_DEFAULT_LIBS;
    return settings;
}

void WholeApi(benchmark::State& state) {
    const declgen::GenerateSettings settings = Defaults();
    double cpu = 0;
    declgen::Summary summary;
    for (auto _ : state) {
        const double before = ProcessCpuSeconds();
        const declgen::Generated generated = declgen::Generate(settings);
        cpu += ProcessCpuSeconds() - before;
        summary = generated.summary;
        benchmark::DoNotOptimize(generated.text.data());
    }
    state.counters["cpu_s_all_threads"] = cpu / static_cast<double>(state.iterations());
    state.counters["procedures"] = summary.procedures;
    state.counters["structures"] = summary.structures;
    state.counters["constants"] = summary.constants;
    state.counters["enumerations"] = summary.enumerations;
}
BENCHMARK(WholeApi)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void CompareWithReference(benchmark::State& state) {
    const auto reference = declgen::ReadDeclarationFile(
        tools::ReadWholeFile<std::string>(std::string(TARNWICK_SHARED_DIR) + "/corpus/win32api.txt"));
    const auto generated = declgen::ReadDeclarationFile(declgen::Generate(Defaults()).text);
    for (auto _ : state) benchmark::DoNotOptimize(declgen::Compare(reference, generated).targets.data());
}
BENCHMARK(CompareWithReference)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
