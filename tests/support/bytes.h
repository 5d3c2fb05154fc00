// Whole files as bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Empty when the file cannot be read.
inline Bytes readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A folder of test pictures under tests/data ("png", "jpeg", ...), as the
// test runner points at it.
inline std::filesystem::path testDataFolder(const char* area) {
    const char* root = std::getenv("MORAVEL_TEST_DATA");
    return std::filesystem::path(root ? root : "tests/data") / area;
}
