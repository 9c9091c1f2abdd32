#include "platform/InputState.h"

namespace Quorvane {
namespace {

template <std::size_t N>
std::string FormatPressed(const std::array<bool, N>& table) {
    std::string text;
    for (std::size_t i = 0; i < N; ++i) {
        if (!table[i]) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(i);
    }
    return text;
}

}  // namespace

void InputState::SetKey(std::uint32_t key, bool down) {
    if (key < keys.size()) keys[key] = down;
}

void InputState::SetMouseButton(std::uint32_t button, bool down) {
    if (button < mouseButtons.size()) mouseButtons[button] = down;
}

void InputState::SetMousePosition(std::int32_t x, std::int32_t y) {
    mouseX = x;
    mouseY = y;
}

std::string InputState::FormatPressedKeys() const { return FormatPressed(keys); }
std::string InputState::FormatPressedButtons() const { return FormatPressed(mouseButtons); }

InputState& ProcessInputState() {
    static InputState state;
    return state;
}

}  // namespace Quorvane
