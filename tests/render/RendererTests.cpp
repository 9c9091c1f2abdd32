#include <gtest/gtest.h>

#include <cmath>
#include <limits>


#include "render/Renderer.h"
#include "render/software/SoftwareCanvas.h"
#include "support/ImageFile.h"
#include "support/TempDir.h"

using namespace Quorvane;
using QuorvaneTest::TempDir;

namespace {

constexpr Color kBackground{1, 2, 3};
constexpr Color kRed{255, 0, 0};
constexpr Color kGreen{0, 255, 0};
constexpr Color kBlue{0, 0, 255};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t Packed(Color c) { return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; }

// A renderer on a headless window of the given client size.
struct Scene {
    explicit Scene(int width = 32, int height = 32, bool pixelPerfect = true) {
        window = CreateHeadlessWindow();
        window->Create(width, height, "test");
        renderer.Initialize(*window, CreateSoftwareCanvas());
        renderer.SetPixelPerfect(pixelPerfect);
    }
    void Begin(CameraState camera = {}) {
        renderer.BeginFrame(kBackground);
        renderer.SetCamera(camera);
    }
    std::uint32_t At(int x, int y) const {
        const PixelView view = renderer.Pixels();
        return view.pixels[y * view.stride + x] & 0xFFFFFFu;
    }
    // Columns of row y that are not background, as a string of 'x' and '.'.
    std::string Row(int y) const {
        std::string row;
        for (int x = 0; x < renderer.Pixels().width; ++x) row += At(x, y) == Packed(kBackground) ? '.' : 'x';
        return row;
    }
    int Drawn() const {
        int count = 0;
        const PixelView view = renderer.Pixels();
        for (int y = 0; y < view.height; ++y)
            for (int x = 0; x < view.width; ++x) count += At(x, y) != Packed(kBackground);
        return count;
    }
    std::unique_ptr<Window> window;
    Renderer renderer;
};

std::filesystem::path WriteImage(const TempDir& dir, const std::string& name, Color color, int size = 2) {
    const auto path = dir.Path() / name;
    std::filesystem::create_directories(path.parent_path());
    std::vector<unsigned char> rgba;
    for (int i = 0; i < size * size; ++i) rgba.insert(rgba.end(), {color.r, color.g, color.b, 255});
    QuorvaneTest::WriteRgbaPng(path, size, size, rgba);
    return path;
}

SpriteCommand Sprite(float x, float y, float w, float h, const std::filesystem::path& texture, Color fallback = kBlue) {
    SpriteCommand sprite;
    sprite.x = x;
    sprite.y = y;
    sprite.width = w;
    sprite.height = h;
    sprite.color = fallback;
    sprite.texturePath = texture;
    return sprite;
}

}  // namespace

TEST(Renderer, TruncToIntSaturates) {
    struct Case { float value; std::int32_t expected; };
    const Case cases[] = {
        {2.9f, 2}, {-2.9f, -2}, {0.0f, 0}, {1e10f, INT32_MAX}, {-1e10f, INT32_MIN},
        {std::numeric_limits<float>::infinity(), INT32_MAX}, {-std::numeric_limits<float>::infinity(), INT32_MIN},
        {kNaN, 0}, {2147483520.0f, 2147483520}, {-2147483648.0f, INT32_MIN},
    };
    for (const Case& c : cases) EXPECT_EQ(TruncToInt(c.value), c.expected) << c.value;
}

TEST(Renderer, ZoomRepair) {
    struct Case { float zoom; float expected; };
    const Case cases[] = {{0.0f, 1.0f}, {-2.0f, 1.0f}, {0.01f, 1.0f}, {0.011f, 0.011f}, {3.0f, 3.0f}};
    Scene scene;
    for (const Case& c : cases) {
        CameraState camera;
        camera.zoom = c.zoom;
        scene.renderer.SetCamera(camera);
        EXPECT_EQ(scene.renderer.Camera().zoom, c.expected) << c.zoom;
    }
    CameraState camera;
    camera.zoom = kNaN;
    scene.renderer.SetCamera(camera);
    EXPECT_TRUE(std::isnan(scene.renderer.Camera().zoom));
}

