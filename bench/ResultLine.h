#pragma once
// The last lines of a measuring program: one row each, as
//   RESULT {"row":...,"figure":...,"compared":...,"goal":...,"met":true|false}
// so that a script can gather the rows of several programs into a table.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

namespace bench {

inline void PrintResult(const std::string& row, const std::string& figure, const std::string& compared,
                        const std::string& goal, bool met) {
    // Written key by key: the table keeps this order.
    const auto quoted = [](const std::string& text) {
        return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    };
    std::printf("RESULT {\"row\":%s,\"figure\":%s,\"compared\":%s,\"goal\":%s,\"met\":%s}\n", quoted(row).c_str(),
                quoted(figure).c_str(), quoted(compared).c_str(), quoted(goal).c_str(), met ? "true" : "false");
}

}  // namespace bench
