#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace Quorvane {

// How a frame of the configured (logical) size fills a window of another size.
// None: the frame is the window's size and nothing is scaled (the default).
enum class ScaleMode { None, Letterbox, Integer, Stretch };

// "none", "letterbox", "integer", "stretch"; nullopt for anything else.
std::optional<ScaleMode> ParseScaleMode(std::string_view text);

// Where the logical frame lands in the window, in window pixels.
struct PresentRect {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
};

// Letterbox: the largest uniform scale that fits, centred, bars around it.
// Integer: the largest whole scale that fits, centred; at least 1, so a window
// smaller than the frame shows its centre cropped. Stretch: the whole window.
// None: the frame at its own size in the top-left corner.
PresentRect ComputePresentRect(ScaleMode mode, std::int32_t logicalWidth, std::int32_t logicalHeight,
                               std::int32_t windowWidth, std::int32_t windowHeight);

// A window pixel in logical pixels under that layout (floor; outside the
// picture it lies outside 0..logical size).
void WindowToLogical(const PresentRect& rect, std::int32_t logicalWidth, std::int32_t logicalHeight,
                     std::int32_t windowX, std::int32_t windowY, std::int32_t& x, std::int32_t& y);

}  // namespace Quorvane
