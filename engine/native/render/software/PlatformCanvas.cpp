#include "render/Canvas.h"

namespace Quorvane {

// Where the window is an SDL window, frames are drawn in memory and handed over.
std::unique_ptr<Canvas> CreatePlatformCanvas(Window&) { return CreateSoftwareCanvas(); }

}  // namespace Quorvane
