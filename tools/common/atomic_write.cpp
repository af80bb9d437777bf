#include "atomic_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace tools {

bool WriteFileAtomically(const std::string& path, std::span<const char> bytes, std::string& error) {
    std::random_device random;
    std::string temporary;
    std::error_code ec;
    do {
        temporary = path + "." + std::to_string(random()) + ".tmp";
    } while (std::filesystem::exists(temporary, ec));

    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && closed) {
        std::filesystem::rename(temporary, path, ec);
        if (!ec) return true;
        error = ec.message();
    } else {
        error = std::strerror(written ? errno : writeErrno);
    }
    std::filesystem::remove(temporary, ec);
    return false;
}

}  // namespace tools
