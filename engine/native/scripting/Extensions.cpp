#include "scripting/Extensions.h"

#include <utility>

namespace Quorvane {
namespace {

constexpr std::pair<std::string_view, Extension> kNames[] = {
    {"draw", Extension::Draw},   {"frames", Extension::Frames}, {"audio", Extension::Audio},
    {"input", Extension::Input}, {"paths", Extension::Paths},   {"stats", Extension::Stats},
    {"replay", Extension::Replay}, {"reload", Extension::Reload},
};

}  // namespace

ExtensionSet ParseExtensionList(std::string_view list) {
    ExtensionSet set;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        for (const auto& [known, extension] : kNames) {
            if (name == known) set.Add(extension);
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return set;
}

std::string FormatExtensionList(ExtensionSet set) {
    std::string text;
    for (const auto& [name, extension] : kNames) {
        if (!set.Has(extension)) continue;
        if (!text.empty()) text += ',';
        text += name;
    }
    return text;
}

}  // namespace Quorvane
