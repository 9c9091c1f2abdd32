#include "render/Texture.h"

#include <exception>

#include "app/Log.h"

namespace Quorvane {

bool Texture::Load(Canvas& canvas) {
    if (loaded) return true;
    bool exists = false;
    try {
        exists = FileExists(path);
    } catch (const std::exception&) {
        // An existence query that fails (a parent folder we may not read) is
        // reported as an unloadable texture rather than ending the game.
        exists = true;
    }
    if (!exists) {
        LogWarn("Texture not found: " + PathToString(path));
        return false;
    }
    image = canvas.LoadImage(path);
    if (image == nullptr) {
        LogWarn("Texture could not be loaded: " + PathToString(path));
        return false;
    }
    loaded = true;
    return true;
}

}  // namespace Quorvane
