#include "platform/InputState.h"

namespace Quorvane {
namespace {

template <std::size_t N>
std::string FormatPressed(const std::array<bool, N>& table, const std::array<bool, N>& tapped) {
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        if (!table[i] && !tapped[i]) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(i);
    }
    return text;
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

std::string InputState::FormatPressedKeys() const { return FormatPressed(keys, keysTapped); }
std::string InputState::FormatPressedButtons() const { return FormatPressed(mouseButtons, buttonsTapped); }

InputState& ProcessInputState() {
    static InputState state;
    return state;
}

}  // namespace Quorvane
