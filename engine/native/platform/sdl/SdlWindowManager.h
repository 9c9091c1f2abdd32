#pragma once

#include <SDL.h>

namespace Quorvane {

// False on an X server without an EWMH window manager (Xvfb, kiosks), where
// nobody carries out SDL's fullscreen request; true elsewhere. Kept apart from
// the window because Xlib's macros collide with ordinary names.
bool HasWindowManager(SDL_Window* window);

}  // namespace Quorvane
