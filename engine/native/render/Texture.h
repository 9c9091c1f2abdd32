#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "render/Canvas.h"

namespace Quorvane {

// One image file of the texture cache: looked for and decoded once, and again
// only after the cache has released it to stay within its memory budget.
class Texture {
public:
    explicit Texture(std::filesystem::path path) : path(std::move(path)) {}
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Opens and decodes the file; logs "Texture not found: " or
    // "Texture could not be loaded: " on a first failure. A reload after Release
    // is silent whatever happens.
    bool Load(Canvas& canvas);
    bool IsLoaded() const { return loaded; }
    const CanvasImage* GetImage() const { return image.get(); }
    const std::filesystem::path& Path() const { return path; }

    // Drops the decoded image; the next Load decodes the file again.
    void Release();
    bool IsReleased() const { return released; }
    // Decoded bytes held (4 per texel).
    std::size_t DecodedBytes() const { return decodedBytes; }
    std::uint64_t lastUse = 0;  // the cache's use counter at this texture's last use

private:
    std::filesystem::path path;
    bool loaded = false;
    bool released = false;
    std::size_t decodedBytes = 0;
    std::unique_ptr<CanvasImage> image;
};

}  // namespace Quorvane
