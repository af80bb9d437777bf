// The convert command: plays the host for whole Visual Basic declaration files.
// Each file is read, split into requests in file order and every request handed to
// one plug-in object; the Tarnwick text goes to standard output or a file, the
// summary and any failures to the message stream.
#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "plugin.h"
#include "splitter.h"

namespace declconv {

enum class OutputEncoding { kUtf8, kUtf16 };

struct ConvertSettings {
    std::vector<std::string> files;  // "-" is standard input
    std::string output;              // empty or "-": the output sink given to RunConvert
    declshift::Options options;
    CompilationConstants constants = CompilationConstants::Defaults();
    std::string inputEncoding;  // for files without a byte-order mark; empty: UTF-8 or Windows-1252
    bool emitRequests = false;  // print the requests as JSON Lines instead of converting them
    bool verbose = false;
    bool strict = false;
    OutputEncoding encoding = OutputEncoding::kUtf8;
};

// Exit statuses of the command.
inline constexpr int kConvertOk = 0;
inline constexpr int kConvertFailures = 1;  // --strict and some declaration failed, or a file has errors
inline constexpr int kConvertIoError = 2;   // an input could not be read or the output not written

int RunConvert(Backend& backend, const ConvertSettings& settings, const tools::OutputSink& out,
               std::ostream& messages);

// What became of the declarations of one file.
struct Tally {
    std::array<std::size_t, kCallCount> requests{};
    std::size_t converted = 0;
    std::size_t failed = 0;  // answered with the failure sentence
    std::size_t errors = 0;  // faults of the file itself: directives, a last line continued
    std::array<std::size_t, kSkipKindCount> skipped{};

    std::size_t Requests() const;
    // What makes --strict fail.
    std::size_t Problems() const;
    Tally& operator+=(const Tally& other);
};

// Hands every request to `object` in order and appends each result, ending in a
// line break, to `text`. Failures are reported on `messages` as FILE:LINE lines.
void ConvertRequests(PlugIn& object, const std::vector<Request>& requests, std::string_view displayName,
                     std::u16string& text, Tally& tally, std::ostream& messages);

}  // namespace declconv
