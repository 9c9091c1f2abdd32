#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Gamepad.h"

namespace Quorvane {

// Levels, not events: what is down when the frame is sent. Key indices are
// Windows virtual-key codes on every platform; buttons 0 left, 1 right, 2 middle.
// A key or button that went down and up again since the last frame still reads
// as down once, so a quick tap is never lost; EndFrame forgets such taps.
// Wheel notches and typed text are the exception: they add up between two
// frames and ClearFrameEvents() starts the next frame's count.
class InputState {
public:
    void SetKey(std::uint32_t key, bool down);
    void SetMouseButton(std::uint32_t button, bool down);
    void SetMousePosition(std::int32_t x, std::int32_t y);
    // Called once the frame's input has been sent: a tap counts for one frame only.
    void EndFrame();
    // Focus loss: nothing stays held that the window will never see released.
    void ReleaseAll();

    void AddWheel(float notchesX, float notchesY);
    void AddText(std::string_view utf8);
    void SetFocused(bool value) { focused = value; }
    GamepadState& Gamepad(std::size_t index) { return gamepads[index]; }
    void ClearFrameEvents();

    // A key the runtime keeps for itself (the overlay key of a host that speaks
    // "input"): still read by IsKeyDown, never listed to the host.
    void HideKey(std::optional<std::uint32_t> key) { hiddenKey = key; }
    // Down now, or tapped since the last EndFrame.
    bool IsKeyDown(std::uint32_t key) const { return key < keys.size() && (keys[key] || keysTapped[key]); }

    std::string FormatPressedKeys() const;     // "16,65", or "" when none
    std::string FormatPressedButtons() const;  // "0,2", or ""
    std::int32_t GetMouseX() const { return mouseX; }
    std::int32_t GetMouseY() const { return mouseY; }
    float WheelX() const { return wheelX; }
    float WheelY() const { return wheelY; }
    const std::string& Text() const { return text; }
    bool Focused() const { return focused; }
    const GamepadState& Gamepad(std::size_t index) const { return gamepads[index]; }

    // Typing far ahead of the frames (a paste, a stuck key) keeps at most this much.
    static constexpr std::size_t kMaxTextBytes = 4096;

private:
    std::array<bool, 256> keys{};
    std::array<bool, 8> mouseButtons{};
    std::array<bool, 256> keysTapped{};  // went down since the last EndFrame
    std::array<bool, 8> buttonsTapped{};
    std::int32_t mouseX = 0;
    std::int32_t mouseY = 0;
    float wheelX = 0.0f;
    float wheelY = 0.0f;
    std::string text;
    bool focused = true;
    std::optional<std::uint32_t> hiddenKey;
    std::array<GamepadState, kMaxGamepads> gamepads{};
};

// The one process-wide record that the window writes and the frame exchange reads.
InputState& ProcessInputState();

}  // namespace Quorvane
