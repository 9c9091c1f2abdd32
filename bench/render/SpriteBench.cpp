// Sprites per second of our software canvas and of SDL2's own software renderer,
// drawing the same scene into a 1280x720 target: 32x32 RGBA sprites with soft
// alpha edges, at 1:1 and 1.5x, a third of them flipped.
// "banded" is the same canvas drawn in bands on max(2, render threads) threads.
// Usage: sprite_bench [seconds per case, default 1]
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "render/Renderer.h"
#include "render/software/BandedCanvas.h"
#include "render/software/SoftwareCanvas.h"

using namespace Quorvane;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kSprite = 32;

struct Placement {
    float x, y;
    bool flipX, flipY;
};

// Straight RGBA texels: a coloured disc whose alpha fades out over its last pixels.
std::vector<std::uint8_t> SpriteTexels() {
    std::vector<std::uint8_t> rgba;
    const float centre = (kSprite - 1) / 2.0f;
    for (int y = 0; y < kSprite; ++y) {
        for (int x = 0; x < kSprite; ++x) {
            const float d = std::hypot(x - centre, y - centre);
            const float alpha = std::clamp((kSprite / 2.0f - d) / 4.0f, 0.0f, 1.0f);
            rgba.insert(rgba.end(), {static_cast<std::uint8_t>(40 + 6 * x), static_cast<std::uint8_t>(60 + 5 * y), 200,
                                     static_cast<std::uint8_t>(std::lround(alpha * 255))});
        }
    }
    return rgba;
}

std::vector<Placement> Scene(int count) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> x(-16.0f, kWidth - 16.0f), y(-16.0f, kHeight - 16.0f);
    std::vector<Placement> placements;
    for (int i = 0; i < count; ++i) placements.push_back({x(random), y(random), i % 3 == 1, i % 6 == 2});
    return placements;
}

