#include <cstdlib>
#include <cstring>
#include <string>
#include <optional>
#include <algorithm>

#include <SDL.h>

#include "app/Log.h"
#include "platform/InputState.h"
#include "platform/Window.h"
#include "platform/sdl/SdlGamepads.h"
#include "platform/sdl/SdlKeyMap.h"
#include "platform/sdl/SdlWindowManager.h"

namespace Quorvane {
namespace {

// Left, right, middle as the runtime numbers them; SDL counts 1 left, 2 middle, 3 right.
std::optional<std::uint32_t> ButtonIndex(std::uint8_t sdlButton) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT: return 0u;
        case SDL_BUTTON_RIGHT: return 1u;
        case SDL_BUTTON_MIDDLE: return 2u;
        default: return std::nullopt;
    }
}

class SdlWindow final : public Window {
public:
    ~SdlWindow() override {
        if (frameSurface != nullptr) SDL_FreeSurface(frameSurface);
        if (window != nullptr) SDL_DestroyWindow(window);
        if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    bool Create(std::int32_t width, std::int32_t height, const std::string& title) override {
        // SDL's default path pushes the window surface through software GL, which
        // costs several milliseconds a frame; a plain window surface does not.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // Without a Wayland session, trying Wayland only prints its own noise
        // ("XDG_RUNTIME_DIR is invalid") before the real reason.
        if (std::getenv("SDL_VIDEODRIVER") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return Fail(NoDisplayReason(SDL_GetError()));
        videoStarted = true;

        // Without a display SDL quietly picks an off-screen driver and the user
        // would see nothing; only accept that when it was asked for.
        const char* driver = SDL_GetCurrentVideoDriver();
        const bool invisibleDriver = driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
        if (invisibleDriver && std::getenv("SDL_VIDEODRIVER") == nullptr) return Fail(NoDisplayReason(nullptr));

        window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                  width > 0 ? width : 1, height > 0 ? height : 1,
                                  SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
        if (window == nullptr) return Fail(std::string("Failed to create the window: ") + SDL_GetError());
        SDL_StartTextInput();
        // Test-only: scripted SDL virtual joysticks stand in for pads (README, "Testing gamepads").
        if (const char* script = std::getenv("QUORVANE_TEST_VIRTUAL_GAMEPADS"); script != nullptr) {
            gamepads.SetVirtualScript(script);
        }
        gamepads.Start();
        return true;
    }

    void SetTitle(const std::string& utf8) override {
        if (window != nullptr) SDL_SetWindowTitle(window, utf8.c_str());
    }
    void SetFullscreen(bool on) override {
        if (window == nullptr || on == IsFullscreen()) return;
        if (HasWindowManager(window)) {
            SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
            return;
        }
        // Nobody answers the fullscreen request on a bare X server (kiosks, Xvfb):
        // cover the display with the window ourselves, and put it back after.
        if (on) {
            SDL_GetWindowPosition(window, &windowedX, &windowedY);
            SDL_GetWindowSize(window, &windowedW, &windowedH);
            SDL_Rect bounds{};
            if (SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(window), 0), &bounds) != 0) return;
            SDL_SetWindowBordered(window, SDL_FALSE);
            SDL_SetWindowPosition(window, bounds.x, bounds.y);
            SDL_SetWindowSize(window, bounds.w, bounds.h);
            SDL_RaiseWindow(window);
        } else {
            SDL_SetWindowBordered(window, SDL_TRUE);
            SDL_SetWindowSize(window, windowedW, windowedH);
            SDL_SetWindowPosition(window, windowedX, windowedY);
        }
        coveringDisplay = on;
    }
    bool IsFullscreen() const override {
        return window != nullptr && (coveringDisplay || (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0);
    }
    void SetCursorVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }
    void SetResizable(bool resizable) override {
        if (window != nullptr) SDL_SetWindowResizable(window, resizable ? SDL_TRUE : SDL_FALSE);
    }
    void SetFullscreenToggle(bool enabled) override { fullscreenToggle = enabled; }
    bool IsFocused() const override { return focused; }
    void SetScaling(ScaleMode mode, std::int32_t logicalWidth, std::int32_t logicalHeight) override {
        scaleMode = mode;
        logical = {std::max(logicalWidth, 1), std::max(logicalHeight, 1)};
    }

