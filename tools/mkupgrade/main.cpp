// mkupgrade: builds an upgrade package from the upgrade program and the two files it
// delivers, or checks one.
#include <CLI/CLI.hpp>
#include <iostream>
#include <new>
#include <string>

#include "aplib/format.h"
#include "command_line.h"
#include "file_io.h"
#include "package.h"

namespace {

// Files to pack stay below the format's limit; a package's offsets are 32-bit.
constexpr std::uint64_t kFileLimit = std::uint64_t{aplib::format::kMaxOrigSize} + 1;
constexpr std::uint64_t kPackageLimit = std::uint64_t{1} << 32;

// A failure to report as "mkupgrade: FILE: reason".
struct Failure {
    std::string file;
    std::string reason;
};

// Runs `step` on behalf of `file`: what goes wrong there is reported under its name.
template <class Step>
auto For(const std::string& file, Step&& step) {
    try {
        return step();
    } catch (const mkupgrade::PackageError& e) {
        throw Failure{file, e.what()};
    } catch (const std::bad_alloc&) {
        throw Failure{file, "not enough memory"};
    }
}

mkupgrade::Bytes Read(const std::string& path, std::uint64_t limit) {
    return tools::ReadWholeFile<mkupgrade::Bytes>(path, limit);
}

std::string Segment(const char* name, const mkupgrade::SegmentInfo& segment) {
    return std::string(name) + ": offset " + std::to_string(segment.offset) + ", packed " +
           std::to_string(segment.packedSize) + " bytes, unpacks to " + std::to_string(segment.originalSize) +
           " bytes\n";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Builds or checks an upgrade package", "mkupgrade"};
    tools::AddVersionFlag(app);
    app.footer(
        "Build with --stub, --ide, --runtime and -o, or check a package with --check.\n"
        "Exit status: 0 done; 1 when a file cannot be read or written, or a package or its parts are "
        "invalid (the reason on standard error); 2 for a bad command line.");
    std::string stub, ide, runtime, output, check;
    auto* stubOption = app.add_option("--stub", stub, "The upgrade program (a Windows executable)");
    auto* ideOption = app.add_option("--ide", ide, "File delivered as TARNIDE.NEW");
    auto* runtimeOption = app.add_option("--runtime", runtime, "File delivered as TARNEXEC.NEW");
    auto* outputOption = app.add_option("-o,--output", output, "Package to write");
    auto* checkOption = app.add_option("--check", check, "Verify a package and list its parts");
    checkOption->excludes(stubOption, ideOption, runtimeOption, outputOption);
    if (const auto status = tools::ParseCommandLine(app, argc, argv)) return *status;
    if (!*checkOption) {
        std::string missing;
        for (const CLI::Option* option : {stubOption, ideOption, runtimeOption, outputOption}) {
            if (!*option) missing += (missing.empty() ? "" : ", ") + option->get_name();
        }
        if (!missing.empty()) {
            std::cerr
                << "mkupgrade: building a package needs --stub, --ide, --runtime and --output; missing: "
                << missing << "\nRun with --help for more information.\n";
            return tools::kUsageError;
        }
    }

    try {
        if (*checkOption) {
            const auto info = For(check, [&] { return mkupgrade::CheckPackage(Read(check, kPackageLimit)); });
            tools::WriteAndFlushStandardOutput(check + ": program image " + std::to_string(info.imageSize) +
                                               " bytes (" + mkupgrade::Describe(info.program) + ")\n" +
                                               Segment("segment 1 (TARNIDE.NEW)", info.ide) +
                                               Segment("segment 2 (TARNEXEC.NEW)", info.runtime));
            return 0;
        }
        const auto stubBytes = Read(stub, kFileLimit);
        For(stub, [&] { return mkupgrade::CheckProgram(stubBytes); });
        const auto ideBytes = Read(ide, kFileLimit);
        if (ideBytes.empty()) throw Failure{ide, "empty: there is nothing to deliver"};
        const auto runtimeBytes = Read(runtime, kFileLimit);
        if (runtimeBytes.empty()) throw Failure{runtime, "empty: there is nothing to deliver"};
        const auto package =
            For(output, [&] { return mkupgrade::BuildPackage(stubBytes, ideBytes, runtimeBytes); });
        tools::WriteFileAtomically(output, package);
        return 0;
    } catch (const tools::FileError& e) {
        std::cerr << "mkupgrade: " << e.what() << '\n';
    } catch (const Failure& f) {
        std::cerr << "mkupgrade: " << f.file << ": " << f.reason << '\n';
    }
    return 1;
}
