#include "platform/sdl/SdlGamepads.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "app/Log.h"

namespace Quorvane {
namespace {

// Our button order (the C# GamepadButton enum) in SDL's names.
constexpr SDL_GameControllerButton kButtons[] = {
    SDL_CONTROLLER_BUTTON_A,          SDL_CONTROLLER_BUTTON_B,           SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,          SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,       SDL_CONTROLLER_BUTTON_START,       SDL_CONTROLLER_BUTTON_GUIDE,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,  SDL_CONTROLLER_BUTTON_RIGHTSTICK,  SDL_CONTROLLER_BUTTON_DPAD_UP,
    SDL_CONTROLLER_BUTTON_DPAD_DOWN,  SDL_CONTROLLER_BUTTON_DPAD_LEFT,   SDL_CONTROLLER_BUTTON_DPAD_RIGHT,
};
static_assert(std::size(kButtons) == static_cast<std::size_t>(GamepadButton::Count));

constexpr std::string_view kButtonNames[] = {
    "A", "B", "X", "Y", "LeftShoulder", "RightShoulder", "Back", "Start", "Guide", "LeftStick", "RightStick",
    "DPadUp", "DPadDown", "DPadLeft", "DPadRight",
};

float Axis(SDL_GameController* pad, SDL_GameControllerAxis axis) {
    // -32768..32767: the negative side has one step more, so divide each side by its own end.
    const Sint16 raw = SDL_GameControllerGetAxis(pad, axis);
    return raw < 0 ? raw / 32768.0f : raw / 32767.0f;
}

}  // namespace

SdlGamepads::~SdlGamepads() {
    for (SDL_GameController*& pad : slots) {
        if (pad != nullptr) SDL_GameControllerClose(pad);
        pad = nullptr;
    }
    for (std::size_t i = 0; i < virtualPads.size(); ++i) {
        if (virtualPads[i] == nullptr) continue;
        const SDL_JoystickID instance = SDL_JoystickInstanceID(virtualPads[i]);
        SDL_JoystickClose(virtualPads[i]);
        for (int device = 0; device < SDL_NumJoysticks(); ++device) {
            if (SDL_JoystickGetDeviceInstanceID(device) == instance) SDL_JoystickDetachVirtual(device);
        }
    }
    if (started) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void SdlGamepads::Start() {
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
        LogInfo(std::string("Gamepads are not available: ") + SDL_GetError());
        return;
    }
    started = true;
}

void SdlGamepads::SetVirtualScript(const std::string& script) {
    std::istringstream entries(script);
    for (std::string entry; std::getline(entries, entry, ';');) {
        std::istringstream words(entry);
        Step step;
        if (!(words >> step.frame)) continue;
        for (std::string word; words >> word;) step.words.push_back(word);
        if (!step.words.empty()) steps.push_back(std::move(step));
    }
    std::stable_sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.frame < b.frame; });
    // A window in the background still has to see the scripted pads.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
}

void SdlGamepads::RunScript(long frame) {
    while (nextStep < steps.size() && steps[nextStep].frame <= frame) RunStep(steps[nextStep++]);
}

