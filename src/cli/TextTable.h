#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Rows of text in columns two spaces apart, for the summary and the port list.
class TextTable {
public:
    // Columns from firstNumericColumn on hold numbers and line up on the right.
    explicit TextTable(std::vector<std::string> heading, size_t firstNumericColumn = SIZE_MAX);

    void Add(std::vector<std::string> row);
    // A cell holds one line: line ends and tabs become spaces.
    static std::string OneLine(std::string text);
    // Writes every row, heading first, and flushes `out`.
    void Print(std::FILE* out) const;

private:
    std::vector<std::vector<std::string>> rows;
    size_t firstNumericColumn;
};
