// The JSON Lines protocol: one request object per line in, one response per line out.
#pragma once

#include <iosfwd>
#include <string>
#include <utility>

#include "file_io.h"
#include "plugin.h"

namespace declconv {

// Answers one request line; the bool is false when the answer is an error.
std::pair<std::string, bool> AnswerRequest(Backend& backend, const std::string& line);

// Answers every line of `in` on `out`, in order, each as soon as it is known.
// Returns false when any line failed; a FileError of `out` ends the run.
bool RunJsonLines(Backend& backend, std::istream& in, const tools::OutputSink& out);

}  // namespace declconv
