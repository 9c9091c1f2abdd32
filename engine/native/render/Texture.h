#pragma once

#include <filesystem>
#include <memory>

#include "render/Canvas.h"

namespace Quorvane {

// One image file of the texture cache: looked for and decoded at most once.
class Texture {
public:
    explicit Texture(std::filesystem::path path) : path(std::move(path)) {}
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Opens and decodes the file once; logs "Texture not found: " or
    // "Texture could not be loaded: " on failure.
    bool Load(Canvas& canvas);
    bool IsLoaded() const { return loaded; }
    const CanvasImage* GetImage() const { return image.get(); }
    const std::filesystem::path& Path() const { return path; }

private:
    std::filesystem::path path;
    bool loaded = false;
    std::unique_ptr<CanvasImage> image;
};

}  // namespace Quorvane
