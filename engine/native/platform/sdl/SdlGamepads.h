#pragma once

#include <array>
#include <string>
#include <vector>

#include <SDL.h>

#include "platform/InputState.h"

namespace Quorvane {

// Up to four pads through SDL's game-controller API, so that its mapping
// database gives every known pad the standard layout. A machine where the
// subsystem cannot start simply has no gamepads.
class SdlGamepads {
public:
    SdlGamepads() = default;
    ~SdlGamepads();
    SdlGamepads(const SdlGamepads&) = delete;
    SdlGamepads& operator=(const SdlGamepads&) = delete;

    void Start();
    // Test-only (QUORVANE_TEST_VIRTUAL_GAMEPADS): steps "frame command args",
    // separated by ';', attach and drive SDL virtual joysticks; see README.
    void SetVirtualScript(const std::string& script);
    // Runs the script's steps for this frame number (from 1), before events are polled.
    void RunScript(long frame);
    void HandleEvent(const SDL_Event& event);
    // Copies every slot's state into the input record after the events.
    void Update(InputState& input) const;

private:
    struct Step {
        long frame = 0;
        std::vector<std::string> words;
    };
    void Open(int deviceIndex);
    void Close(SDL_JoystickID instance);
    void RunStep(const Step& step);

    bool started = false;
    std::array<SDL_GameController*, kMaxGamepads> slots{};
    std::vector<Step> steps;
    std::size_t nextStep = 0;
    std::vector<SDL_Joystick*> virtualPads;  // in connect order; null once disconnected
};

}  // namespace Quorvane
