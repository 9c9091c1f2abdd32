#include "platform/InputState.h"

#include <algorithm>
#include <cmath>

namespace Quorvane {
namespace {

template <std::size_t N>
std::string FormatPressed(const std::array<bool, N>& table, const std::array<bool, N>& tapped,
                          std::optional<std::uint32_t> hidden = std::nullopt) {
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        if (!table[i] && !tapped[i]) continue;
        if (hidden && *hidden == i) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(i);
    }
    return text;
}

// The length of the longest prefix of text (at most limit bytes) that does not
// end inside a UTF-8 sequence.
std::size_t WholeCharacters(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return end;
}

}  // namespace

void InputState::SetKey(std::uint32_t key, bool down) {
    if (key >= keys.size()) return;
    keys[key] = down;
    if (down) keysTapped[key] = true;
}

void InputState::SetMouseButton(std::uint32_t button, bool down) {
    if (button >= mouseButtons.size()) return;
    mouseButtons[button] = down;
    if (down) buttonsTapped[button] = true;
}

void InputState::EndFrame() {
    keysTapped.fill(false);
    buttonsTapped.fill(false);
}

void InputState::SetMousePosition(std::int32_t x, std::int32_t y) {
    mouseX = x;
    mouseY = y;
}

void InputState::ReleaseAll() {
    // A window without the focus reports nothing down, latched taps included.
    keys.fill(false);
    mouseButtons.fill(false);
    keysTapped.fill(false);
    buttonsTapped.fill(false);
}

void InputState::AddWheel(float notchesX, float notchesY) {
    if (std::isfinite(notchesX)) wheelX += notchesX;
    if (std::isfinite(notchesY)) wheelY += notchesY;
}

void InputState::AddText(std::string_view utf8) {
    const std::size_t room = kMaxTextBytes - std::min(text.size(), kMaxTextBytes);
    text.append(utf8.substr(0, WholeCharacters(utf8, room)));
}

void InputState::ClearFrameEvents() {
    wheelX = 0.0f;
    wheelY = 0.0f;
    text.clear();
}

std::string InputState::FormatPressedKeys() const { return FormatPressed(keys, keysTapped, hiddenKey); }
std::string InputState::FormatPressedButtons() const { return FormatPressed(mouseButtons, buttonsTapped); }

void ApplyStickDeadZone(float rawX, float rawY, float& x, float& y) {
    x = 0.0f;
    y = 0.0f;
    if (!std::isfinite(rawX) || !std::isfinite(rawY)) return;
    const float magnitude = std::sqrt(rawX * rawX + rawY * rawY);
    if (magnitude <= kStickDeadZone) return;
    const float scaled = std::min((magnitude - kStickDeadZone) / (1.0f - kStickDeadZone), 1.0f);
    x = std::clamp(rawX / magnitude * scaled, -1.0f, 1.0f);
    y = std::clamp(rawY / magnitude * scaled, -1.0f, 1.0f);
}

float ApplyTriggerDeadZone(float raw) {
    if (!std::isfinite(raw) || raw <= kTriggerDeadZone) return 0.0f;
    return std::min((raw - kTriggerDeadZone) / (1.0f - kTriggerDeadZone), 1.0f);
}

InputState& ProcessInputState() {
    static InputState state;
    return state;
}

}  // namespace Quorvane
