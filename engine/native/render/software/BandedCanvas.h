#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "render/software/SoftwareCanvas.h"

namespace Quorvane {

// The software canvas drawn by several threads. The frame's drawing calls are
// recorded in order; when the frame is presented (or its pixels are read) every
// thread replays all of them into its own band of rows. A band's pixels are
// exactly those the single-threaded canvas gives, since each call treats every
// row on its own. Recording reuses its memory: a steady frame allocates nothing.
class BandedCanvas final : public Canvas {
public:
    explicit BandedCanvas(int threads);
    ~BandedCanvas() override;
    BandedCanvas(const BandedCanvas&) = delete;
    BandedCanvas& operator=(const BandedCanvas&) = delete;

    void Resize(std::int32_t width, std::int32_t height) override;
    std::int32_t Width() const override { return canvas.Width(); }
    std::int32_t Height() const override { return canvas.Height(); }
    void FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) override;
    void OutlineRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) override;
    void DrawImage(const CanvasImage& image, float x, float y, float width, float height, bool flipX, bool flipY) override;
    void BlendRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, ColorA color) override;
    void DrawImageEx(const CanvasImage& image, const ImageDraw& draw) override;
    void BlendMask(const std::uint8_t* mask, std::int32_t stride, std::int32_t width, std::int32_t height, std::int32_t x,
                   std::int32_t y, ColorA color) override;
    std::unique_ptr<CanvasImage> LoadImage(const std::filesystem::path& path) override;
    void Present(Window& window) override;
    PixelView Pixels() const override;

    // Every band, the first included, drawn on worker threads; the next call
    // of any kind waits for them.
    void StartDrawing() override;

    // Draws what was recorded; Present and Pixels do it themselves.
    void Flush();

private:
    enum class Kind : std::uint8_t { Fill, Outline, Image, Blend, ImageEx, Mask };
    struct Command {
        Kind kind;
        bool flipX = false, flipY = false;
        std::int32_t left = 0, top = 0, right = 0, bottom = 0;  // rectangles; masks: x, y, width, height
        Color color;
        ColorA colorA;
        const CanvasImage* image = nullptr;
        float x = 0, y = 0, width = 0, height = 0;
        std::size_t maskOffset = 0;  // into masks, rows packed without padding
        ImageDraw draw;
    };

    void Replay(SoftwareCanvas& band) const;
    void Work(std::size_t index);
    // Hands bands 1.. to the helpers; band 0 too when the lead thread draws it.
    void StartBands(bool lead);
    // Waits for drawing started by StartDrawing, if any, and forgets its calls.
    void Finish();

    SoftwareCanvas canvas;                // owns the pixels, draws the first band
    std::vector<SoftwareCanvas> helpers;  // one per further band, each with its own scratch
    std::vector<Command> commands;
    std::vector<std::uint8_t> masks;      // glyph coverage copied at record time: atlases may move
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable wake, done;
    std::uint64_t generation = 0;
    std::uint64_t leadGeneration = 0;  // advanced when the lead thread draws band 0
    std::size_t pending = 0;
    bool stopping = false;
    bool drawing = false;  // StartDrawing's bands may still be at work
    std::thread lead;      // draws band 0 for StartDrawing; started on first use
};

// Render threads for CreateSoftwareCanvas: 1 draws on the calling thread alone.
// The default is QUORVANE_RENDER_THREADS when set, else the hardware threads (at most 4).
void SetRenderThreads(int threads);
int RenderThreads();

}  // namespace Quorvane
