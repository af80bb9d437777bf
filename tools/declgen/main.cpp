// declgen: the Windows API of the mingw-w64 headers as a Visual Basic declaration
// list, and the comparison of such lists.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "atomic_write.h"
#include "compare.h"
#include "generate.h"

namespace {

constexpr const char* kTool = "declgen";

int Fail(const std::string& message) {
    std::cerr << kTool << ": " << message << '\n';
    return 1;
}

// The whole file, or nothing with `error` set to the system's reason.
std::optional<std::string> ReadFile(const std::string& path, std::string& error) {
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = std::strerror(EISDIR);
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteOutput(const std::string& path, const std::string& text) {
    std::string error;
    if (path == "-") {
        std::cout << text << std::flush;
        if (std::cout) return true;
        error = "write error";
    } else if (tools::WriteFileAtomically(path, text, error)) {
        return true;
    }
    Fail((path == "-" ? "standard output" : path) + ": " + error);
    return false;
}

void PrintSummary(const std::string& output, const declgen::Summary& summary) {
    std::cerr << kTool << ": " << output << ": " << summary.procedures << " procedures, "
              << summary.structures << " structures, " << summary.constants << " constants, "
              << summary.enumerations << " enumerations written\n";
    for (const auto& [reason, count] : summary.leftOut)
        std::cerr << kTool << ": left out " << count << ": " << reason << '\n';
    for (const std::string& mismatch : summary.byteMismatches)
        std::cerr << kTool << ": bytes differ: " << mismatch << '\n';
    for (const std::string& problem : summary.layoutProblems)
        std::cerr << kTool << ": layout differs: " << problem << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "declgen - writes the Windows API of the mingw-w64 headers as a Visual Basic declaration list"};
    app.allow_windows_style_options(false);

    declgen::GenerateSettings settings;
    settings.version = DECLGEN_VERSION;
    settings.scan.includeDir = "/usr/i686-w64-mingw32/include";
    settings.scan.resourceDir = DECLGEN_CLANG_RESOURCE_DIR;
    settings.libsDir = "/usr/i686-w64-mingw32/lib";
    std::vector<std::string> extraHeaders;
    std::string winver = "0x0A00";
    std::string output;
    std::vector<std::string> compare;
    bool everyExample = false;

    app.add_option("--include", settings.scan.includeDir, "The mingw-w64 include directory")
        ->capture_default_str();
    app.add_option("--libs", settings.libsDir, "The mingw-w64 import libraries (lib*.a)")
        ->capture_default_str();
    app.add_option("--header", extraHeaders, "Also read this header (after the default ones); repeatable");
    app.add_option("--winver", winver,
                   "Windows version the headers see, as _WIN32_WINNT (0x0601 is Windows 7)")
        ->capture_default_str();
    app.add_option("--only", settings.only, "Write just these procedures, with every structure they need")
        ->delimiter(',');
    auto* out = app.add_option("-o,--output", output, "The declaration file to write ('-': standard output)");
    auto* comparison =
        app.add_option("--compare", compare,
                       "Compare a generated list (OUT) with a reference declaration file; prints the "
                       "table and exits 1 when a target is missed")
            ->expected(2)
            ->type_name("REFERENCE OUT");
    comparison->excludes(out);
    app.add_flag("-v,--verbose", everyExample,
                 "With --compare: list every difference, not just one of each class");
    app.set_version_flag("--version", std::string(kTool) + " " + DECLGEN_VERSION);
    app.footer(
        "Exit status: 0 done; 1 when the headers do not compile, a file cannot be read or written, an --only "
        "name is no procedure, or a comparison target is missed; 2 for a bad command line.");
    try {
        app.parse(argc, argv);
        if (compare.empty() && output.empty()) throw CLI::RequiredError("-o or --compare");
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    if (!compare.empty()) {
        std::vector<declgen::DeclarationFile> files;
        for (const std::string& path : compare) {
            std::string error;
            const auto text = ReadFile(path, error);
            if (!text) return Fail(path + ": " + error);
            files.push_back(declgen::ReadDeclarationFile(*text));
        }
        const declgen::ComparisonReport report = declgen::Compare(files[0], files[1]);
        std::cout << declgen::FormatReport(report, everyExample) << std::flush;
        if (!std::cout) return Fail("standard output: write error");
        return report.TargetsMet() ? 0 : 1;
    }

    char* end = nullptr;
    const unsigned long version = std::strtoul(winver.c_str(), &end, 0);
    if (*end != '\0' || version < 0x0400 || version > 0xFFFF) {
        std::cerr << kTool << ": --winver: " << winver << " is no Windows version such as 0x0A00\n";
        return 2;
    }
    settings.scan.winver = static_cast<unsigned>(version);
    settings.scan.headers = declgen::DefaultHeaders();
    settings.scan.headers.insert(settings.scan.headers.end(), extraHeaders.begin(), extraHeaders.end());

    try {
        const declgen::Generated generated = declgen::Generate(settings);
        for (const std::string& name : generated.unknownOnly)
            Fail("--only: " + name + " is no procedure of the headers");
        if (!WriteOutput(output, generated.text)) return 1;
        PrintSummary(output, generated.summary);
        return generated.unknownOnly.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
