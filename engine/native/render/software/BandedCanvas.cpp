#include "render/software/BandedCanvas.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace Quorvane {
namespace {

constexpr int kMaxThreads = 16;

int DefaultThreads() {
    if (const char* text = std::getenv("QUORVANE_RENDER_THREADS"); text != nullptr && *text != '\0') {
        return std::clamp(std::atoi(text), 1, kMaxThreads);
    }
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
}

std::atomic<int> renderThreads{0};  // 0: not chosen yet

}  // namespace

void SetRenderThreads(int threads) { renderThreads = std::clamp(threads, 1, kMaxThreads); }

int RenderThreads() {
    if (renderThreads.load() == 0) renderThreads = DefaultThreads();
    return renderThreads.load();
}

std::unique_ptr<Canvas> CreateSoftwareCanvas() {
    const int threads = RenderThreads();
    if (threads <= 1) return std::make_unique<SoftwareCanvas>();
    return std::make_unique<BandedCanvas>(threads);
}

BandedCanvas::BandedCanvas(int threadCount) : helpers(static_cast<std::size_t>(std::max(threadCount, 2) - 1)) {
    threads.reserve(helpers.size());
    for (std::size_t i = 0; i < helpers.size(); ++i) {
        try {
            threads.emplace_back([this, i] { Work(i); });
        } catch (const std::system_error&) {
            // No more threads to be had: the bands that have one are drawn, the
            // rest of the rows fall to the calling thread's band.
            helpers.resize(threads.size());
            break;
        }
    }
}

BandedCanvas::~BandedCanvas() {
    Finish();
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads) thread.join();
    if (lead.joinable()) lead.join();
}

void BandedCanvas::Resize(std::int32_t width, std::int32_t height) {
    Flush();
    canvas.Resize(width, height);
}

void BandedCanvas::FillRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) {
    Finish();
    Command& c = commands.emplace_back();
    c.kind = Kind::Fill;
    c.left = left, c.top = top, c.right = right, c.bottom = bottom, c.color = color;
}

void BandedCanvas::OutlineRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, Color color) {
    Finish();
    Command& c = commands.emplace_back();
    c.kind = Kind::Outline;
    c.left = left, c.top = top, c.right = right, c.bottom = bottom, c.color = color;
}

void BandedCanvas::BlendRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom, ColorA color) {
    Finish();
    Command& c = commands.emplace_back();
    c.kind = Kind::Blend;
    c.left = left, c.top = top, c.right = right, c.bottom = bottom, c.colorA = color;
}

void BandedCanvas::DrawImage(const CanvasImage& image, float x, float y, float width, float height, bool flipX, bool flipY) {
    Finish();
    Command& c = commands.emplace_back();
    c.kind = Kind::Image;
    c.image = &image;
    c.x = x, c.y = y, c.width = width, c.height = height, c.flipX = flipX, c.flipY = flipY;
}

void BandedCanvas::DrawImageEx(const CanvasImage& image, const ImageDraw& draw) {
    Finish();
    Command& c = commands.emplace_back();
    c.kind = Kind::ImageEx;
    c.image = &image;
    c.draw = draw;
}

void BandedCanvas::BlendMask(const std::uint8_t* mask, std::int32_t stride, std::int32_t width, std::int32_t height,
                             std::int32_t x, std::int32_t y, ColorA color) {
    Finish();
    if (width <= 0 || height <= 0 || color.a == 0) return;
    Command& c = commands.emplace_back();
    c.kind = Kind::Mask;
    c.left = x, c.top = y, c.right = width, c.bottom = height, c.colorA = color;
    c.maskOffset = masks.size();
    masks.resize(masks.size() + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::int32_t row = 0; row < height; ++row) {
        std::memcpy(masks.data() + c.maskOffset + static_cast<std::size_t>(row) * width,
                    mask + static_cast<std::ptrdiff_t>(row) * stride, static_cast<std::size_t>(width));
    }
}

std::unique_ptr<CanvasImage> BandedCanvas::LoadImage(const std::filesystem::path& path) {
    // A new image may push an old one out of the caller's cache: not while a band draws it.
    Finish();
    return canvas.LoadImage(path);
}

void BandedCanvas::Present(Window& window) {
    Flush();
    canvas.Present(window);
}

PixelView BandedCanvas::Pixels() const {
    // Reading pixels is a point where the recorded calls must have been drawn.
    const_cast<BandedCanvas*>(this)->Flush();
    return canvas.Pixels();
}

void BandedCanvas::Replay(SoftwareCanvas& band) const {
    for (const Command& c : commands) {
        switch (c.kind) {
            case Kind::Fill: band.FillRect(c.left, c.top, c.right, c.bottom, c.color); break;
            case Kind::Outline: band.OutlineRect(c.left, c.top, c.right, c.bottom, c.color); break;
            case Kind::Blend: band.BlendRect(c.left, c.top, c.right, c.bottom, c.colorA); break;
            case Kind::Image: band.DrawImage(*c.image, c.x, c.y, c.width, c.height, c.flipX, c.flipY); break;
            case Kind::ImageEx: band.DrawImageEx(*c.image, c.draw); break;
            case Kind::Mask:
                band.BlendMask(masks.data() + c.maskOffset, c.right, c.right, c.bottom, c.left, c.top, c.colorA);
                break;
        }
    }
}

void BandedCanvas::StartBands(bool leadBand) {
    const std::int32_t height = canvas.Height();
    const auto bands = static_cast<std::int32_t>(helpers.size() + 1);
    const auto edge = [&](std::int32_t band) {
        return static_cast<std::int32_t>(static_cast<std::int64_t>(height) * band / bands);
    };
    for (std::int32_t i = 1; i < bands; ++i) helpers[static_cast<std::size_t>(i - 1)].DrawInto(canvas, edge(i), edge(i + 1));
    canvas.SetBand(0, edge(1));
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending = helpers.size() + (leadBand ? 1 : 0);
        ++generation;
        if (leadBand) ++leadGeneration;
    }
    wake.notify_all();
}

void BandedCanvas::Flush() {
    Finish();
    if (commands.empty()) return;
    StartBands(false);
    Replay(canvas);
    drawing = true;
    Finish();
}

void BandedCanvas::StartDrawing() {
    Finish();
    if (commands.empty()) return;
    if (!lead.joinable()) {
        try {
            lead = std::thread([this] { Work(helpers.size()); });
        } catch (const std::system_error&) {
            Flush();  // no thread to be had: drawn now, as Present would
            return;
        }
    }
    StartBands(true);
    drawing = true;
}

void BandedCanvas::Finish() {
    if (!drawing) return;
    {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return pending == 0; });
    }
    drawing = false;
    canvas.SetBand(0, INT32_MAX);
    commands.clear();
    masks.clear();
}

void BandedCanvas::Work(std::size_t index) {
    // The helper past the last draws band 0 into the canvas itself.
    const bool leadBand = index == helpers.size();
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            const std::uint64_t& counter = leadBand ? leadGeneration : generation;
            wake.wait(lock, [&] { return stopping || counter != seen; });
            if (stopping) return;
            seen = counter;
        }
        Replay(leadBand ? canvas : helpers[index]);
        {
            std::lock_guard<std::mutex> lock(mutex);
            --pending;
        }
        done.notify_one();
    }
}

}  // namespace Quorvane
