#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
};

// The desktop window of this platform.
std::unique_ptr<Window> CreatePlatformWindow();
// No OS window: the client size is the configured size and no close ever comes.
std::unique_ptr<Window> CreateHeadlessWindow();

}  // namespace Quorvane
