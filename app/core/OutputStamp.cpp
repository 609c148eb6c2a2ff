#include "app/core/OutputStamp.h"

#include <ctime>
#include <fmt/format.h>

namespace umbrix {

std::vector<Attribute> outputStamp(const ControlValues& values) {
    std::vector<Attribute> stamp = {{"Software", std::string("umbrix " UMBRIX_VERSION)}};
    for (const ControlValues::Entry& entry : values.entries())
        // A button holds no setting.
        if (entry.info->controlKind != "ButtonControl")
            stamp.push_back({"umbrix:" + entry.info->id, entry.value});
    return stamp;
}

std::vector<Attribute> writingTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
    // Seconds to add to local time for UTC, as the difference of the two broken-down times.
    utc.tm_isdst = local.tm_isdst;
    const double offset = std::difftime(std::mktime(&utc), std::mktime(&local));
    return {{"capDate", fmt::format("{:04}:{:02}:{:02} {:02}:{:02}:{:02}", local.tm_year + 1900,
                                    local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                    local.tm_sec)},
            {"utcOffset", static_cast<float>(offset)}};
}

} // namespace umbrix
