#include "platform/win32/XInputPads.h"

#include <windows.h>
#include <xinput.h>

namespace Quorvane {
namespace {

// XInput's button bits for ours, in GamepadButton order; Guide only comes
// through the unnamed XInputGetStateEx (ordinal 100).
constexpr WORD kGuideBit = 0x0400;
constexpr WORD kButtons[] = {
    XINPUT_GAMEPAD_A,          XINPUT_GAMEPAD_B,           XINPUT_GAMEPAD_X,           XINPUT_GAMEPAD_Y,
    XINPUT_GAMEPAD_LEFT_SHOULDER, XINPUT_GAMEPAD_RIGHT_SHOULDER, XINPUT_GAMEPAD_BACK,  XINPUT_GAMEPAD_START,
    kGuideBit,                 XINPUT_GAMEPAD_LEFT_THUMB,  XINPUT_GAMEPAD_RIGHT_THUMB, XINPUT_GAMEPAD_DPAD_UP,
    XINPUT_GAMEPAD_DPAD_DOWN,  XINPUT_GAMEPAD_DPAD_LEFT,   XINPUT_GAMEPAD_DPAD_RIGHT,
};
static_assert(std::size(kButtons) == static_cast<std::size_t>(GamepadButton::Count));

float Thumb(SHORT raw) { return raw < 0 ? raw / 32768.0f : raw / 32767.0f; }

}  // namespace

XInputPads::XInputPads(const std::vector<std::wstring>& dllNames) {
    for (const std::wstring& name : dllNames) {
        HMODULE module = LoadLibraryW(name.c_str());
        if (module == nullptr) continue;
        FARPROC function = GetProcAddress(module, reinterpret_cast<LPCSTR>(100));
        if (function == nullptr) function = GetProcAddress(module, "XInputGetState");
        if (function == nullptr) {
            FreeLibrary(module);
            continue;
        }
        library = module;
        getState = reinterpret_cast<GetStateFunction>(reinterpret_cast<void*>(function));
        return;
    }
}

XInputPads::~XInputPads() {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

void XInputPads::Update(InputState& input) {
    for (DWORD index = 0; index < kMaxGamepads; ++index) {
        GamepadState& state = input.Gamepad(index);
        state = GamepadState{};
        if (getState == nullptr) continue;
        XINPUT_STATE raw{};
        if (getState(index, &raw) != ERROR_SUCCESS) continue;
        const XINPUT_GAMEPAD& pad = raw.Gamepad;
        state.connected = true;
        for (std::size_t b = 0; b < std::size(kButtons); ++b) {
            state.SetButton(static_cast<GamepadButton>(b), (pad.wButtons & kButtons[b]) != 0);
        }
        // XInput's sticks point up for positive Y; ours point down, like the screen.
        ApplyStickDeadZone(Thumb(pad.sThumbLX), -Thumb(pad.sThumbLY), state.leftX, state.leftY);
        ApplyStickDeadZone(Thumb(pad.sThumbRX), -Thumb(pad.sThumbRY), state.rightX, state.rightY);
        state.leftTrigger = ApplyTriggerDeadZone(pad.bLeftTrigger / 255.0f);
        state.rightTrigger = ApplyTriggerDeadZone(pad.bRightTrigger / 255.0f);
        if (state.leftY == 0.0f) state.leftY = 0.0f;  // no "-0" on the wire
        if (state.rightY == 0.0f) state.rightY = 0.0f;
    }
}

}  // namespace Quorvane
