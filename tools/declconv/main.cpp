// declconv: plays the host application for the declaration converters.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "codepage.h"
#include "command_line.h"
#include "convert.h"
#include "file_io.h"
#include "jsonl.h"
#include "plugin.h"

namespace {

// A CLI11 check from a function that throws std::invalid_argument for a bad value.
template <class Check>
CLI::Validator Checked(Check check, std::string description) {
    return CLI::Validator(
        [check](std::string& value) {
            try {
                check(value);
                return std::string();
            } catch (const std::invalid_argument& e) {
                return std::string(e.what());
            }
        },
        std::move(description));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Converts Visual Basic API declarations to Tarnwick through the declshift engine",
                 "declconv"};
    tools::AddVersionFlag(app);
    app.require_subcommand(1);
    app.allow_windows_style_options(false);  // "/path" is a file name, not an option
    app.footer(
        "Exit status: 0 done; 1 as each command says; 2 for a usage error, an input that could not be "
        "read or output that could not be written.");

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
    jsonl->footer(
        "Exit status: 0 every request answered; 1 some request answered with an error; 2 for a usage error, "
        "a request file that could not be read or output that could not be written.");

    declconv::ConvertSettings settings;
    std::string charset = "ansi";
    bool autoFormat = true;
    bool showParams = false;
    std::string encoding = "utf-8";
    std::vector<std::string> defines;
    auto* convert = app.add_subcommand("convert",
                                       "Convert whole Visual Basic declaration files (Const, Type, Enum and "
                                       "Declare statements) in file order");
    convert
        ->add_option(
            "files", settings.files,
            "Declaration files ('-': standard input); UTF-8 or UTF-16 with or without byte-order mark, "
            "Windows-1252, or the --encoding given")
        ->required();
    convert->add_option(
        "-o,--output", settings.output,
        "Write the Tarnwick text to this file instead of standard output: complete, or not at "
        "all (the file is then left as it was)");
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
    convert
        ->add_option(
            "--encoding", settings.inputEncoding,
#ifdef _WIN32
            "Encoding of input files without a byte-order mark: a code page (1251, cp932, windows-1250, "
            "shift_jis, gbk, big5, koi8-r, ...)"
#else
            "Encoding of input files without a byte-order mark: any name iconv knows (windows-1251, "
            "cp932, shift_jis, gbk, big5, koi8-r, ...)"
#endif
            )
        ->check(Checked([](const std::string& name) { declconv::CheckCodePage(name); }, "ENCODING"));
    convert
        ->add_option("--define", defines,
                     "Set a conditional compilation constant for #If, as NAME=VALUE (repeatable). Defaults: "
                     "Win32=True; Win16, Win64, VBA6, VBA7, Mac False")
        ->check(Checked(
            [](const std::string& text) { declconv::CompilationConstants::Defaults().DefineFromText(text); },
            "NAME=VALUE"));
    convert->add_flag("--emit-requests", settings.emitRequests,
                      "Print the requests a host would make, as JSON Lines, instead of converting them");
    convert->add_flag(
        "--strict", settings.strict,
        "Exit with status 1 when a declaration failed or was not converted, or a file has errors "
        "(#If blocks, a last line continued with \" _\")");
    convert->add_flag("-v,--verbose", settings.verbose, "Also say what was skipped and where");
    convert->add_option("--backend", backendName, backendHelp)
        ->check(CLI::IsMember(backends))
        ->capture_default_str();
    convert->footer(
        "Exit status: 0 done; 1 with --strict when a declaration failed or was not converted, or a file has "
        "errors; 2 for a usage error, an input that could not be read or is not text (the other files are "
        "still converted), or output that could not be written.");

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
        return tools::kUsageError;
    }
    std::cout.sync_with_stdio(false);

    if (convert->parsed()) {
        settings.options.m_Charset = charset == "wide" ? 1 : 0;
        settings.options.m_AutoFormat = autoFormat ? -1 : 0;
        settings.options.m_ShowParams = showParams ? -1 : 0;
        settings.encoding =
            encoding == "utf-16" ? declconv::OutputEncoding::kUtf16 : declconv::OutputEncoding::kUtf8;
        for (const std::string& definition : defines) settings.constants.DefineFromText(definition);
        return declconv::RunConvert(*backend, settings, tools::WriteAndFlushStandardOutput, std::cerr);
    }

    try {
        // A request file is read whole; standard input line by line, so that a host
        // gets each answer before it sends the next request.
        std::istringstream file;
        if (input != "-") file.str(tools::ReadWholeFile<std::string>(input));
        std::istream& in = input == "-" ? std::cin : file;
        return declconv::RunJsonLines(*backend, in, tools::WriteAndFlushStandardOutput) ? 0 : 1;
    } catch (const tools::FileError& e) {
        std::cerr << "declconv: " << e.what() << '\n';
        return declconv::kConvertIoError;
    }
}
