// The command line of every tool: CLI11 with the same conventions everywhere.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>

namespace tools {

// Adds --version, which prints "NAME VERSION" with the project's release version.
void AddVersionFlag(CLI::App& app);

// Parses the command line. Returns the exit status when the program is to stop now:
// 0 after --help or --version (2 when their text could not be written), 2 after any
// usage error, which is printed as "NAME: reason" (an unknown subcommand is named) on
// standard error. Returns nothing when the program is to go on.
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv);

// Exit status of every usage error.
inline constexpr int kUsageError = 2;

}  // namespace tools
