// declconv: plays the host application for the declaration converters.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "jsonl.h"
#include "plugin.h"

int main(int argc, char** argv) {
    CLI::App app{"declconv - converts Visual Basic API declarations to Tarnwick through the declshift engine"};
    app.require_subcommand(1);
    app.allow_windows_style_options(false);  // "/path" is a file name, not an option

    std::string input = "-";
    std::string backendName = "native";
    auto* jsonl = app.add_subcommand("jsonl", "Answer JSON Lines requests, one response line per request line");
    jsonl->add_option("file", input, "Request file ('-' or nothing: standard input)");
    jsonl->add_option("--backend", backendName, "Which plug-in to call")
        ->check(CLI::IsMember({"native"}))
        ->capture_default_str();

    CLI11_PARSE(app, argc, argv);

#ifdef _WIN32
    // Responses are byte-exact: no CRLF translation of the protocol's own line ends.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif

    auto backend = declconv::MakeNativeBackend();
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
    std::cout.sync_with_stdio(false);
    return declconv::RunJsonLines(*backend, *in, std::cout) ? 0 : 1;
}