TEST(Renderer, CameraTransformAndRounding) {
    Scene off(32, 32, false);
    CameraState camera;
    camera.x = 5;
    camera.y = 5;
    camera.zoom = 2;
    off.Begin(camera);
    off.renderer.DrawRects({{0, 0, 10, 10, kRed}});  // screen -10,-10 to 10,10
    EXPECT_EQ(off.Row(0), std::string(10, 'x') + std::string(22, '.'));
    EXPECT_EQ(off.Row(9), off.Row(0));
    EXPECT_EQ(off.Row(10), std::string(32, '.'));

    off.Begin();
    EXPECT_EQ(off.renderer.WorldToScreenX(0.5f), 0.5f);
    EXPECT_EQ(off.renderer.WorldToScreenX(-0.5f), -0.5f);
    off.renderer.DrawRects({{0.5f, 0, 10, 1, kRed}});
    EXPECT_EQ(off.Row(0).find('x'), 0u);  // truncated to 0

    Scene on;
    on.Begin();
    EXPECT_EQ(on.renderer.WorldToScreenX(0.5f), 1.0f);
    EXPECT_EQ(on.renderer.WorldToScreenY(-0.5f), -1.0f);
    on.renderer.DrawRects({{0.5f, 0, 10, 1, kRed}});
    EXPECT_EQ(on.Row(0), "." + std::string(10, 'x') + std::string(21, '.'));

    CameraState zoomed;
    zoomed.zoom = 1.5f;
    on.Begin(zoomed);
    on.renderer.DrawRects({{1, 0, 1, 1, kRed}});  // left roundf(1.5) = 2, right trunc(2 + 1.5) = 3
    EXPECT_EQ(on.Row(0), "..x" + std::string(29, '.'));
}

TEST(Renderer, CullingAtTheViewEdges) {
    Scene scene(64, 16);
    CameraState camera;
    camera.x = 10;
    camera.viewWidth = 20;  // the view ends at x 30 although the window is 64 wide
    scene.Begin(camera);
    scene.renderer.DrawRects({
        {0, 0, 10, 4, kRed},        // right edge on camera.x: touching, not drawn
        {30, 0, 5, 4, kRed},        // starts at the view's right edge: not drawn
        {0, 8, 11, 4, kGreen},      // one unit into the view: drawn
    });
    EXPECT_EQ(scene.Row(0), std::string(64, '.'));
    EXPECT_EQ(scene.Row(8), "x" + std::string(63, '.'));
    EXPECT_TRUE(scene.renderer.IsVisible(0, 0, 10.001f, 1));  // reaching 0.001 into the view counts
    EXPECT_FALSE(scene.renderer.IsVisible(5, 0, 5, 1));
    EXPECT_TRUE(scene.renderer.IsVisible(29.9f, 0, 1, 1));
}

TEST(Renderer, NaNZoomDrawsOnlyTheBackground) {
    TempDir dir;
    Scene scene;
    CameraState camera;
    camera.zoom = kNaN;
    scene.Begin(camera);
    scene.renderer.DrawRects({{0, 0, 10, 10, kRed}});
    scene.renderer.DrawSprites({Sprite(0, 0, 10, 10, WriteImage(dir, "a.png", kGreen))});
    scene.renderer.DrawDebugRects({{2, 2, 10, 10, kRed}});
    EXPECT_EQ(scene.Drawn(), 0);
}

TEST(Renderer, EmptyClientAreaAndRestore) {
    Scene scene(0, 0);
    scene.renderer.Present();  // before the first frame: nothing to show
    scene.Begin();
    scene.renderer.DrawRects({{0, 0, 10, 10, kRed}});
    scene.renderer.DrawDebugRects({{0, 0, 10, 10, kRed}});
    scene.renderer.Present();
    EXPECT_EQ(scene.renderer.Pixels().width, 0);
    scene.window->Create(8, 4, "restored");
    scene.Begin();
    EXPECT_EQ(scene.renderer.Pixels().width, 8);
    EXPECT_EQ(scene.At(7, 3), Packed(kBackground));
}

