// declgen: the Windows API of the mingw-w64 headers as a Visual Basic declaration
// list, and the comparison of such lists.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "compare.h"
#include "file_io.h"
#include "generate.h"
#include "tool_version.h"

namespace {

constexpr const char* kTool = "declgen";
// Declaration files are text of some megabytes; anything this large is no such file.
constexpr std::uint64_t kDeclarationFileLimit = 1ULL << 30;

int Fail(const std::string& message) {
    std::cerr << kTool << ": " << message << '\n';
    return 1;
}

void PrintSummary(const std::string& output, const declgen::Summary& summary) {
    std::cerr << kTool << ": " << output << ": " << summary.procedures << " procedures, "
              << summary.structures << " structures, " << summary.constants << " constants, "
              << summary.enumerations << " enumerations written\n";
    for (const auto& [reason, count] : summary.leftOut)
        std::cerr << kTool << ": left out " << count << ": " << reason << '\n';
    for (const std::string& mismatch : summary.byteMismatches)
        std::cerr << kTool << ": left out, bytes differ: " << mismatch << '\n';
    for (const std::string& problem : summary.layoutProblems)
        std::cerr << kTool << ": layout differs: " << problem << '\n';
}

// A destination that cannot be written is named before the headers are parsed.
void CheckDestination(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(path, error)) throw tools::FileError(path, tools::ErrorText(EISDIR));
    const fs::path parent = fs::path(path).parent_path();
    if (parent.empty()) return;
    const fs::file_status status = fs::status(parent, error);
    if (error || !fs::is_directory(status))
        throw tools::FileError(path, tools::ErrorText(error ? error.value() : ENOTDIR));
}

// A file to compare: one without a single declaration would meet every target.
declgen::DeclarationFile ReadDeclarations(const std::string& path) {
    const auto text = tools::ReadWholeFile<std::string>(path, kDeclarationFileLimit);
    if (text.find('\0') != std::string::npos) throw tools::FileError(path, "not a text file");
    declgen::DeclarationFile file = declgen::ReadDeclarationFile(text);
    if (file.declares.empty() && file.types.empty() && file.constants.empty() && file.enums.empty())
        throw tools::FileError(path, "no Declare, Type, Enum or Const statement");
    return file;
}

int RunCompare(const std::string& referencePath, const std::string& generatedPath, bool everyExample) {
    const declgen::DeclarationFile reference = ReadDeclarations(referencePath);
    const declgen::ComparisonReport report = declgen::Compare(reference, ReadDeclarations(generatedPath));
    tools::WriteStandardOutput(declgen::FormatReport(report, everyExample));
    tools::FlushStandardOutput();
    return report.TargetsMet() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes the Windows API of the mingw-w64 headers as a Visual Basic declaration list", kTool};
    tools::AddVersionFlag(app);
    app.allow_windows_style_options(false);

    declgen::GenerateSettings settings;
    settings.version = std::string(tools::kVersion);
    settings.scan.includeDir = DECLGEN_DEFAULT_INCLUDE;
    settings.scan.resourceDir = DECLGEN_CLANG_RESOURCE_DIR;
    settings.libsDir = DECLGEN_DEFAULT_LIBS;
    std::vector<std::string> extraHeaders;
    std::string winver = "0x0A00";
    std::string output;
    std::vector<std::string> compare;
    bool everyExample = false;

    std::vector<CLI::Option*> generation;
    generation.push_back(
        app.add_option("--include", settings.scan.includeDir, "The mingw-w64 include directory")
            ->capture_default_str());
    generation.push_back(app.add_option("--libs", settings.libsDir, "The mingw-w64 import libraries (lib*.a)")
                             ->capture_default_str());
    generation.push_back(app.add_option("--header", extraHeaders,
                                        "Also read this header, after the default ones; repeatable"));
    generation.push_back(
        app.add_option("--winver", winver,
                       "The Windows version the headers see, as _WIN32_WINNT (0x0601: Windows 7)")
            ->capture_default_str()
            ->check(
                [](const std::string& text) {
                    char* end = nullptr;
                    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
                    return *end == '\0' && value >= 0x0400 && value <= 0xFFFF
                               ? std::string()
                               : text + " is no Windows version such as 0x0A00";
                },
                "VERSION"));
    generation.push_back(
        app.add_option("--only", settings.only, "Write just these procedures, with every structure they need")
            ->delimiter(','));
    auto* out = app.add_option("-o,--output", output, "The declaration file to write ('-': standard output)");
    auto* comparison =
        app.add_option("--compare", compare,
                       "Compare the generated list OUT with the reference declaration file REFERENCE")
            ->expected(2)
            ->type_name("REFERENCE OUT");
    comparison->excludes(out);
    for (CLI::Option* option : generation) comparison->excludes(option);
    app.add_flag("-v,--verbose", everyExample, "With --compare: every difference, not one of each class")
        ->needs(comparison);
    app.footer(
        "Exit status: 0 done; 1 when the headers do not compile, a file cannot be read or written, an --only "
        "name is no procedure, or a --compare target is missed; 2 for a bad command line.");
    if (const auto status = tools::ParseCommandLine(app, argc, argv)) return *status;
    if (compare.empty() && output.empty()) {
        std::cerr
            << kTool
            << ": -o OUT or --compare REFERENCE OUT is required\nRun with --help for more information.\n";
        return tools::kUsageError;
    }

    try {
        if (!compare.empty()) return RunCompare(compare[0], compare[1], everyExample);

        settings.scan.winver = static_cast<unsigned>(std::strtoul(winver.c_str(), nullptr, 0));
        settings.scan.headers = declgen::DefaultHeaders();
        settings.scan.headers.insert(settings.scan.headers.end(), extraHeaders.begin(), extraHeaders.end());
        if (output != "-") CheckDestination(output);
        const declgen::Generated generated = declgen::Generate(settings);
        // A misspelt name fails the run before anything is written.
        for (const std::string& name : generated.unknownOnly)
            Fail("--only: " + name + " is no procedure of the headers");
        if (!generated.unknownOnly.empty()) return 1;
        if (output == "-") {
            tools::WriteStandardOutput(generated.text);
            tools::FlushStandardOutput();
        } else {
            tools::WriteFileAtomically(output, generated.text);
        }
        PrintSummary(output == "-" ? "standard output" : output, generated.summary);
        return 0;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
