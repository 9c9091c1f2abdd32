#include <windows.h>

#include <vector>

#include "app/Log.h"
#include "platform/InputState.h"
#include "platform/Window.h"
#include "platform/win32/WideText.h"

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
        return !closeRequested;
    }

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
                input.SetKey(static_cast<std::uint32_t>(wParam), true);
                return 0;
            case WM_KEYUP:
                input.SetKey(static_cast<std::uint32_t>(wParam), false);
                return 0;
            case WM_MOUSEMOVE:
                input.SetMousePosition(static_cast<std::int16_t>(LOWORD(lParam)), static_cast<std::int16_t>(HIWORD(lParam)));
                return 0;
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

    HWND hwnd = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool closeRequested = false;
};

}  // namespace

std::unique_ptr<Window> CreatePlatformWindow() { return std::make_unique<Win32Window>(); }

}  // namespace Quorvane