template <typename DrawFrame>
double SpritesPerSecond(int count, double seconds, DrawFrame drawFrame) {
    drawFrame();  // warm-up
    int frames = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    do {
        drawFrame();
        ++frames;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } while (elapsed < seconds);
    return count * frames / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
    const std::vector<std::uint8_t> texels = SpriteTexels();

    std::vector<std::uint32_t> premultiplied;
    for (std::size_t i = 0; i < texels.size(); i += 4) {
        const std::uint32_t a = texels[i + 3];
        const auto p = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        premultiplied.push_back((a << 24) | (p(texels[i]) << 16) | (p(texels[i + 1]) << 8) | p(texels[i + 2]));
    }
    const SoftwareImage image(kSprite, kSprite, premultiplied);
    SoftwareCanvas canvas;
    canvas.Resize(kWidth, kHeight);
    // The same canvas drawn in bands, on the threads the runtime would use.
    const int threads = std::max(RenderThreads(), 2);
    BandedCanvas banded(threads);
    banded.Resize(kWidth, kHeight);

    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kWidth, kHeight, 32, SDL_PIXELFORMAT_RGB888);
    SDL_Renderer* sdl = SDL_CreateSoftwareRenderer(target);
    SDL_Surface* spriteSurface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint8_t*>(texels.data()), kSprite, kSprite, 32,
                                                                    kSprite * 4, SDL_PIXELFORMAT_ABGR8888);
    SDL_Texture* texture = SDL_CreateTextureFromSurface(sdl, spriteSurface);
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
    if (sdl == nullptr || texture == nullptr) {
        std::fprintf(stderr, "SDL software renderer unavailable: %s\n", SDL_GetError());
        return 1;
    }

    std::printf("%-8s %6s %18s %18s %7s %12s %18s %7s\n", "scale", "sprites", "ours (sprites/s)", "SDL2 (sprites/s)", "ratio",
                "ours ms/frame", "banded (sprites/s)", "ratio");
    for (const float scale : {1.0f, 1.5f}) {
        for (const int count : {1000, 10000}) {
            const std::vector<Placement> scene = Scene(count);
            const float size = kSprite * scale;
            const double ours = SpritesPerSecond(count, seconds, [&] {
                canvas.FillRect(0, 0, kWidth, kHeight, Color{18, 20, 26});
                for (const Placement& p : scene) canvas.DrawImage(image, p.x, p.y, size, size, p.flipX, p.flipY);
            });
            const double theirs = SpritesPerSecond(count, seconds, [&] {
                SDL_SetRenderDrawColor(sdl, 18, 20, 26, 255);
                SDL_RenderClear(sdl);
                for (const Placement& p : scene) {
                    const SDL_FRect destination{p.x, p.y, size, size};
                    const int flip = (p.flipX ? SDL_FLIP_HORIZONTAL : 0) | (p.flipY ? SDL_FLIP_VERTICAL : 0);
                    SDL_RenderCopyExF(sdl, texture, nullptr, &destination, 0.0, nullptr, static_cast<SDL_RendererFlip>(flip));
                }
                SDL_RenderFlush(sdl);
            });
            const double oursBanded = SpritesPerSecond(count, seconds, [&] {
                banded.FillRect(0, 0, kWidth, kHeight, Color{18, 20, 26});
                for (const Placement& p : scene) banded.DrawImage(image, p.x, p.y, size, size, p.flipX, p.flipY);
                banded.Flush();
            });
            std::printf("%-8.1f %6d %18.0f %18.0f %6.2fx %12.3f %18.0f %6.2fx\n", scale, count, ours, theirs, ours / theirs,
                        1000.0 * count / ours, oursBanded, oursBanded / theirs);
        }
    }

    // Options: turned and tinted sprites, and sprites cut from an atlas by a source
    // rectangle (the 32x32 sprite is one cell of a 64x64 sheet), at 1:1.
    std::vector<std::uint32_t> atlasTexels(64 * 64, 0);
    for (int y = 0; y < kSprite; ++y)
        for (int x = 0; x < kSprite; ++x) atlasTexels[(y + 32) * 64 + x + 32] = premultiplied[y * kSprite + x];
    const SoftwareImage atlas(64, 64, atlasTexels);
    std::printf("\n%-22s %6s %18s %18s %7s %12s\n", "case (1:1)", "sprites", "ours (sprites/s)", "SDL2 (sprites/s)", "ratio",
                "ours ms/frame");
    for (const int count : {1000, 10000}) {
        const std::vector<Placement> scene = Scene(count);
        const auto angle = [](std::size_t i) { return static_cast<float>(i % 628) * 0.01f; };
        const double turned = SpritesPerSecond(count, seconds, [&] {
            canvas.FillRect(0, 0, kWidth, kHeight, Color{18, 20, 26});
            for (std::size_t i = 0; i < scene.size(); ++i) {
                ImageDraw draw;
                draw.sourceWidth = draw.sourceHeight = kSprite;
                draw.x = scene[i].x;
                draw.y = scene[i].y;
                draw.width = draw.height = kSprite;
                draw.originX = draw.x + kSprite / 2.0f;
                draw.originY = draw.y + kSprite / 2.0f;
                draw.rotation = angle(i);
                draw.tint = ColorA{255, 200, 120, 200};
                canvas.DrawImageEx(image, draw);
            }
        });
        SDL_SetTextureColorMod(texture, 255, 200, 120);
        SDL_SetTextureAlphaMod(texture, 200);
        const double turnedSdl = SpritesPerSecond(count, seconds, [&] {
            SDL_SetRenderDrawColor(sdl, 18, 20, 26, 255);
            SDL_RenderClear(sdl);
            for (std::size_t i = 0; i < scene.size(); ++i) {
                const SDL_FRect destination{scene[i].x, scene[i].y, float(kSprite), float(kSprite)};
                SDL_RenderCopyExF(sdl, texture, nullptr, &destination, angle(i) * 57.2957795, nullptr, SDL_FLIP_NONE);
            }
            SDL_RenderFlush(sdl);
        });
        SDL_SetTextureColorMod(texture, 255, 255, 255);
        SDL_SetTextureAlphaMod(texture, 255);
        std::printf("%-22s %6d %18.0f %18.0f %6.2fx %12.3f\n", "rotated + tinted", count, turned, turnedSdl,
                    turned / turnedSdl, 1000.0 * count / turned);

        const auto drawCells = [&](bool fromAtlas) {
            canvas.FillRect(0, 0, kWidth, kHeight, Color{18, 20, 26});
            for (const Placement& p : scene) {
                ImageDraw draw;
                draw.sourceX = draw.sourceY = fromAtlas ? 32 : 0;
                draw.sourceWidth = draw.sourceHeight = kSprite;
                draw.x = p.x;
                draw.y = p.y;
                draw.width = draw.height = kSprite;
                draw.flipX = p.flipX;
                draw.flipY = p.flipY;
                canvas.DrawImageEx(fromAtlas ? atlas : image, draw);
            }
        };
        const double cells = SpritesPerSecond(count, seconds, [&] { drawCells(true); });
        const double whole = SpritesPerSecond(count, seconds, [&] { drawCells(false); });
        std::printf("%-22s %6d %18.0f %18.0f %6.2fx %12.3f\n", "source rect vs whole", count, cells, whole, cells / whole,
                    1000.0 * count / cells);
    }

    // Text: 2,000 glyphs a frame from the atlas (a warm-up frame rasterises them).
    auto window = CreateHeadlessWindow();
    window->Create(kWidth, kHeight, "bench");
    Renderer renderer;
    renderer.Initialize(*window, CreateSoftwareCanvas());
    const std::string line = "Score 0123456789 The quick brown fox jumps over the lazy dog!";  // 60 glyphs
    const auto drawText = [&] {
        renderer.BeginFrame(Color{18, 20, 26});
        int glyphs = 0;
        for (int row = 0; glyphs < 2000; ++row, glyphs += static_cast<int>(line.size())) {
            renderer.DrawScreenText(line, 10.0f + (row % 2) * 300.0f, 10.0f + (row / 2) * 20.0f, 16.0f, ColorA{255, 255, 255, 255});
        }
    };
    const double frames = SpritesPerSecond(1, seconds, drawText);
    std::printf("\ntext: 2,000 glyphs of 16 px per frame: %.3f ms per frame (clear included)\n", 1000.0 / frames);

    SDL_DestroyTexture(texture);
    SDL_FreeSurface(spriteSurface);
    SDL_DestroyRenderer(sdl);
    SDL_FreeSurface(target);
    return 0;
}
