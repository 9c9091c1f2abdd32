#include "scripting/StatsLines.h"

#include <charconv>

namespace Quorvane {

void ParseStatsLine(ProtocolState& state, std::string_view line) {
    SplitFields(line, state.fields);
    if (state.fields.size() != 2) {
        ReportLineFault(state, "XSTATS", "expected 2 fields");
        return;
    }
    const std::string_view field = state.fields[1];
    std::int64_t bytes = 0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), bytes, 10);
    if (result.ec != std::errc() || result.ptr != field.data() + field.size() || bytes < 0) {
        ReportLineFault(state, "XSTATS", "allocated bytes must be a whole number of 0 or more");
        return;
    }
    state.snapshot.hostAllocatedBytes = bytes;
}

}  // namespace Quorvane
