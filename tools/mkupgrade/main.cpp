// mkupgrade: builds an upgrade package from the upgrade program and the two files it
// delivers, or checks one.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <iterator>

#include "atomic_write.h"
#include "package.h"

namespace {

mkupgrade::Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw mkupgrade::PackageError("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PrintSegment(const char* name, const mkupgrade::SegmentInfo& segment) {
    std::cout << name << ": offset " << segment.offset << ", packed " << segment.packedSize
              << " bytes, unpacks to " << segment.originalSize << " bytes\n";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"mkupgrade - builds or checks an upgrade package"};
    std::string stub, ide, runtime, output, check;
    auto* stubOption = app.add_option("--stub", stub, "The upgrade program (upgrade.exe)");
    auto* ideOption = app.add_option("--ide", ide, "File delivered as TARNIDE.NEW");
    auto* runtimeOption = app.add_option("--runtime", runtime, "File delivered as TARNEXEC.NEW");
    auto* outputOption = app.add_option("-o,--output", output, "Package to write");
    auto* checkOption = app.add_option("--check", check, "Verify a package and list its segments");
    checkOption->excludes(stubOption, ideOption, runtimeOption, outputOption);
    stubOption->needs(ideOption, runtimeOption, outputOption);
    CLI11_PARSE(app, argc, argv);

    try {
        if (!check.empty()) {
            const auto info = mkupgrade::CheckPackage(ReadFile(check));
            std::cout << check << ": program image " << info.imageSize << " bytes\n";
            PrintSegment("segment 1 (TARNIDE.NEW)", info.ide);
            PrintSegment("segment 2 (TARNEXEC.NEW)", info.runtime);
            return 0;
        }
        if (stub.empty()) {
            std::cerr << "mkupgrade: give --stub, --ide, --runtime and -o, or --check\n";
            return 2;
        }
        const auto package = mkupgrade::BuildPackage(ReadFile(stub), ReadFile(ide), ReadFile(runtime));
        std::string error;
        if (!tools::WriteFileAtomically(
                output, std::span(reinterpret_cast<const char*>(package.data()), package.size()), error)) {
            throw mkupgrade::PackageError("cannot write " + output + ": " + error);
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "mkupgrade: " << e.what() << '\n';
        return 1;
    }
}
