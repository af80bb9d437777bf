// From headers and import libraries to the declaration list: which procedures,
// structures, enumerations and constants are written, and why the rest are not.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "header_scan.h"
#include "import_libraries.h"

namespace declgen {

struct GenerateSettings {
    ScanSettings scan;
    std::string libsDir;
    std::vector<std::string> only;  // procedure names; empty for the whole API
    std::string version;            // of declgen, for the opening comment
};

struct Summary {
    int procedures = 0;
    int structures = 0;
    int constants = 0;
    int enumerations = 0;
    std::map<std::string, int> leftOut;  // reason -> count
    // Procedures whose parameters would not take as many bytes as the decorated
    // name says (left out), and Types whose layout differs from C's (written).
    std::vector<std::string> byteMismatches;
    std::vector<std::string> layoutProblems;
};

struct Generated {
    std::string text;
    Summary summary;
    std::vector<std::string> unknownOnly;  // --only names that are no procedure
};

// Throws std::runtime_error when the headers cannot be parsed (with clang's
// errors in the message), tools::FileError when a directory cannot be read.
Generated Generate(const GenerateSettings& settings);
// The same with import libraries at hand instead of those of settings.libsDir.
Generated Generate(const GenerateSettings& settings, const ImportLibraries& libraries);

// The headers read when none are named: at least what Visual Basic's own
// declaration file covers.
std::vector<std::string> DefaultHeaders();

}  // namespace declgen
