#include "platform/Presentation.h"

#include <algorithm>
#include <cmath>

namespace Quorvane {

std::optional<ScaleMode> ParseScaleMode(std::string_view text) {
    if (text == "none") return ScaleMode::None;
    if (text == "letterbox") return ScaleMode::Letterbox;
    if (text == "integer") return ScaleMode::Integer;
    if (text == "stretch") return ScaleMode::Stretch;
    return std::nullopt;
}

PresentRect ComputePresentRect(ScaleMode mode, std::int32_t logicalWidth, std::int32_t logicalHeight,
                               std::int32_t windowWidth, std::int32_t windowHeight) {
    const std::int32_t lw = std::max(logicalWidth, 1), lh = std::max(logicalHeight, 1);
    const std::int32_t ww = std::max(windowWidth, 0), wh = std::max(windowHeight, 0);
    PresentRect rect;
    switch (mode) {
        case ScaleMode::None:
            rect = {0, 0, lw, lh};
            break;
        case ScaleMode::Stretch:
            rect = {0, 0, ww, wh};
            break;
        case ScaleMode::Letterbox: {
            // Compare ww/lw with wh/lh in integers so equal ratios never round apart.
            const std::int64_t byWidth = static_cast<std::int64_t>(ww) * lh;
            const std::int64_t byHeight = static_cast<std::int64_t>(wh) * lw;
            if (byWidth <= byHeight) {
                rect.width = ww;
                rect.height = static_cast<std::int32_t>((static_cast<std::int64_t>(ww) * lh + lw / 2) / lw);
            } else {
                rect.height = wh;
                rect.width = static_cast<std::int32_t>((static_cast<std::int64_t>(wh) * lw + lh / 2) / lh);
            }
            rect.x = (ww - rect.width) / 2;
            rect.y = (wh - rect.height) / 2;
            break;
        }
        case ScaleMode::Integer: {
            const std::int32_t scale = std::max(1, std::min(ww / lw, wh / lh));
            rect.width = lw * scale;
            rect.height = lh * scale;
            rect.x = (ww - rect.width) / 2;
            rect.y = (wh - rect.height) / 2;
            break;
        }
    }
    return rect;
}

void WindowToLogical(const PresentRect& rect, std::int32_t logicalWidth, std::int32_t logicalHeight,
                     std::int32_t windowX, std::int32_t windowY, std::int32_t& x, std::int32_t& y) {
    if (rect.width <= 0 || rect.height <= 0) {
        x = windowX;
        y = windowY;
        return;
    }
    // The centre of the window pixel, so a pixel maps to the logical pixel it shows.
    const double fx = (windowX - rect.x + 0.5) * logicalWidth / rect.width;
    const double fy = (windowY - rect.y + 0.5) * logicalHeight / rect.height;
    x = static_cast<std::int32_t>(std::floor(fx));
    y = static_cast<std::int32_t>(std::floor(fy));
}

}  // namespace Quorvane
