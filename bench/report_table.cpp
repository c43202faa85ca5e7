#include "bench/report_table.h"

#include <algorithm>

namespace quorbel::bench {
namespace {

// Display width in terminal columns: UTF-8 continuation bytes take none.
std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }));
}

std::string padded(const std::string& text, std::size_t width, bool alignRight) {
    const std::string padding(width > displayWidth(text) ? width - displayWidth(text) : 0, ' ');
    return alignRight ? padding + text : text + padding;
}

}  // namespace

void printTable(const ReportTable& table, std::FILE* stream) {
    std::vector<std::size_t> widths;
    for (const std::string& column : table.columns) widths.push_back(displayWidth(column));
    for (const auto& row : table.rows) {
        for (std::size_t index = 0; index < row.size() && index < widths.size(); ++index)
            widths[index] = std::max(widths[index], displayWidth(row[index]));
    }
    auto printRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t index = 0; index < widths.size(); ++index) {
            const std::string cell = index < cells.size() ? cells[index] : "";
            // The first column names the row; the others hold figures.
            line += (index == 0 ? "" : "  ") + padded(cell, widths[index], index != 0);
        }
        std::fprintf(stream, "  %s\n", line.c_str());
    };

    std::fprintf(stream, "\n%s\n", table.title.c_str());
    printRow(table.columns);
    std::size_t total = 0;
    for (const std::size_t width : widths) total += width + 2;
    std::fprintf(stream, "  %s\n", std::string(total > 2 ? total - 2 : 0, '-').c_str());
    for (const auto& row : table.rows) printRow(row);
    for (const std::string& note : table.notes) std::fprintf(stream, "  * %s\n", note.c_str());
    std::fflush(stream);
}

std::string formatNumber(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace quorbel::bench
