#include "app/ErrorScreen.h"

#include <algorithm>

namespace Quorvane {
namespace {

constexpr float kMargin = 32.0f;
constexpr float kTitleSize = 30.0f;
constexpr float kLineSize = 17.0f;
constexpr float kLineStep = 22.0f;
constexpr Color kBackground{40, 14, 18};
constexpr ColorA kBand{150, 30, 38, 255};
constexpr ColorA kTitleColor{255, 255, 255, 255};
constexpr ColorA kTextColor{255, 224, 224, 255};
constexpr ColorA kHintColor{255, 190, 150, 255};
constexpr const char* kHint = "Close the window to quit (exit code 2).";

// Greedy wrapping: break after the last blank that fits, or inside a word that
// alone is wider than the line (long paths).
std::vector<std::string> Wrap(Renderer& renderer, const std::string& text, float width) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        while (!line.empty() && renderer.MeasureScreenText(line, kLineSize).width > width) {
            // The longest prefix that fits, found by bisection over byte lengths.
            std::size_t low = 1, high = line.size();
            while (low < high) {
                const std::size_t mid = (low + high + 1) / 2;
                if (renderer.MeasureScreenText(line.substr(0, mid), kLineSize).width <= width) low = mid;
                else high = mid - 1;
            }
            // Never cut inside a UTF-8 sequence.
            while (low > 1 && low < line.size() && (static_cast<unsigned char>(line[low]) & 0xC0) == 0x80) --low;
            std::size_t cut = low;
            const std::size_t blank = line.substr(0, low).rfind(' ');
            if (blank != std::string_view::npos && blank > low / 2) cut = blank + 1;
            out.emplace_back(line.substr(0, cut));
            line.remove_prefix(cut);
        }
        out.emplace_back(line);
        start = end + 1;
    }
    return out;
}

}  // namespace

void DrawErrorScreen(Renderer& renderer, const ErrorScreen& screen) {
    renderer.BeginFrame(kBackground);
    const PixelView pixels = renderer.Pixels();
    const float width = static_cast<float>(pixels.width);
    const float height = static_cast<float>(pixels.height);
    const float textWidth = std::max(width - 2 * kMargin, 40.0f);

    renderer.FillScreenRect(0, 0, width, kMargin + kTitleSize + 20, kBand);
    renderer.DrawScreenText(screen.title, kMargin, kMargin * 0.6f, kTitleSize, kTitleColor);

    float y = kMargin + kTitleSize + 40;
    const float bottom = height - kMargin - kLineStep;  // the hint's line stays free
    for (const std::string& entry : screen.lines) {
        for (const std::string& line : Wrap(renderer, entry, textWidth)) {
            if (y + kLineSize > bottom) break;
            renderer.DrawScreenText(line, kMargin, y, kLineSize, kTextColor);
            y += kLineStep;
        }
    }
    renderer.DrawScreenText(kHint, kMargin, height - kMargin - kLineSize, kLineSize, kHintColor);
}

}  // namespace Quorvane
