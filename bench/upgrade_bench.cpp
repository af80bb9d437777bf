// Times the upgrade extractor natively, through the same routine the Windows program
// runs, against the depacker alone on the same blocks: the difference is what reading,
// allocating and writing cost on top of unpacking.
//
//   upgrade_bench [SIZE_MB]     (default 16: two files of that size, text and executable data)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "aplib/aplib.h"
#include "extract.h"
#include "package.h"
#include "posix_platform.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

mkupgrade::Bytes TextData(std::size_t size) {
    static const char* words[] = {"declare", "function", "lib",      "alias", "byval",   "string",
                                  "long",    "upgrade ", "tarnwick", "\r\n",  "integer", "(",
                                  ")",       "As",       "0x",       "REM"};
    mkupgrade::Bytes data;
    data.reserve(size);
    std::uint32_t x = 12345;
    while (data.size() < size) {
        x = x * 1103515245u + 12345u;
        const char* w = words[(x >> 16) % 16];
        while (*w != '\0' && data.size() < size) data.push_back(static_cast<std::uint8_t>(*w++));
        if (data.size() < size) data.push_back(' ');
    }
    return data;
}

mkupgrade::Bytes ExecutableData(std::size_t size, const char* self) {
    std::ifstream in(self, std::ios::binary);
    mkupgrade::Bytes image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    mkupgrade::Bytes data;
    data.reserve(size);
    std::uint32_t x = 99;
    while (data.size() < size) {  // the program's own code, with a few bytes changed per copy
        for (std::size_t i = 0; i < image.size() && data.size() < size; ++i) {
            x = x * 1103515245u + 12345u;
            data.push_back((x >> 20) % 97 == 0 ? static_cast<std::uint8_t>(x >> 8) : image[i]);
        }
    }
    return data;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
    const std::size_t size = megabytes << 20;
    const auto ide = TextData(size);
    const auto runtime = ExecutableData(size, argv[0]);

    const auto packStart = Clock::now();
    const auto package = mkupgrade::BuildPackage(mkupgrade::BareProgram(0x14C, 2), ide, runtime);
    const double packSeconds = Seconds(packStart);

    const fs::path dir = fs::temp_directory_path() / ("upgrade_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir / "target");
    const fs::path packagePath = dir / "package.exe";
    std::ofstream(packagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));

    const auto trailer = mkupgrade::ReadTrailer(package);
    const std::span<const std::uint8_t> blocks[] = {
        std::span(package).subspan(trailer.o1, trailer.o2 - trailer.o1),
        std::span(package).subspan(trailer.o2, trailer.trailerStart - trailer.o2)};

    constexpr int kRounds = 5;
    double bestDepack = 1e9, bestExtract = 1e9;
    mkupgrade::Bytes out(size);
    for (int round = 0; round < kRounds; ++round) {
        const auto depackStart = Clock::now();
        for (const auto block : blocks) {
            if (aplib::SafeDepack(block, out).status != aplib::Status::kOk) return 1;
        }
        bestDepack = std::min(bestDepack, Seconds(depackStart));

        upgrade::PosixPlatform::packagePath = packagePath.string();
        const std::string line = "upgrade.exe " + (dir / "target").string();
        const auto extractStart = Clock::now();
        if (upgrade::Upgrade<upgrade::PosixPlatform>(line.c_str()) != 0) return 1;
        bestExtract = std::min(bestExtract, Seconds(extractStart));
    }
    fs::remove_all(dir);

    const double total = 2.0 * static_cast<double>(size) / 1e6;
    std::printf(
        "two files of %zu MB (text, executable data); package %zu bytes (ratio %.3f), packed in %.2f s\n",
        megabytes, package.size(), static_cast<double>(package.size()) / (2.0 * static_cast<double>(size)),
        packSeconds);
    std::printf("depack only (both blocks, CRCs checked):   %7.1f ms  %7.0f MB/s\n", bestDepack * 1e3,
                total / bestDepack);
    std::printf(
        "extract (read, depack, write both files): %7.1f ms  %7.0f MB/s  (%.0f%% of the time unpacking)\n",
        bestExtract * 1e3, total / bestExtract, 100.0 * bestDepack / bestExtract);
    return 0;
}
