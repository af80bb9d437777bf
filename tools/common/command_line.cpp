#include "command_line.h"

#include <iostream>
#include <sstream>
#include <string>

#include "file_io.h"
#include "tool_version.h"

namespace tools {

void AddVersionFlag(CLI::App& app) {
    app.set_version_flag("--version", app.get_name() + " " + std::string(kVersion),
                         "Print the version and exit");
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
    const std::string name = app.get_name();
    const auto subcommands = app.get_subcommands([](const CLI::App*) { return true; });
    if (!subcommands.empty() && argc > 1 && argv[1][0] != '-') {
        std::string known;
        bool found = false;
        for (const CLI::App* sub : subcommands) {
            found = found || sub->check_name(argv[1]);
            known += (known.empty() ? "" : ", ") + sub->get_name();
        }
        if (!found) {
            std::cerr << name << ": unknown subcommand '" << argv[1] << "' (expected one of: " << known
                      << ")\nRun with --help for more information.\n";
            return kUsageError;
        }
    }
    // --help and --version end here; their text must have got out (not to a full disk).
    const auto printed = [&](const CLI::Error& e) {
        std::ostringstream text;
        const int status = app.exit(e, text);
        try {
            WriteAndFlushStandardOutput(text.str());
        } catch (const FileError& error) {
            std::cerr << name << ": " << error.what() << '\n';
            return kUsageError;
        }
        return status;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return printed(e);
    } catch (const CLI::CallForAllHelp& e) {
        return printed(e);
    } catch (const CLI::CallForVersion& e) {
        return printed(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << name << ": " << e.what() << "\nRun with --help for more information.\n";
        return kUsageError;
    }
    return std::nullopt;
}

}  // namespace tools
