#include "app/DiagnosticsOverlay.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/InputState.h"
#include "render/Renderer.h"
#include "scripting/FrameSnapshot.h"

namespace Quorvane {
namespace {

constexpr ColorA kTitleColor{150, 220, 255, 255};
constexpr ColorA kTextColor{255, 255, 255, 255};
constexpr ColorA kWarnColor{255, 210, 90, 255};
constexpr ColorA kErrorColor{255, 120, 120, 255};

// Appends to a fixed line, cutting what does not fit; numbers through to_chars
// so the process locale never changes a decimal point.
class LineWriter {
public:
    LineWriter(char* text, std::size_t capacity, std::size_t& length) : text(text), capacity(capacity), length(length) {
        length = 0;
    }
    LineWriter& operator<<(std::string_view part) {
        const std::size_t room = capacity - length;
        std::size_t take = std::min(part.size(), room);
        if (take < part.size()) {
            while (take > 0 && (static_cast<unsigned char>(part[take]) & 0xC0) == 0x80) --take;
        }
        std::memcpy(text + length, part.data(), take);
        length += take;
        return *this;
    }
    LineWriter& Milliseconds(double value) {
        if (value < 0.0) return *this << "-";
        char digits[32];
        const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
        return *this << std::string_view(digits, static_cast<std::size_t>(result.ptr - digits));
    }
    LineWriter& Whole(std::int64_t value) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        return *this << std::string_view(digits, static_cast<std::size_t>(result.ptr - digits));
    }

private:
    char* text;
    std::size_t capacity;
    std::size_t& length;
};

}  // namespace

DrawCounts CountDrawables(const FrameSnapshot& snapshot) {
    DrawCounts counts{snapshot.rects.size(), snapshot.sprites.size(), 0, snapshot.debugRects.size()};
    for (const DrawItem& item : snapshot.items) {
        switch (item.kind) {
            case DrawKind::Rect: ++counts.rects; break;
            case DrawKind::Sprite: ++counts.sprites; break;
            case DrawKind::Text: ++counts.texts; break;
            case DrawKind::DebugRect: ++counts.debugRects; break;
        }
    }
    return counts;
}

void DiagnosticsOverlay::SetShown(bool value) {
    // Shown again, the figures are fresh at once rather than from when it was hidden.
    if (value && !shown) summarisedAt = -1;
    shown = value;
}

void DiagnosticsOverlay::Update(const InputState& input) {
    const bool down = toggleKey && input.IsKeyDown(*toggleKey);
    if (down && !keyWasDown) SetShown(!shown);
    keyWasDown = down;
}

void DiagnosticsOverlay::Compose(const FrameStats::Sample& last, const FrameStats::Summary& figures,
                                 const DrawCounts& counts) {
    lineCount = 0;
    const auto line = [&](ColorA color) {
        PanelLine& next = lines[lineCount++];
        next.color = color;
        return LineWriter(next.text, kLineBytes, next.length);
    };
    char keyName[16] = "no key";
    if (toggleKey) OverlayKeyName(*toggleKey, keyName);
    line(kTitleColor) << "Diagnostics (" << keyName << ")";
    // Medians and p95 are over the recent frames (up to FrameStats::kWindow).
    {
        LineWriter writer = line(kTextColor);
        writer << "frame ";
        writer.Milliseconds(last.periodMs) << " ms   median ";
        writer.Milliseconds(figures.frames > 1 ? figures.medianMs : -1.0) << "   p95 ";
        writer.Milliseconds(figures.frames > 1 ? figures.p95Ms : -1.0);
    }
    {
        LineWriter writer = line(kTextColor);
        writer << "host ";
        writer.Milliseconds(last.hostMs) << " ms   median ";
        writer.Milliseconds(figures.frames > 0 ? figures.hostMs : -1.0);
    }
    {
        LineWriter writer = line(kTextColor);
        writer << "render ";
        writer.Milliseconds(last.renderMs) << " ms   median ";
        writer.Milliseconds(figures.frames > 0 ? figures.renderMs : -1.0);
    }
    {
        LineWriter writer = line(kTextColor);
        writer << "draws ";
        writer.Whole(static_cast<std::int64_t>(counts.rects)) << " rects, ";
        writer.Whole(static_cast<std::int64_t>(counts.sprites)) << " sprites, ";
        writer.Whole(static_cast<std::int64_t>(counts.texts)) << " texts, ";
        writer.Whole(static_cast<std::int64_t>(counts.debugRects)) << " debug rects";
    }
    if (last.hostAllocatedBytes >= 0) {
        LineWriter writer = line(kTextColor);
        writer << "host allocated ";
        writer.Whole(last.hostAllocatedBytes) << " bytes";
    }
    for (std::size_t i = 0; i < problemCount; ++i) {
        const RecentLogLine& problem = problems[i];
        line(problem.error ? kErrorColor : kWarnColor)
            << (problem.error ? "error: " : "warn: ") << std::string_view(problem.text, problem.length);
    }
}

void DiagnosticsOverlay::Draw(Renderer& renderer, const FrameStats& stats, const DrawCounts& counts) {
    if (!shown) return;
    if (summarisedAt < 0 || stats.Frames() - summarisedAt >= kSummaryInterval) {
        summary = stats.Summarise(scratch);
        summarisedAt = stats.Frames();
    }
    if (const std::uint64_t version = RecentProblemsVersion(); version != problemsVersion) {
        problemCount = CopyRecentProblems(problems);
        problemsVersion = version;
    }
    Compose(stats.Last(), summary, counts);

    float width = 0.0f;
    for (std::size_t i = 0; i < lineCount; ++i) {
        width = std::max(width, renderer.MeasureScreenText(Line(i), kTextSize).width);
    }
    const PixelView frame = renderer.Pixels();
    // A long warning is cut by the frame's edge, not the panel's.
    width = std::min(width + 2 * kPadding, std::max(static_cast<float>(frame.width) - 2 * kMargin, 0.0f));
    const float height = static_cast<float>(lineCount) * kLineStep + 2 * kPadding;
    renderer.FillScreenRect(kMargin, kMargin, width, height, kPanel);
    for (std::size_t i = 0; i < lineCount; ++i) {
        renderer.DrawScreenText(Line(i), kMargin + kPadding, kMargin + kPadding + static_cast<float>(i) * kLineStep,
                                kTextSize, lines[i].color);
    }
}

bool ParseOverlayKey(std::string_view text, std::optional<std::uint32_t>& key) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    const auto equals = [&](std::string_view word) {
        return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(),
                                                        [&](char a, char b) { return lower(a) == b; });
    };
    if (text.empty() || equals("none")) {
        key.reset();
        return true;
    }
    unsigned number = 0;
    const bool function = lower(text[0]) == 'f' && text.size() > 1;
    const char* begin = text.data() + (function ? 1 : 0);
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(begin, end, number);
    if (result.ec != std::errc{} || result.ptr != end) return false;
    if (function ? number < 1 || number > 24 : number < 1 || number > 255) return false;
    key = function ? 0x70u + number - 1 : number;
    return true;
}

void OverlayKeyName(std::uint32_t key, char (&out)[16]) {
    std::size_t length = 0;
    LineWriter writer(out, sizeof out - 1, length);
    if (key >= 0x70 && key <= 0x87) {
        writer << "F";
        writer.Whole(key - 0x70 + 1);
    } else {
        writer << "key ";
        writer.Whole(key);
    }
    out[length] = '\0';
}

}  // namespace Quorvane