TEST(Renderer, LayersAndSpriteOrder) {
    TempDir dir;
    // Sent b first, then a: a is drawn first, b on top. Non-ASCII sorts by unsigned bytes.
    const auto a = WriteImage(dir, "a.png", kRed);
    const auto b = WriteImage(dir, "b.png", kGreen);
    const auto accented = WriteImage(dir, "\xC3\xA9.png", kBlue);
    Scene scene;
    scene.Begin();
    scene.renderer.DrawRects({{0, 0, 32, 32, Color{9, 9, 9}}});
    scene.renderer.DrawSprites({Sprite(0, 0, 8, 8, accented), Sprite(0, 0, 8, 8, b), Sprite(4, 0, 8, 8, a)});
    scene.renderer.DrawDebugRects({{20, 20, 4, 4, kRed}});
    EXPECT_EQ(scene.At(0, 0), Packed(kBlue));   // 0xC3 sorts after 'b'
    EXPECT_EQ(scene.At(10, 0), Packed(kRed));
    EXPECT_EQ(scene.At(19, 19), Packed(kRed));  // outline over the rectangle
    EXPECT_EQ(scene.At(21, 21), Packed(Color{9, 9, 9}));  // hollow inside
}

TEST(Renderer, SpriteScalingAndFlipUnderTheCamera) {
    TempDir dir;
    const auto path = dir.Path() / "two.png";
    QuorvaneTest::WriteRgbaPng(path, 2, 1, {255, 0, 0, 255, 0, 255, 0, 255});  // red | green
    Scene scene;
    CameraState camera;
    camera.zoom = 1.5f;
    scene.Begin(camera);
    auto sprite = Sprite(1, 0, 4, 2, path);  // screen x 2, 6 wide
    scene.renderer.DrawSprites({sprite});
    EXPECT_EQ(scene.Row(0), "..xxxxxx" + std::string(24, '.'));
    EXPECT_EQ(scene.At(2, 0), Packed(kRed));
    EXPECT_EQ(scene.At(7, 0), Packed(kGreen));
    sprite.flipX = true;
    scene.Begin(camera);
    scene.renderer.DrawSprites({sprite});
    EXPECT_EQ(scene.Row(0), "..xxxxxx" + std::string(24, '.'));  // the rectangle does not move
    EXPECT_EQ(scene.At(2, 0), Packed(kGreen));
    EXPECT_EQ(scene.At(7, 0), Packed(kRed));
}

TEST(Renderer, HugeAndBrokenGeometryStaysInsideTheBuffer) {
    TempDir dir;
    const auto image = WriteImage(dir, "a.png", kGreen);
    Scene scene(16, 16, false);
    scene.Begin();
    const float big = 3e38f;
    const float inf = std::numeric_limits<float>::infinity();
    scene.renderer.DrawRects({{-big, -big, inf, inf, kRed}, {kNaN, 0, 5, 5, kRed}, {0, 0, -5, 5, kRed}});
    scene.renderer.DrawDebugRects({{-big, -big, big, big, kRed}, {1, 1, inf, 2, kRed}});
    scene.renderer.DrawSprites({Sprite(-big, -big, inf, inf, image), Sprite(-1e9f, 0, 2e9f, 4, image), Sprite(2, 2, kNaN, 4, image)});
    EXPECT_EQ(scene.At(15, 15), Packed(kRed));  // the infinite rectangle covers the buffer
    EXPECT_EQ(scene.At(8, 1), Packed(kGreen));  // the 2e9-wide sprite, clipped
}

