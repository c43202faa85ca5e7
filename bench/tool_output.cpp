#include "bench/tool_output.h"

#include <cstdlib>
#include <sstream>

namespace quorbel::bench {

ToolTimes parseFpingCounts(const std::string& output) {
    ToolTimes times;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t separator = line.find(" : ");
        if (separator == std::string::npos) continue;
        std::istringstream values(line.substr(separator + 3));
        for (std::string value; values >> value;) {
            if (value == "-") {
                ++times.lost;
            } else {
                times.milliseconds.push_back(std::strtod(value.c_str(), nullptr));
            }
        }
    }
    return times;
}

ToolTimes parsePingTimes(const std::string& output) {
    ToolTimes times;
    int transmitted = 0;
    int received = 0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (const std::size_t at = line.find("time="); at != std::string::npos) {
            times.milliseconds.push_back(std::strtod(line.c_str() + at + 5, nullptr));
        } else if (line.find("packets transmitted") != std::string::npos) {
            std::istringstream summary(line);
            std::string skip;
            summary >> transmitted >> skip >> skip >> received;
        }
    }
    times.lost = transmitted > received ? transmitted - received : 0;
    return times;
}

}  // namespace quorbel::bench