void SdlGamepads::RunStep(const Step& step) {
    if (!started) return;
    const std::vector<std::string>& w = step.words;
    const auto pad = [&](std::size_t at) -> SDL_Joystick* {
        if (w.size() <= at) return nullptr;
        const std::size_t index = static_cast<std::size_t>(std::atoi(w[at].c_str()));
        return index < virtualPads.size() ? virtualPads[index] : nullptr;
    };
    if (w[0] == "connect") {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1;
        desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
        desc.button_mask = (1u << (SDL_CONTROLLER_BUTTON_DPAD_RIGHT + 1)) - 1;
        desc.name = "Quorvane virtual pad";
        const int device = SDL_JoystickAttachVirtualEx(&desc);
        SDL_Joystick* joystick = device < 0 ? nullptr : SDL_JoystickOpen(device);
        if (joystick == nullptr) LogWarn(std::string("Could not attach a virtual gamepad: ") + SDL_GetError());
        if (joystick != nullptr) {
            // Triggers rest at the low end of their axis.
            SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_JOYSTICK_AXIS_MIN);
            SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_JOYSTICK_AXIS_MIN);
        }
        virtualPads.push_back(joystick);
    } else if (w[0] == "disconnect") {
        if (SDL_Joystick* joystick = pad(1)) {
            const SDL_JoystickID instance = SDL_JoystickInstanceID(joystick);
            SDL_JoystickClose(joystick);
            virtualPads[static_cast<std::size_t>(std::atoi(w[1].c_str()))] = nullptr;
            for (int device = 0; device < SDL_NumJoysticks(); ++device) {
                if (SDL_JoystickGetDeviceInstanceID(device) == instance) SDL_JoystickDetachVirtual(device);
            }
        }
    } else if ((w[0] == "press" || w[0] == "release") && w.size() == 3) {
        SDL_Joystick* joystick = pad(1);
        const auto name = std::find(std::begin(kButtonNames), std::end(kButtonNames), w[2]);
        if (joystick != nullptr && name != std::end(kButtonNames)) {
            SDL_JoystickSetVirtualButton(joystick, kButtons[name - std::begin(kButtonNames)], w[0] == "press" ? 1 : 0);
        }
    } else if (w[0] == "axis" && w.size() == 4) {
        SDL_Joystick* joystick = pad(1);
        const SDL_GameControllerAxis axis = SDL_GameControllerGetAxisFromString(w[2].c_str());
        const double value = std::clamp(std::atof(w[3].c_str()), -1.0, 1.0);
        if (joystick != nullptr && axis != SDL_CONTROLLER_AXIS_INVALID) {
            const bool trigger = axis == SDL_CONTROLLER_AXIS_TRIGGERLEFT || axis == SDL_CONTROLLER_AXIS_TRIGGERRIGHT;
            // Triggers take 0..1 over the whole axis; sticks -1..1.
            const double raw = trigger ? -32768.0 + value * 65535.0 : (value < 0 ? value * 32768.0 : value * 32767.0);
            SDL_JoystickSetVirtualAxis(joystick, axis, static_cast<Sint16>(std::lround(std::clamp(raw, -32768.0, 32767.0))));
        }
    }
}

void SdlGamepads::Open(int deviceIndex) {
    const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    for (SDL_GameController* pad : slots) {
        if (pad != nullptr && SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad)) == instance) return;
    }
    const auto freeSlot = std::find(slots.begin(), slots.end(), nullptr);
    if (freeSlot == slots.end()) return;  // a fifth pad is not seen
    SDL_GameController* pad = SDL_GameControllerOpen(deviceIndex);
    if (pad == nullptr) {
        LogWarn(std::string("Could not open a gamepad: ") + SDL_GetError());
        return;
    }
    *freeSlot = pad;
}

void SdlGamepads::Close(SDL_JoystickID instance) {
    for (SDL_GameController*& pad : slots) {
        if (pad == nullptr || SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(pad)) != instance) continue;
        SDL_GameControllerClose(pad);
        pad = nullptr;
    }
}

void SdlGamepads::HandleEvent(const SDL_Event& event) {
    if (!started) return;
    if (event.type == SDL_CONTROLLERDEVICEADDED) Open(event.cdevice.which);
    if (event.type == SDL_CONTROLLERDEVICEREMOVED) Close(event.cdevice.which);
}

void SdlGamepads::Update(InputState& input) const {
    for (std::size_t index = 0; index < kMaxGamepads; ++index) {
        GamepadState& state = input.Gamepad(index);
        state = GamepadState{};
        SDL_GameController* pad = slots[index];
        if (pad == nullptr) continue;
        state.connected = true;
        for (std::size_t b = 0; b < std::size(kButtons); ++b) {
            state.SetButton(static_cast<GamepadButton>(b), SDL_GameControllerGetButton(pad, kButtons[b]) != 0);
        }
        ApplyStickDeadZone(Axis(pad, SDL_CONTROLLER_AXIS_LEFTX), Axis(pad, SDL_CONTROLLER_AXIS_LEFTY), state.leftX, state.leftY);
        ApplyStickDeadZone(Axis(pad, SDL_CONTROLLER_AXIS_RIGHTX), Axis(pad, SDL_CONTROLLER_AXIS_RIGHTY), state.rightX, state.rightY);
        state.leftTrigger = ApplyTriggerDeadZone(Axis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
        state.rightTrigger = ApplyTriggerDeadZone(Axis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
    }
}

}  // namespace Quorvane