    bool PumpMessages() override {
        InputState& input = ProcessInputState();
        gamepads.RunScript(++framesPumped);
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            gamepads.HandleEvent(event);
            switch (event.type) {
                case SDL_QUIT:
                    closeRequested = true;
                    break;
                case SDL_WINDOWEVENT:
                    if (event.window.event == SDL_WINDOWEVENT_CLOSE) closeRequested = true;
                    if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) focused = true;
                    if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                        // Key-ups that happen elsewhere never reach us: let go of everything now.
                        focused = false;
                        input.ReleaseAll();
                    }
                    input.SetFocused(focused);
                    break;
                case SDL_KEYDOWN:
                case SDL_KEYUP: {
                    const SDL_Keycode sym = event.key.keysym.sym;
                    const bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
                    if (fullscreenToggle && (sym == SDLK_F11 || (alt && (sym == SDLK_RETURN || sym == SDLK_KP_ENTER)))) {
                        if (event.type == SDL_KEYDOWN && event.key.repeat == 0) SetFullscreen(!IsFullscreen());
                        break;  // the shortcut belongs to the window, not the game
                    }
                    // Keys pressed with Alt held are system keys on Windows: never recorded.
                    if (alt) break;
                    if (const auto key = VirtualKeyFromSdl(sym)) {
                        input.SetKey(*key, event.type == SDL_KEYDOWN);
                    }
                    break;
                }
                case SDL_MOUSEMOTION:
                    SetMouse(input, event.motion.x, event.motion.y);
                    break;
                case SDL_MOUSEWHEEL: {
                    // Y positive away from the user, X positive to the right, whatever the system's
                    // "natural scrolling" setting.
                    const float flip = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1.0f : 1.0f;
                    input.AddWheel(event.wheel.preciseX * flip, event.wheel.preciseY * flip);
                    break;
                }
                case SDL_TEXTINPUT:
                    input.AddText(event.text.text);
                    break;
                case SDL_MOUSEBUTTONDOWN:
                case SDL_MOUSEBUTTONUP:
                    if (const auto button = ButtonIndex(event.button.button)) {
                        input.SetMouseButton(*button, event.type == SDL_MOUSEBUTTONDOWN);
                    }
                    break;
                default:
                    break;
            }
        }
        gamepads.Update(input);
        return !closeRequested;
    }

    ClientSize GetClientSize() const override {
        ClientSize size;
        if (window != nullptr) SDL_GetWindowSizeInPixels(window, &size.width, &size.height);
        return size;
    }

    void Present(const PixelView& frame) override {
        if (window == nullptr || frame.pixels == nullptr) return;
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        if (surface == nullptr) return;
        if (scaleMode != ScaleMode::None) {
            PresentScaled(frame, surface);
            return;
        }
        // During a resize the frame and the surface can differ by a frame: copy the overlap.
        const int width = std::min(frame.width, surface->w);
        const int height = std::min(frame.height, surface->h);
        if (width <= 0 || height <= 0) return;
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
        SDL_ConvertPixels(width, height, SDL_PIXELFORMAT_RGB888, frame.pixels, frame.stride * 4,
                          surface->format->format, surface->pixels, surface->pitch);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        SDL_UpdateWindowSurface(window);
    }

