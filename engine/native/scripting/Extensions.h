#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvane {

// Protocol extensions a script host may declare with one line,
// "EXTENSIONS|name,name,...". Until it does, the runtime sends and accepts only
// the base lines, so a host that knows nothing of extensions sees nothing new.
enum class Extension : std::uint32_t {
    Draw = 1u << 0,    // layered, alpha, rotated, text and screen-space drawing
    Frames = 1u << 1,  // END_FRAME|n, QUIT, stall warnings
    Audio = 1u << 2,   // sound and music commands
    Input = 1u << 3,   // gamepads, wheel, text entry, window and focus lines
    Paths = 1u << 4,   // short ids declared for texture paths
    Stats = 1u << 5,   // figures the host measures of itself
    Replay = 1u << 6,  // the seed of the game's random numbers
    Reload = 1u << 7,  // the folder whose code the host rebuilds and reloads (--watch)
};

class ExtensionSet {
public:
    bool Has(Extension extension) const { return (bits & static_cast<std::uint32_t>(extension)) != 0; }
    bool Any() const { return bits != 0; }
    void Add(Extension extension) { bits |= static_cast<std::uint32_t>(extension); }
    std::uint32_t Bits() const { return bits; }

private:
    std::uint32_t bits = 0;
};

// The names of a comma-separated list; names it does not know are skipped, so a
// newer host can talk to an older runtime.
ExtensionSet ParseExtensionList(std::string_view list);
// "draw,frames": the names of the set, in a fixed order.
std::string FormatExtensionList(ExtensionSet set);

}  // namespace Quorvane
