#pragma once

#include <string>
#include <vector>

namespace quorbel::bench {

// Round trips another tool printed, in milliseconds, and the echoes it lost.
struct ToolTimes {
    std::vector<double> milliseconds;
    int lost = 0;
};

// fping -C: one line per host, "<host> : <ms> <ms> ...", "-" for a lost echo.
ToolTimes parseFpingCounts(const std::string& output);
// ping: one "... time=<ms> ms" line per reply, then "<n> packets transmitted, <m> received".
ToolTimes parsePingTimes(const std::string& output);

}  // namespace quorbel::bench
