// Sprites per second of our software canvas and of SDL2's own software renderer,
// drawing the same scene into a 1280x720 target: 32x32 RGBA sprites with soft
// alpha edges, at 1:1 and 1.5x, a third of them flipped.
// Usage: sprite_bench [seconds per case, default 1]
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

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

    std::printf("%-8s %6s %18s %18s %7s %12s\n", "scale", "sprites", "ours (sprites/s)", "SDL2 (sprites/s)", "ratio", "ours ms/frame");
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
            std::printf("%-8.1f %6d %18.0f %18.0f %6.2fx %12.3f\n", scale, count, ours, theirs, ours / theirs, 1000.0 * count / ours);
        }
    }
    SDL_DestroyTexture(texture);
    SDL_FreeSurface(spriteSurface);
    SDL_DestroyRenderer(sdl);
    SDL_FreeSurface(target);
    return 0;
}
