#include <windows.h>

#include <algorithm>
#include <vector>

#include "app/Log.h"
#include "platform/InputState.h"
#include "platform/Window.h"
#include "platform/win32/WideText.h"
#include "platform/win32/XInputPads.h"

namespace Quorvane {
namespace {

constexpr wchar_t kClassName[] = L"QuorvaneWindow";
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;  // 0x00CF0000

class Win32Window final : public Window {
public:
    ~Win32Window() override {
        if (hwnd != nullptr) DestroyWindow(hwnd);
    }

    bool Create(std::int32_t requestedWidth, std::int32_t requestedHeight, const std::string& title) override {
        width = requestedWidth;
        height = requestedHeight;
        const HINSTANCE instance = GetModuleHandleW(nullptr);

        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = 0;  // no CS_DBLCLKS: a double click stays two ordinary clicks
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = nullptr;  // the renderer's present is the only painting
        wc.lpszClassName = kClassName;
        RegisterClassExW(&wc);  // an existing registration of the same class serves as well

        RECT rect{0, 0, width, height};
        AdjustWindowRect(&rect, kStyle, FALSE);
        const std::wstring wideTitle = WidenText(title);
        hwnd = CreateWindowExW(0, kClassName, wideTitle.c_str(), kStyle | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                               rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, this);
        if (hwnd == nullptr) {
            LogError("Failed to create Win32 window.");
            return false;
        }
        return true;
    }

    bool PumpMessages() override {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        pads.Update(ProcessInputState());
        return !closeRequested;
    }

    void SetTitle(const std::string& utf8) override {
        if (hwnd != nullptr) SetWindowTextW(hwnd, WidenText(utf8).c_str());
    }

    // Desktop fullscreen: a borderless window over the whole monitor, at its resolution.
    void SetFullscreen(bool on) override {
        if (hwnd == nullptr || on == fullscreen) return;
        if (on) {
            windowedStyle = GetWindowLongW(hwnd, GWL_STYLE);
            windowedPlacement.length = sizeof windowedPlacement;
            GetWindowPlacement(hwnd, &windowedPlacement);
            MONITORINFO monitor{};
            monitor.cbSize = sizeof monitor;
            if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &monitor)) return;
            SetWindowLongW(hwnd, GWL_STYLE, (windowedStyle & ~WS_OVERLAPPEDWINDOW) | WS_POPUP);
            const RECT& area = monitor.rcMonitor;
            SetWindowPos(hwnd, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOOWNERZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
        } else {
            SetWindowLongW(hwnd, GWL_STYLE, windowedStyle);
            SetWindowPlacement(hwnd, &windowedPlacement);
            SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
        }
        fullscreen = on;
    }
    bool IsFullscreen() const override { return fullscreen; }

    void SetCursorVisible(bool visible) override {
        cursorVisible = visible;
        POINT point{};
        RECT client{};
        // Takes effect at once when the cursor is over us; WM_SETCURSOR keeps it so.
        if (hwnd != nullptr && GetCursorPos(&point) && ScreenToClient(hwnd, &point) && GetClientRect(hwnd, &client) &&
            PtInRect(&client, point)) {
            SetCursor(visible ? LoadCursorW(nullptr, IDC_ARROW) : nullptr);
        }
    }

    void SetResizable(bool resizable) override {
        if (hwnd == nullptr) return;
        const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
        const LONG frame = WS_THICKFRAME | WS_MAXIMIZEBOX;
        SetWindowLongW(hwnd, GWL_STYLE, resizable ? (style | frame) : (style & ~frame));
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }

    void SetScaling(ScaleMode mode, std::int32_t logicalWidth, std::int32_t logicalHeight) override {
        scaleMode = mode;
        logical = {std::max(logicalWidth, 1), std::max(logicalHeight, 1)};
    }
    PresentRect PresentTarget(std::int32_t frameWidth, std::int32_t frameHeight) const override {
        if (scaleMode == ScaleMode::None) return {0, 0, frameWidth, frameHeight};
        const ClientSize client = GetClientSize();
        return ComputePresentRect(scaleMode, logical.width, logical.height, client.width, client.height);
    }

    void SetFullscreenToggle(bool enabled) override { fullscreenToggle = enabled; }
    bool IsFocused() const override { return focused; }

    ClientSize GetClientSize() const override {
        RECT rect{};
        if (hwnd != nullptr) GetClientRect(hwnd, &rect);
        return {rect.right - rect.left, rect.bottom - rect.top};
    }

    void Present(const PixelView& frame) override {
        if (hwnd == nullptr || frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0) return;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = frame.stride;
        info.bmiHeader.biHeight = -frame.height;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        const HDC dc = GetDC(hwnd);
        SetDIBitsToDevice(dc, 0, 0, frame.width, frame.height, 0, 0, 0, frame.height, frame.pixels, &info, DIB_RGB_COLORS);
        ReleaseDC(hwnd, dc);
    }

