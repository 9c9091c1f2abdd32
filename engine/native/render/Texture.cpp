#include "render/Texture.h"

#include <exception>

#include "app/Log.h"

namespace Quorvane {

bool Texture::Load(Canvas& canvas) {
    if (loaded) return true;
    const bool quiet = released;
    bool exists = false;
    try {
        exists = FileExists(path);
    } catch (const std::exception&) {
        // An existence query that fails (a parent folder we may not read) is
        // reported as an unloadable texture rather than ending the game.
        exists = true;
    }
    if (!exists) {
        if (!quiet) LogWarn("Texture not found: " + PathToString(path));
        return false;
    }
    image = canvas.LoadImage(path);
    if (image == nullptr) {
        if (!quiet) LogWarn("Texture could not be loaded: " + PathToString(path));
        return false;
    }
    decodedBytes = static_cast<std::size_t>(image->Width()) * static_cast<std::size_t>(image->Height()) * 4;
    loaded = true;
    released = false;
    return true;
}

void Texture::Release() {
    if (!loaded) return;
    image.reset();
    decodedBytes = 0;
    loaded = false;
    released = true;
}

}  // namespace Quorvane
