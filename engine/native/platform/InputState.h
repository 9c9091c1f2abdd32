#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Quorvane {

// Levels, not events: what is down when the frame is sent. Key indices are
// Windows virtual-key codes on every platform; buttons 0 left, 1 right, 2 middle.
// A key or button that went down and up again since the last frame still reads
// as down once, so a quick tap is never lost; EndFrame forgets such taps.
class InputState {
public:
    void SetKey(std::uint32_t key, bool down);
    void SetMouseButton(std::uint32_t button, bool down);
    void SetMousePosition(std::int32_t x, std::int32_t y);
    // Called once the frame's input has been sent: a tap counts for one frame only.
    void EndFrame();

    std::string FormatPressedKeys() const;     // "16,65", or "" when none
    std::string FormatPressedButtons() const;  // "0,2", or ""
    std::int32_t GetMouseX() const { return mouseX; }
    std::int32_t GetMouseY() const { return mouseY; }

private:
    std::array<bool, 256> keys{};
    std::array<bool, 8> mouseButtons{};
    std::array<bool, 256> keysTapped{};  // went down since the last EndFrame
    std::array<bool, 8> buttonsTapped{};
    std::int32_t mouseX = 0;
    std::int32_t mouseY = 0;
};

// The one process-wide record that the window writes and the frame exchange reads.
InputState& ProcessInputState();

}  // namespace Quorvane
