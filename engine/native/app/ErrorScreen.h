#pragma once

#include <string>
#include <vector>

#include "render/Renderer.h"

namespace Quorvane {

// What the window shows once the game has failed: a title and the lines of the
// report (they may hold line breaks and are wrapped to the window's width).
struct ErrorScreen {
    std::string title;
    std::vector<std::string> lines;
};

// Draws the whole frame in window pixels with the runtime's own text; the
// caller presents it.
void DrawErrorScreen(Renderer& renderer, const ErrorScreen& screen);

}  // namespace Quorvane
