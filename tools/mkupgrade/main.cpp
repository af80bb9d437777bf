// mkupgrade: builds an upgrade package from the upgrade program and the two files it
// delivers, or checks one.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <iterator>

#include "command_line.h"
#include "file_io.h"
#include "package.h"

namespace {

mkupgrade::Bytes ReadFile(const std::string& path) { return tools::ReadWholeFile<mkupgrade::Bytes>(path); }

void PrintSegment(const char* name, const mkupgrade::SegmentInfo& segment) {
    std::cout << name << ": offset " << segment.offset << ", packed " << segment.packedSize
              << " bytes, unpacks to " << segment.originalSize << " bytes\n";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Builds or checks an upgrade package", "mkupgrade"};
    tools::AddVersionFlag(app);
    std::string stub, ide, runtime, output, check;
    auto* stubOption = app.add_option("--stub", stub, "The upgrade program (upgrade.exe)");
    auto* ideOption = app.add_option("--ide", ide, "File delivered as TARNIDE.NEW");
    auto* runtimeOption = app.add_option("--runtime", runtime, "File delivered as TARNEXEC.NEW");
    auto* outputOption = app.add_option("-o,--output", output, "Package to write");
    auto* checkOption = app.add_option("--check", check, "Verify a package and list its segments");
    checkOption->excludes(stubOption, ideOption, runtimeOption, outputOption);
    stubOption->needs(ideOption, runtimeOption, outputOption);
    if (const auto status = tools::ParseCommandLine(app, argc, argv)) return *status;

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
        tools::WriteFileAtomically(output, package);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "mkupgrade: " << e.what() << '\n';
        return 1;
    }
}
