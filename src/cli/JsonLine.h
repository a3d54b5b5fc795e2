#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

// One JSON object per line, so that another program can follow the run line by line.
class JsonLine {
public:
    // Texts the program passes on (file paths, bytes from a terminal) need not be
    // UTF-8; such bytes become U+FFFD instead of ending the program.
    static std::string Dump(const nlohmann::json& object);
    // Writes the object and a line break to `out` and flushes it.
    static void Write(std::FILE* out, const nlohmann::json& object);
};