private:
    // Under a scale mode the game sees logical pixels; the window reports its own.
    void SetMouse(InputState& input, std::int32_t x, std::int32_t y) {
        if (scaleMode == ScaleMode::None) {
            input.SetMousePosition(x, y);
            return;
        }
        int width = 0, height = 0;
        SDL_GetWindowSize(window, &width, &height);
        const PresentRect rect = ComputePresentRect(scaleMode, logical.width, logical.height, width, height);
        std::int32_t lx = 0, ly = 0;
        WindowToLogical(rect, logical.width, logical.height, x, y, lx, ly);
        input.SetMousePosition(lx, ly);
    }

    void PresentScaled(const PixelView& frame, SDL_Surface* surface) {
        if (frameSurface == nullptr || frameSurface->pixels != frame.pixels || frameSurface->w != frame.width ||
            frameSurface->h != frame.height || frameSurface->pitch != frame.stride * 4) {
            if (frameSurface != nullptr) SDL_FreeSurface(frameSurface);
            frameSurface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(frame.pixels), frame.width,
                                                              frame.height, 32, frame.stride * 4, SDL_PIXELFORMAT_RGB888);
            if (frameSurface == nullptr) return;
        }
        const PresentRect rect = ComputePresentRect(scaleMode, logical.width, logical.height, surface->w, surface->h);
        // Bars: only the parts of the window the picture leaves uncovered.
        const Uint32 black = SDL_MapRGB(surface->format, 0, 0, 0);
        const SDL_Rect bars[] = {
            {0, 0, surface->w, std::max(rect.y, 0)},
            {0, rect.y + rect.height, surface->w, surface->h - (rect.y + rect.height)},
            {0, rect.y, std::max(rect.x, 0), rect.height},
            {rect.x + rect.width, rect.y, surface->w - (rect.x + rect.width), rect.height},
        };
        for (const SDL_Rect& bar : bars) {
            if (bar.w > 0 && bar.h > 0) SDL_FillRect(surface, &bar, black);
        }
        SDL_Rect target{rect.x, rect.y, rect.width, rect.height};
        if (rect.width == frame.width && rect.height == frame.height) {
            SDL_BlitSurface(frameSurface, nullptr, surface, &target);
        } else {
            SDL_BlitScaled(frameSurface, nullptr, surface, &target);
        }
        SDL_UpdateWindowSurface(window);
    }

    // The cause and the fix, in one line: the usual reason on Linux is a
    // terminal without a display (ssh, a container, CI).
    static std::string NoDisplayReason(const char* sdlError) {
        const char* display = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        constexpr const char* kHeadless = "or run with --headless to play without a window.";
        if ((display == nullptr || *display == '\0') && (wayland == nullptr || *wayland == '\0')) {
            return std::string("Failed to create the window: no display is set (DISPLAY is empty). ") +
                   "Set DISPLAY to a running X server (for example DISPLAY=:0), " + kHeadless;
        }
        std::string text = "Failed to create the window: the display ";
        text += display != nullptr && *display != '\0' ? std::string("\"") + display + "\" (DISPLAY)"
                                                      : std::string("\"") + wayland + "\" (WAYLAND_DISPLAY)";
        text += " cannot be opened";
        if (sdlError != nullptr && *sdlError != '\0') text += std::string(" (") + sdlError + ")";
        return text + ". Start it or point DISPLAY at a running X server, " + kHeadless;
    }

    bool Fail(const std::string& reason) {
        LogError(reason);
        return false;
    }

    SDL_Window* window = nullptr;
    bool videoStarted = false;
    bool closeRequested = false;
    bool focused = true;  // until the system says otherwise
    bool fullscreenToggle = false;
    bool coveringDisplay = false;  // fullscreen without a window manager
    int windowedX = 0, windowedY = 0, windowedW = 0, windowedH = 0;
    ScaleMode scaleMode = ScaleMode::None;
    ClientSize logical;
    SDL_Surface* frameSurface = nullptr;  // wraps the last frame's pixels for scaled blits
    SdlGamepads gamepads;
    long framesPumped = 0;
};

}  // namespace

std::unique_ptr<Window> CreatePlatformWindow() { return std::make_unique<SdlWindow>(); }

}  // namespace Quorvane
