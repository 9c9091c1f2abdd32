#include <cstdlib>
#include <cstring>
#include <string>
#include <optional>
#include <algorithm>

#include <SDL.h>

#include "app/Log.h"
#include "platform/InputState.h"
#include "platform/Window.h"
#include "platform/sdl/SdlKeyMap.h"

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
        return true;
    }

    bool PumpMessages() override {
        InputState& input = ProcessInputState();
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            switch (event.type) {
                case SDL_QUIT:
                    closeRequested = true;
                    break;
                case SDL_WINDOWEVENT:
                    if (event.window.event == SDL_WINDOWEVENT_CLOSE) closeRequested = true;
                    break;
                case SDL_KEYDOWN:
                case SDL_KEYUP: {
                    // Keys pressed with Alt held are system keys on Windows: never recorded.
                    if ((event.key.keysym.mod & KMOD_ALT) != 0) break;
                    if (const auto key = VirtualKeyFromSdl(event.key.keysym.sym)) {
                        input.SetKey(*key, event.type == SDL_KEYDOWN);
                    }
                    break;
                }
                case SDL_MOUSEMOTION:
                    input.SetMousePosition(event.motion.x, event.motion.y);
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
};

}  // namespace

std::unique_ptr<Window> CreatePlatformWindow() { return std::make_unique<SdlWindow>(); }

}  // namespace Quorvane
