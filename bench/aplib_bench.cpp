// Speed of the depacker on every shared vector, and speed and size of the packer against
// the reference raw sizes listed in the vectors' README (made with an optimal parse).
//
//   build/release/bench/aplib_bench
//
// Depack/NAME: raw stream, all bounds checks on. SafeDepack/NAME: the same plus both CRCs.
// GrowingDepack/NAME: a safe block into output that takes memory as it is produced.
// Pack/NAME: `wall_MBps` input MB (10^6) per second of wall-clock time (large inputs are
// parsed on two threads; bytes_per_second counts the main thread's CPU time, which
// includes its polling while it waits for the other),
// `packed` our raw size, `reference` the README's, `vs_reference` their ratio (1.02 is
// the limit we hold to).
// PackKind/KIND: the same on 16 MB of a kind of data that costs the packer most (the
// target is 10 MB/s on two cores): random bytes; hexadecimal digits, or letters of a
// 4-letter alphabet, at random in lines, where every position has short matches far back
// or many near; words of a small vocabulary in random order.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "aplib/aplib.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Vector {
    const char* name;
    std::size_t referenceRaw;
};

constexpr Vector kVectors[] = {
    {"one", 3},         {"two", 4},        {"short_text", 80},    {"text_100k", 28250},
    {"ls", 63757},      {"zeros_1m", 9},   {"random_64k", 72319}, {"offsets", 328037},
    {"bigwin", 474820}, {"ext_hello", 13}, {"ext_fox", 46},
};

std::string Path(const char* name, const char* ext) {
    return std::string(APLIB_VECTOR_DIR) + "/" + name + ext;
}

// The three ways in: a raw stream into a caller's buffer, a safe block into a caller's
// buffer (both CRCs on top), and a safe block into output that grows as it is produced.
enum class Entry { kRaw, kSafe, kGrowing };

void Depack(benchmark::State& state, const char* name, Entry entry) {
    const Bytes input = ReadFile(Path(name, entry == Entry::kRaw ? ".apraw" : ".aps"));
    const Bytes orig = ReadFile(Path(name, ".bin"));
    Bytes out(orig.size());
    for (auto _ : state) {
        std::size_t produced = 0;
        if (entry == Entry::kRaw) {
            const aplib::RawResult r = aplib::DepackRaw(input, out);
            produced = r.status == aplib::Status::kOk ? r.produced : 0;
        } else if (entry == Entry::kSafe) {
            produced = aplib::SafeDepack(input, out).size;
        } else {
            aplib::Output grown;
            produced = aplib::SafeDepack(input, grown, orig.size()).size;
            benchmark::DoNotOptimize(grown.Bytes().data());
        }
        if (produced != orig.size()) state.SkipWithError("depack failed");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (entry != Entry::kGrowing && out != orig) state.SkipWithError("wrong output");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(orig.size()));
}

// Packs `orig` once an iteration and reports the packed size and the speed: input
// megabytes (10^6) per second of wall-clock time, both threads' work included. Returns
// the packed size.
std::size_t PackAndReport(benchmark::State& state, const Bytes& orig) {
    std::size_t packed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const Bytes raw = aplib::PackRaw(orig);
        packed = raw.size();
        benchmark::DoNotOptimize(raw.data());
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(orig.size()));
    state.counters["packed"] = static_cast<double>(packed);
    state.counters["wall_MBps"] =
        static_cast<double>(state.iterations()) * static_cast<double>(orig.size()) / wall.count() / 1e6;
    return packed;
}

void Pack(benchmark::State& state, Vector v) {
    const std::size_t packed = PackAndReport(state, ReadFile(Path(v.name, ".bin")));
    state.counters["reference"] = static_cast<double>(v.referenceRaw);
    state.counters["vs_reference"] = static_cast<double>(packed) / static_cast<double>(v.referenceRaw);
}

// `size` bytes of the kind, the same on every run and platform (the generator's output is
// fixed by the standard; its distributions are not, so none is used).
Bytes MakeKind(std::string_view kind, std::size_t size) {
    std::mt19937_64 rng(20261207);
    Bytes out;
    out.reserve(size + 64);
    if (kind == "random_bytes") {
        while (out.size() < size) out.push_back(static_cast<std::uint8_t>(rng()));
    } else if (kind == "words") {
        std::vector<std::string> vocabulary(2000);
        for (auto& word : vocabulary) {
            for (std::size_t n = 2 + rng() % 9; n-- > 0;) word += static_cast<char>('a' + rng() % 26);
        }
        for (std::size_t column = 0; out.size() < size; ++column) {
            const std::string& word = vocabulary[rng() % vocabulary.size()];
            out.insert(out.end(), word.begin(), word.end());
            out.push_back(column % 12 == 11 ? '\n' : ' ');
        }
    } else {
        const std::string_view letters = kind == "hex_text" ? "0123456789abcdef" : "ACGT";
        for (std::size_t column = 0; out.size() < size; ++column) {
            out.push_back(static_cast<std::uint8_t>(letters[rng() % letters.size()]));
            if (column % 64 == 63) out.push_back('\n');
        }
    }
    out.resize(size);
    return out;
}

void PackKind(benchmark::State& state, std::string_view kind) {
    PackAndReport(state, MakeKind(kind, 16'000'000));
}

}  // namespace

int main(int argc, char** argv) {
    for (const auto& [prefix, entry] :
         {std::pair{"Depack/", Entry::kRaw}, std::pair{"SafeDepack/", Entry::kSafe},
          std::pair{"GrowingDepack/", Entry::kGrowing}}) {
        for (const auto& v : kVectors) {
            benchmark::RegisterBenchmark((std::string(prefix) + v.name).c_str(), Depack, v.name, entry);
        }
    }
    for (const auto& v : kVectors) {
        benchmark::RegisterBenchmark((std::string("Pack/") + v.name).c_str(), Pack, v)
            ->Unit(benchmark::kMillisecond);
    }
    for (const char* kind : {"random_bytes", "hex_text", "four_letters", "words"}) {
        benchmark::RegisterBenchmark((std::string("PackKind/") + kind).c_str(), PackKind,
                                     std::string_view(kind))
            ->Unit(benchmark::kSecond)
            ->UseRealTime()
            ->Iterations(3);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
