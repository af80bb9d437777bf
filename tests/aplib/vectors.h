// Reads the shared packed-format vectors (never writes them).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace aplib::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::filesystem::path VectorDir() { return std::filesystem::path(APLIB_VECTOR_DIR); }

inline Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    Bytes data(static_cast<std::size_t>(std::filesystem::file_size(path)));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (static_cast<std::size_t>(in.gcount()) != data.size())
        throw std::runtime_error("cannot read " + path.string());
    return data;
}

inline Bytes ReadVector(const std::string& relative) { return ReadFile(VectorDir() / relative); }

}  // namespace aplib::testing