    void* NativeHandle() const override { return hwnd; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        Win32Window* window = nullptr;
        if (message == WM_NCCREATE) {
            window = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
        } else {
            window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        InputState& input = ProcessInputState();
        switch (message) {
            case WM_CLOSE:
            case WM_DESTROY:
                // The close box only ends the main loop; the window is destroyed with the Application.
                if (window != nullptr) window->closeRequested = true;
                return 0;
            case WM_KEYDOWN:
                if (window != nullptr && window->fullscreenToggle && wParam == VK_F11) {
                    if ((lParam & (1 << 30)) == 0) window->SetFullscreen(!window->fullscreen);  // not on repeats
                    return 0;
                }
                input.SetKey(static_cast<std::uint32_t>(wParam), true);
                return 0;
            case WM_KEYUP:
                if (window != nullptr && window->fullscreenToggle && wParam == VK_F11) return 0;
                input.SetKey(static_cast<std::uint32_t>(wParam), false);
                return 0;
            case WM_SYSKEYDOWN:
                // Alt+Enter; anything else with Alt stays the system's.
                if (window != nullptr && window->fullscreenToggle && wParam == VK_RETURN && (lParam & (1 << 29)) != 0) {
                    if ((lParam & (1 << 30)) == 0) window->SetFullscreen(!window->fullscreen);
                    return 0;
                }
                return DefWindowProcW(hwnd, message, wParam, lParam);
            case WM_SYSCHAR:
                // Without this the system beeps at the Alt+Enter it does not know.
                if (window != nullptr && window->fullscreenToggle && wParam == L'\r') return 0;
                return DefWindowProcW(hwnd, message, wParam, lParam);
            case WM_CHAR:
                if (window != nullptr) window->AddCharacter(static_cast<wchar_t>(wParam), input);
                return 0;
            case WM_MOUSEWHEEL:
                input.AddWheel(0.0f, GET_WHEEL_DELTA_WPARAM(wParam) / static_cast<float>(WHEEL_DELTA));
                return 0;
            case WM_MOUSEHWHEEL:
                input.AddWheel(GET_WHEEL_DELTA_WPARAM(wParam) / static_cast<float>(WHEEL_DELTA), 0.0f);
                return 0;
            case WM_SETFOCUS:
                if (window != nullptr) window->focused = true;
                input.SetFocused(true);
                return 0;
            case WM_KILLFOCUS:
                // Key-ups that happen elsewhere never reach us: let go of everything now.
                if (window != nullptr) window->focused = false;
                input.SetFocused(false);
                input.ReleaseAll();
                return 0;
            case WM_SETCURSOR:
                if (window != nullptr && !window->cursorVisible && LOWORD(lParam) == HTCLIENT) {
                    SetCursor(nullptr);
                    return TRUE;
                }
                return DefWindowProcW(hwnd, message, wParam, lParam);
            case WM_MOUSEMOVE: {
                std::int32_t x = static_cast<std::int16_t>(LOWORD(lParam));
                std::int32_t y = static_cast<std::int16_t>(HIWORD(lParam));
                // Under a scale mode the game sees logical pixels.
                if (window != nullptr && window->scaleMode != ScaleMode::None) {
                    const ClientSize client = window->GetClientSize();
                    const PresentRect rect = ComputePresentRect(window->scaleMode, window->logical.width,
                                                                window->logical.height, client.width, client.height);
                    WindowToLogical(rect, window->logical.width, window->logical.height, x, y, x, y);
                }
                input.SetMousePosition(x, y);
                return 0;
            }
            case WM_LBUTTONDOWN: input.SetMouseButton(0, true); return 0;
            case WM_LBUTTONUP: input.SetMouseButton(0, false); return 0;
            case WM_RBUTTONDOWN: input.SetMouseButton(1, true); return 0;
            case WM_RBUTTONUP: input.SetMouseButton(1, false); return 0;
            case WM_MBUTTONDOWN: input.SetMouseButton(2, true); return 0;
            case WM_MBUTTONUP: input.SetMouseButton(2, false); return 0;
            default:
                return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }

    // WM_CHAR brings UTF-16 units: a surrogate pair arrives as two messages.
    void AddCharacter(wchar_t unit, InputState& input) {
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            highSurrogate = unit;
            return;
        }
        std::wstring text;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (highSurrogate == 0) return;
            text = {highSurrogate, unit};
        } else if (unit >= 0x20 && unit != 0x7F) {  // Backspace, Enter, Escape... are keys, not text
            text = {unit};
        }
        highSurrogate = 0;
        if (!text.empty()) input.AddText(NarrowText(text));
    }

    HWND hwnd = nullptr;
    XInputPads pads;
    bool fullscreen = false;
    ScaleMode scaleMode = ScaleMode::None;
    ClientSize logical;
    bool fullscreenToggle = false;
    bool cursorVisible = true;
    bool focused = true;
    wchar_t highSurrogate = 0;
    LONG windowedStyle = 0;
    WINDOWPLACEMENT windowedPlacement{};
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool closeRequested = false;
};

}  // namespace

std::unique_ptr<Window> CreatePlatformWindow() { return std::make_unique<Win32Window>(); }

}  // namespace Quorvane
