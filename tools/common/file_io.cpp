#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#endif

namespace tools {
namespace {

#ifdef _WIN32
using FileStatus = struct _stat64;
int StatusOf(int fd, FileStatus& status) { return _fstat64(fd, &status); }
constexpr int kBinary = O_BINARY;
#else
using FileStatus = struct stat;
int StatusOf(int fd, FileStatus& status) { return fstat(fd, &status); }
constexpr int kBinary = 0;
#endif

// Reads and writes go in pieces that every platform's read() and write() take whole.
constexpr std::size_t kPiece = std::size_t{1} << 24;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ > 2) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now, so that a failure to close can be reported.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// `size` is exact for a file, and a lower bound for a stream that has reached the limit.
std::string TooLarge(std::uint64_t size, std::uint64_t limit, bool exact) {
    return "too large (" + std::string(exact ? "" : "at least ") + std::to_string(size) +
           " bytes; the limit is " + std::to_string(limit - 1) + " bytes)";
}

// A large input is read once and then searched at random by the packer: on Linux its
// buffer is marked for transparent huge pages, which spares most of the TLB misses of
// that search. The mark has to come before the pages are first touched.
void AdviseHugePages(const void* begin, std::size_t bytes) {
#ifdef __linux__
    constexpr std::uintptr_t kHugePage = std::uintptr_t{1} << 21;
    const auto start = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kHugePage - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)bytes;
#endif
}

template <class Bytes>
void ReadInto(int fd, const std::string& path, std::uint64_t limit, std::uint64_t expected, Bytes& bytes) {
    std::size_t have = 0;
    bytes.reserve(static_cast<std::size_t>(expected));
    AdviseHugePages(bytes.data(), bytes.capacity());
    bytes.resize(static_cast<std::size_t>(expected));
    for (;;) {
        if (have == bytes.size()) {
            // Past the announced size (or no size announced): grow, within the limit.
            const std::uint64_t grown = std::max<std::uint64_t>(bytes.size() * 2, 1 << 16);
            const std::uint64_t capped = std::min(grown, limit);
            if (capped <= bytes.size()) throw FileError(path, TooLarge(limit, limit, false));
            bytes.resize(static_cast<std::size_t>(capped));
        }
        const std::size_t want = std::min(bytes.size() - have, kPiece);
        const auto got =
            ::read(fd, reinterpret_cast<char*>(bytes.data()) + have, static_cast<unsigned>(want));
        if (got < 0) {
            if (errno == EINTR) continue;
            throw FileError(path, ErrorText(errno));
        }
        if (got == 0) break;
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
}

}  // namespace

FileError::FileError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason)) {}

std::string ErrorText(int error) { return std::strerror(error); }

template <class Bytes>
Bytes ReadWholeFile(const std::string& path, std::uint64_t limit) {
    const bool standardInput = path == "-";
    const std::string name = standardInput ? "standard input" : path;
    // Windows refuses to open a folder with "Permission denied"; say what it is.
    std::error_code ec;
    if (!standardInput && std::filesystem::is_directory(path, ec)) throw FileError(name, ErrorText(EISDIR));
    Descriptor file(standardInput ? 0 : ::open(path.c_str(), O_RDONLY | kBinary));
    if (file.get() < 0) throw FileError(name, ErrorText(errno));
#ifdef _WIN32
    if (standardInput) _setmode(0, O_BINARY);
#endif
    FileStatus status{};
    if (StatusOf(file.get(), status) != 0) throw FileError(name, ErrorText(errno));
    if (S_ISDIR(status.st_mode)) throw FileError(name, ErrorText(EISDIR));
    std::uint64_t expected = 0;
    if (S_ISREG(status.st_mode)) {
        const auto size = static_cast<std::uint64_t>(status.st_size);
        if (size >= limit) throw FileError(name, TooLarge(size, limit, true));
        if (size > SIZE_MAX / 2) throw FileError(name, ErrorText(EFBIG));
        // One byte more than announced, so the end shows without growing the buffer.
        expected = size + 1;
    }
    Bytes bytes;
    try {
        ReadInto(file.get(), name, limit, expected, bytes);
    } catch (const std::bad_alloc&) {
        throw FileError(name, ErrorText(ENOMEM));
    } catch (const std::length_error&) {
        throw FileError(name, ErrorText(ENOMEM));
    }
    return bytes;
}

template std::string ReadWholeFile<std::string>(const std::string&, std::uint64_t);
template std::vector<std::uint8_t> ReadWholeFile<std::vector<std::uint8_t>>(const std::string&,
                                                                            std::uint64_t);

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    WriteFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) throw FileError(path, ErrorText(EISDIR));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

    std::random_device random;
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = folder / ("." + target.filename().string() + "." + std::to_string(random()) + ".tmp");
        fd = ::open(temporary.string().c_str(), O_WRONLY | O_CREAT | O_EXCL | kBinary, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw FileError(path, ErrorText(errno));

    Descriptor file(fd);
    int failure = 0;
    for (std::size_t done = 0; done < bytes.size() && failure == 0;) {
        const std::size_t want = std::min(bytes.size() - done, kPiece);
        const auto wrote = ::write(file.get(), bytes.data() + done, static_cast<unsigned>(want));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0)
            failure = wrote < 0 ? errno : ENOSPC;
        else
            done += static_cast<std::size_t>(wrote);
    }
    if (!file.Close() && failure == 0) failure = errno;
    if (failure == 0) {
        fs::rename(temporary, target, ec);
        if (!ec) return;
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw FileError(path, failure != 0 ? ErrorText(failure) : ec.message());
}

bool SameFile(const std::string& first, const std::string& second) {
    std::error_code ec;
    return std::filesystem::equivalent(first, second, ec) && !ec;
}

void WriteStandardOutput(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
        throw FileError("standard output", ErrorText(errno));
}

void FlushStandardOutput() {
    errno = 0;
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout))
        throw FileError("standard output", ErrorText(errno != 0 ? errno : EIO));
}

void WriteAndFlushStandardOutput(std::string_view bytes) {
    WriteStandardOutput(bytes);
    FlushStandardOutput();
}

}  // namespace tools
