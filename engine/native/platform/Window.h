#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Presentation.h"

namespace Quorvane {

struct ClientSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// A frame's pixels, 0x00RRGGBB per pixel, rows top to bottom.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;  // pixels from one row to the next
};

// The one top-level window. What a backend provides:
class Window {
public:
    virtual ~Window() = default;
    // Opens the window with that client size and title (UTF-8). On failure it has
    // logged why ("Failed to create Win32 window." on Windows; on Linux the cause
    // and the fix, such as no display) and returns false.
    virtual bool Create(std::int32_t width, std::int32_t height, const std::string& title) = 0;
    // Handles every pending event without waiting, feeding the process InputState;
    // false once a close was requested (it stays false).
    virtual bool PumpMessages() = 0;
    // The client area's current size in pixels.
    virtual ClientSize GetClientSize() const = 0;
    // Shows a finished frame in the client area.
    virtual void Present(const PixelView& frame) = 0;
    // The platform handle (HWND on Windows), or null.
    virtual void* NativeHandle() const { return nullptr; }

    // Window control for games that ask for it (the "input" extension and
    // project.json). Each has a do-nothing default, so a backend without the
    // feature still builds and runs.
    virtual void SetTitle(const std::string& /*utf8*/) {}
    virtual void SetFullscreen(bool /*on*/) {}  // desktop fullscreen
    virtual bool IsFullscreen() const { return false; }
    virtual void SetCursorVisible(bool /*visible*/) {}
    virtual void SetResizable(bool /*resizable*/) {}
    // Alt+Enter and F11 toggle fullscreen while this is on (off by default).
    virtual void SetFullscreenToggle(bool /*enabled*/) {}
    virtual bool IsFocused() const { return true; }
    // Frames of the logical size are scaled into the window that way, and mouse
    // positions are reported in logical pixels. ScaleMode::None: as specified.
    virtual void SetScaling(ScaleMode /*mode*/, std::int32_t /*logicalWidth*/, std::int32_t /*logicalHeight*/) {}
    // Where a canvas that presents itself puts a frame of that size: the frame
    // at its own size in the corner unless a scale mode says otherwise.
    virtual PresentRect PresentTarget(std::int32_t frameWidth, std::int32_t frameHeight) const {
        return {0, 0, frameWidth, frameHeight};
    }
};

// The desktop window of this platform.
std::unique_ptr<Window> CreatePlatformWindow();
// No OS window: the client size is the configured size and no close ever comes.
std::unique_ptr<Window> CreateHeadlessWindow();

}  // namespace Quorvane
