#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quorbel::bench {

// One section of the printed report: a title, aligned columns, notes below.
struct ReportTable {
    std::string title;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> notes;
};

void printTable(const ReportTable& table, std::FILE* stream);

// Fixed-point text with `decimals` digits after the point.
std::string formatNumber(double value, int decimals);

}  // namespace quorbel::bench
