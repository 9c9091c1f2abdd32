#include "scripting/PathLines.h"

#include <charconv>

namespace Quorvane {

bool IsPathId(std::string_view text) {
    if (text.size() < 2 || text.front() != '#') return false;
    for (char c : text.substr(1)) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

void ParsePathLine(ProtocolState& state, std::string_view line) {
    // The path is the rest of the line after the id, "|" included.
    const std::string_view rest = line.substr(6);
    const std::size_t bar = rest.find('|');
    if (bar == std::string_view::npos) {
        ReportLineFault(state, "XPATH", "expected an id and a path");
        return;
    }
    const std::string_view idText = rest.substr(0, bar);
    const std::string_view path = rest.substr(bar + 1);
    std::int32_t id = -1;
    const auto result = std::from_chars(idText.data(), idText.data() + idText.size(), id, 10);
    if (result.ec != std::errc() || result.ptr != idText.data() + idText.size() || id < 0 || id > kMaxPathId) {
        ReportLineFault(state, "XPATH", "id must be a whole number from 0 to 65535");
        return;
    }
    if (path.empty() || IsPathId(path)) {
        ReportLineFault(state, "XPATH", "path must be a file path, not empty and not an id");
        return;
    }
    // Resolved through the memo like any path, then copied: the memo may start
    // over, a declared id must not.
    const ResolvedPath* resolved = ResolveTexture(state, path);
    if (resolved == nullptr) {
        ReportLineFault(state, "XPATH", "path cannot be resolved");
        return;
    }
    if (state.declaredPaths.size() <= static_cast<std::size_t>(id)) state.declaredPaths.resize(static_cast<std::size_t>(id) + 1);
    state.declaredPaths[static_cast<std::size_t>(id)] = *resolved;
}

const ResolvedPath* DeclaredPath(ProtocolState& state, std::string_view text) {
    std::size_t id = 0;
    const auto result = std::from_chars(text.data() + 1, text.data() + text.size(), id, 10);
    if (result.ec == std::errc() && id < state.declaredPaths.size() && !state.declaredPaths[id].text.empty()) {
        return &state.declaredPaths[id];
    }
    ReportLineFault(state, "XPATH", "a line named an id that was not declared");
    return nullptr;
}

}  // namespace Quorvane
