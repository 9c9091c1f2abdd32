#pragma once

#include <string>
#include <vector>

#include "platform/InputState.h"

namespace Quorvane {

// Gamepads through XInput, loaded at run time: a system without any XInput DLL
// (or with no pad plugged in) simply has no gamepads, never an error. XInput's
// own user indices 0..3 are our slots.
class XInputPads {
public:
    // The DLLs tried in order; tests pass names that do not exist.
    explicit XInputPads(const std::vector<std::wstring>& dllNames = {L"xinput1_4.dll", L"xinput1_3.dll", L"xinput9_1_0.dll"});
    ~XInputPads();
    XInputPads(const XInputPads&) = delete;
    XInputPads& operator=(const XInputPads&) = delete;

    bool Loaded() const { return getState != nullptr; }
    void Update(InputState& input);

private:
    using GetStateFunction = unsigned long(__stdcall*)(unsigned long, void*);
    void* library = nullptr;  // HMODULE
    GetStateFunction getState = nullptr;
};

}  // namespace Quorvane
