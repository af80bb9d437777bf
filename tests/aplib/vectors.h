// Reads the shared packed-format vectors (never writes them).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace aplib::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::filesystem::path VectorDir() { return std::filesystem::path(APLIB_VECTOR_DIR); }

inline Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes ReadVector(const std::string& relative) { return ReadFile(VectorDir() / relative); }

}  // namespace aplib::testing
