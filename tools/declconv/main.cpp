// declconv: plays the host application for the declaration converters.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "command_line.h"
#include "convert.h"
#include "jsonl.h"
#include "plugin.h"

int main(int argc, char** argv) {
    CLI::App app{"Converts Visual Basic API declarations to Tarnwick through the declshift engine",
                 "declconv"};
    tools::AddVersionFlag(app);
    app.require_subcommand(1);
    app.allow_windows_style_options(false);  // "/path" is a file name, not an option

    std::string input = "-";
    std::string backendName = "native";
#ifdef _WIN32
    const std::vector<std::string> backends = {"native", "com", "dispatch"};
    const char* backendHelp =
        "Which plug-in to call: the engine itself (native), or declshift.clsMain through COM by its vtable "
        "(com) or by name through IDispatch (dispatch)";
#else
    const std::vector<std::string> backends = {"native"};
    const char* backendHelp = "Which plug-in to call";
#endif
    auto* jsonl =
        app.add_subcommand("jsonl", "Answer JSON Lines requests, one response line per request line");
    jsonl->add_option("file", input, "Request file ('-' or nothing: standard input)");
    jsonl->add_option("--backend", backendName, backendHelp)
        ->check(CLI::IsMember(backends))
        ->capture_default_str();

    declconv::ConvertSettings settings;
    std::string charset = "ansi";
    bool autoFormat = true;
    bool showParams = false;
    std::string encoding = "utf-8";
    auto* convert = app.add_subcommand("convert",
                                       "Convert whole Visual Basic declaration files (Const, Type, Enum and "
                                       "Declare statements) in file order");
    convert
        ->add_option("files", settings.files,
                     "Declaration files (UTF-8, UTF-16 with byte-order mark or Windows-1252)")
        ->required();
    convert->add_option(
        "-o,--output", settings.output,
        "Write the Tarnwick text to this file (complete or not at all) instead of standard output");
    convert->add_option("--charset", charset, "Entry-point names: 'ansi' ends them in A, 'wide' in W")
        ->check(CLI::IsMember({"ansi", "wide"}))
        ->capture_default_str();
    convert->add_flag("--autoformat,!--no-autoformat", autoFormat,
                      "One item per continued line (on by default); --no-autoformat packs the lines");
    convert->add_flag(
        "--show-params", showParams,
        "Bind DLL entry points with GetModuleHandle/LoadLibrary/GetProcAddress instead of FN_LoadDLL");
    convert
        ->add_option("--output-encoding", encoding,
                     "Encoding of the Tarnwick text (UTF-16 with byte-order mark)")
        ->check(CLI::IsMember({"utf-8", "utf-16"}))
        ->capture_default_str();
    convert->add_flag("--emit-requests", settings.emitRequests,
                      "Print the requests a host would make, as JSON Lines, instead of converting them");
    convert->add_flag(
        "--strict", settings.strict,
        "Exit with status 1 when any declaration failed, was not converted or could not be read");
    convert->add_flag("-v,--verbose", settings.verbose, "Also say what was skipped and where");
    convert->add_option("--backend", backendName, backendHelp)
        ->check(CLI::IsMember(backends))
        ->capture_default_str();
    convert->footer(
        "Exit status: 0 done; 1 with --strict when a declaration failed or was not converted; 2 when a file "
        "could not be read or the output not written (the other files are still converted).");

    if (const auto status = tools::ParseCommandLine(app, argc, argv)) return *status;

#ifdef _WIN32
    // Responses are byte-exact: no CRLF translation of the protocol's own line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif

    std::unique_ptr<declconv::Backend> backend;
    try {
#ifdef _WIN32
        if (backendName == "com") backend = declconv::MakeComBackend();
        if (backendName == "dispatch") backend = declconv::MakeDispatchBackend();
#endif
        if (!backend) backend = declconv::MakeNativeBackend();
    } catch (const std::exception& e) {
        std::cerr << "declconv: " << e.what() << '\n';
        return 2;
    }
    std::cout.sync_with_stdio(false);

    if (convert->parsed()) {
        settings.options.m_Charset = charset == "wide" ? 1 : 0;
        settings.options.m_AutoFormat = autoFormat ? -1 : 0;
        settings.options.m_ShowParams = showParams ? -1 : 0;
        settings.encoding =
            encoding == "utf-16" ? declconv::OutputEncoding::kUtf16 : declconv::OutputEncoding::kUtf8;
        return declconv::RunConvert(*backend, settings, std::cout, std::cerr);
    }

    std::ifstream file;
    std::istream* in = &std::cin;
    if (input != "-") {
        file.open(input, std::ios::binary);
        if (!file) {
            std::cerr << "declconv: cannot open " << input << '\n';
            return 2;
        }
        in = &file;
    }
    return declconv::RunJsonLines(*backend, *in, std::cout) ? 0 : 1;
}
