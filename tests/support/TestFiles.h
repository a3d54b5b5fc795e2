#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

// Reproducible file contents and files for tests that send them somewhere.
inline std::vector<uint8_t> RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(generator());
    return bytes;
}

// Writes bytes to folder/name and returns the path.
inline std::string WriteTestFile(const std::filesystem::path& folder, const std::string& name,
                                 const std::vector<uint8_t>& bytes)
{
    const std::filesystem::path path = folder / name;
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}
