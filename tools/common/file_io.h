// Files as the command-line tools read and write them: whole, in one pass, measured
// before they are read, and replaced only when the new content is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tools {

// A file that could not be read or written. what() is "PATH: reason", the reason in
// the system's words ("No such file or directory", "Is a directory", ...).
class FileError : public std::runtime_error {
public:
    FileError(std::string path, std::string reason);
    const std::string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::string path_;
    std::string reason_;
};

// The system's text for an errno value.
std::string ErrorText(int error);

// No limit beyond what the address space allows.
inline constexpr std::uint64_t kNoSizeLimit = UINT64_MAX;

// Reads the whole file at `path` ("-" is standard input) into a std::string or a
// std::vector of bytes. A file of `limit` bytes or more is refused from its size
// alone, before anything is read; input whose size cannot be known in advance (a
// pipe) is refused as soon as it reaches the limit.
template <class Bytes>
Bytes ReadWholeFile(const std::string& path, std::uint64_t limit = kNoSizeLimit);

// Writes `bytes` to a new temporary file beside `path` (created exclusively, never an
// existing file) and renames it over `path` once everything is written and closed.
// On failure `path` is left as it was, the temporary file is removed and FileError
// names `path`.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// True when both names lead to one existing file (same device and inode, or the same
// Windows file).
bool SameFile(const std::string& first, const std::string& second);

// Writes to standard output; FileError("standard output", reason) when the bytes did
// not all get out (a full disk, a closed pipe), found at the latest when flushing.
void WriteStandardOutput(std::string_view bytes);
void FlushStandardOutput();

// Where a tool sends its output: standard output in the program (written and
// flushed at once), a string in tests. Throws FileError when the bytes do not get out.
using OutputSink = std::function<void(std::string_view bytes)>;
void WriteAndFlushStandardOutput(std::string_view bytes);

}  // namespace tools