TEST(TextureCache, WarnsOncePerKey) {
    TempDir dir;
    Scene scene;
    const auto missing = dir.Path() / "missing.png";
    std::vector<SpriteCommand> hundred(100, Sprite(-50, -50, 4, 4, missing));  // off screen still loads
    testing::internal::CaptureStdout();
    scene.Begin();
    scene.renderer.DrawSprites(hundred);
    const std::string first = testing::internal::GetCapturedStdout();
    EXPECT_EQ(first, "[Warn] Texture not found: " + missing.string() +
                         "\n[Warn] Using fallback rectangle for missing texture: " + missing.string() + "\n");
    testing::internal::CaptureStdout();
    scene.Begin();
    scene.renderer.DrawSprites({Sprite(0, 0, 4, 4, missing, kBlue)});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(scene.At(0, 0), Packed(kBlue));  // the fallback rectangle in the sprite's colour

    dir.Write("missing.png", "created too late");
    EXPECT_FALSE(scene.renderer.GetTexture(missing)->IsLoaded());
}

TEST(TextureCache, UnloadableFilesAndKeys) {
    TempDir dir;
    Scene scene;
    const auto notImage = dir.Write("notes.png", "text");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(scene.renderer.GetTexture(notImage)->IsLoaded());
    EXPECT_FALSE(scene.renderer.GetTexture(dir.Path())->IsLoaded());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[Warn] Texture could not be loaded: " + notImage.string() +
                  "\n[Warn] Using fallback rectangle for missing texture: " + notImage.string() +
                  "\n[Warn] Texture could not be loaded: " + dir.Path().string() +
                  "\n[Warn] Using fallback rectangle for missing texture: " + dir.Path().string() + "\n");

    const auto image = WriteImage(dir, "a.png", kRed);
    Texture* one = scene.renderer.GetTexture(image);
    EXPECT_TRUE(one->IsLoaded());
    EXPECT_EQ(scene.renderer.GetTexture(image), one);
    EXPECT_NE(scene.renderer.GetTexture(dir.Path() / "." / "a.png"), one);  // another text, another entry

    scene.renderer.SetTextureRoot(dir.Path());
    EXPECT_EQ(scene.renderer.ResolveTexturePath("a.png"), dir.Path() / "a.png");
    EXPECT_EQ(scene.renderer.GetTexture("a.png"), one);
}

TEST(TextureCache, LeastRecentlyUsedTexturesAreReleasedAndReloadedSilently) {
    TempDir dir;
    Scene scene;
    const std::size_t each = 8 * 8 * 4;  // decoded bytes of one 8 x 8 texture
    scene.renderer.SetTextureMemoryLimit(2 * each);
    const auto red = WriteImage(dir, "red.png", kRed, 8);
    const auto green = WriteImage(dir, "green.png", kGreen, 8);
    const auto blue = WriteImage(dir, "blue.png", kBlue, 8);
    testing::internal::CaptureStdout();
    Texture* r = scene.renderer.GetTexture(red);
    Texture* g = scene.renderer.GetTexture(green);
    scene.renderer.GetTexture(red);  // red is now the more recent
    Texture* b = scene.renderer.GetTexture(blue);
    EXPECT_TRUE(r->IsLoaded());
    EXPECT_FALSE(g->IsLoaded());  // the least recently used went
    EXPECT_TRUE(b->IsLoaded());
    EXPECT_EQ(scene.renderer.TextureMemory(), 2 * each);

    // Drawn again, green comes back (and red, now the oldest, goes) with no word in the log.
    scene.Begin();
    scene.renderer.DrawSprites({Sprite(0, 0, 4, 4, green)});
    EXPECT_EQ(scene.At(1, 1), Packed(kGreen));
    EXPECT_TRUE(g->IsLoaded());
    EXPECT_FALSE(r->IsLoaded());
    EXPECT_LE(scene.renderer.TextureMemory(), 2 * each);

    // A released texture whose file has gone since shows its fallback, still silently.
    std::filesystem::remove(red);
    scene.Begin();
    scene.renderer.DrawSprites({Sprite(0, 0, 4, 4, red, kBlue)});
    EXPECT_EQ(scene.At(1, 1), Packed(kBlue));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    // One texture larger than the whole budget is still drawn.
    scene.renderer.SetTextureMemoryLimit(each / 2);
    scene.Begin();
    scene.renderer.DrawSprites({Sprite(0, 0, 4, 4, blue)});
    EXPECT_EQ(scene.At(1, 1), Packed(kBlue));
    EXPECT_TRUE(b->IsLoaded());
}
