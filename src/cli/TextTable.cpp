#include "TextTable.h"

#include <algorithm>
#include <cstdint>
#include <utility>

TextTable::TextTable(std::vector<std::string> heading, size_t firstNumericColumn)
    : rows{std::move(heading)}, firstNumericColumn(firstNumericColumn)
{
}

void TextTable::Add(std::vector<std::string> row)
{
    row.resize(rows[0].size());
    rows.push_back(std::move(row));
}

void TextTable::Print(std::FILE* out) const
{
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows)
        for (size_t column = 0; column < row.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    for (const auto& row : rows) {
        std::string line;
        for (size_t column = 0; column < row.size(); ++column) {
            const std::string pad(widths[column] - row[column].size(), ' ');
            line += column >= firstNumericColumn ? pad + row[column] : row[column] + pad;
            if (column + 1 < row.size())
                line += "  ";
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fflush(out);
}

std::string TextTable::OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return text;
}
