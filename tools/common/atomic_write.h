// Output files of the command-line tools are written whole or not at all: into a
// temporary file beside the target, renamed over it only once everything is written.
#pragma once

#include <span>
#include <string>

namespace tools {

// Returns false and sets `error` when the file could not be written; the target is
// then left as it was and no temporary file remains.
bool WriteFileAtomically(const std::string& path, std::span<const char> bytes, std::string& error);

}  // namespace tools
