#pragma once

#include <array>
#include <cstdint>

namespace Quorvane {

// Up to four pads, numbered 0..3 in the order they were connected; a slot
// freed by a disconnect is reused by the next pad.
constexpr std::size_t kMaxGamepads = 4;

// Bit i of GamepadState::buttons, in the order of the C# GamepadButton enum.
enum class GamepadButton : std::uint32_t {
    A, B, X, Y, LeftShoulder, RightShoulder, Back, Start, Guide, LeftStick, RightStick,
    DPadUp, DPadDown, DPadLeft, DPadRight, Count
};

struct GamepadState {
    bool connected = false;
    std::uint32_t buttons = 0;
    float leftX = 0.0f, leftY = 0.0f;    // -1..1, y positive down, dead zone applied
    float rightX = 0.0f, rightY = 0.0f;
    float leftTrigger = 0.0f, rightTrigger = 0.0f;  // 0..1

    void SetButton(GamepadButton button, bool down) {
        const std::uint32_t bit = 1u << static_cast<std::uint32_t>(button);
        buttons = down ? (buttons | bit) : (buttons & ~bit);
    }
};

// Sticks rest a little off centre; below this radius they read as centred.
constexpr float kStickDeadZone = 0.24f;
// Triggers creep too; below this they read as released.
constexpr float kTriggerDeadZone = 0.12f;

// A radial dead zone, rescaled so the stick still reaches full deflection and
// leaves the zone without a jump. Raw and result axes are -1..1.
void ApplyStickDeadZone(float rawX, float rawY, float& x, float& y);
// 0..1 with the trigger dead zone, rescaled.
float ApplyTriggerDeadZone(float raw);

}  // namespace Quorvane
