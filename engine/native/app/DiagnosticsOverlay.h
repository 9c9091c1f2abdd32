#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/FrameStats.h"
#include "app/Log.h"
#include "render/DrawTypes.h"

namespace Quorvane {

class InputState;
class Renderer;
struct FrameSnapshot;

// What the frame asked to draw, base and extended lines together.
struct DrawCounts {
    std::size_t rects = 0;
    std::size_t sprites = 0;
    std::size_t texts = 0;
    std::size_t debugRects = 0;
};
DrawCounts CountDrawables(const FrameSnapshot& snapshot);

// The runtime's own diagnostics panel: frame, host and render times, the
// frame's draw counts and the last warnings, in the top-left corner over
// whatever the frame drew. Off until its key is pressed. A shown overlay
// allocates nothing per frame: its text lives in fixed buffers and the
// medians are refreshed now and then into scratch kept from the first time.
class DiagnosticsOverlay {
public:
    static constexpr std::uint32_t kDefaultKey = 0x72;  // F3 (a Windows virtual-key code)
    // Medians and p95 are refreshed every this many frames while shown.
    static constexpr std::int64_t kSummaryInterval = 30;
    static constexpr std::size_t kMaxLines = 6 + kRecentLogLines;
    static constexpr std::size_t kLineBytes = 160;
    static constexpr float kTextSize = 13.0f;
    static constexpr float kLineStep = 16.0f;
    static constexpr float kMargin = 8.0f;   // from the frame's corner
    static constexpr float kPadding = 6.0f;  // inside the panel
    static constexpr ColorA kPanel{0, 0, 0, 170};

    // None: no key toggles the overlay.
    void SetKey(std::optional<std::uint32_t> key) { toggleKey = key; }
    std::optional<std::uint32_t> Key() const { return toggleKey; }
    bool Shown() const { return shown; }
    void SetShown(bool value);

    // Reads the key's level (a tap shorter than a frame counts) before the
    // frame's taps are forgotten; a press shows or hides the overlay.
    void Update(const InputState& input);

    // After the frame's own drawing, before it is presented.
    void Draw(Renderer& renderer, const FrameStats& stats, const DrawCounts& counts);

    // The text of the panel for these figures; Draw uses the same lines.
    void Compose(const FrameStats::Sample& last, const FrameStats::Summary& summary, const DrawCounts& counts);
    std::size_t LineCount() const { return lineCount; }
    std::string_view Line(std::size_t index) const { return {lines[index].text, lines[index].length}; }

private:
    struct PanelLine {
        char text[kLineBytes] = {};
        std::size_t length = 0;
        ColorA color{255, 255, 255, 255};
    };

    std::optional<std::uint32_t> toggleKey = kDefaultKey;
    bool shown = false;
    bool keyWasDown = false;
    std::int64_t summarisedAt = -1;  // frames recorded when the summary was taken; -1: none yet
    FrameStats::Summary summary;
    FrameStats::Scratch scratch;
    RecentLogLine problems[kRecentLogLines];
    std::size_t problemCount = 0;
    std::uint64_t problemsVersion = 0;
    PanelLine lines[kMaxLines];
    std::size_t lineCount = 0;
};

// "F1".."F24" (any case) or a virtual-key code 1-255 as digits; "none" or ""
// disables (key empty). False, and key untouched, when the text names no key.
bool ParseOverlayKey(std::string_view text, std::optional<std::uint32_t>& key);
// "F3", or "key N" for a code without a name: for the panel's title.
void OverlayKeyName(std::uint32_t key, char (&out)[16]);

}  // namespace Quorvane
