// The target directory: everything on the command line behind the program's own name.
#pragma once

#include <string>
#include <string_view>

namespace upgrade {

// Skips the program name (quoted or not) and the blanks and tabs after it; the rest,
// verbatim, is the target. One pair of double quotes that encloses the whole target
// is removed, so a quoted path with blanks names the directory it quotes.
std::string TargetDirectory(std::string_view commandLine);

}  // namespace upgrade
