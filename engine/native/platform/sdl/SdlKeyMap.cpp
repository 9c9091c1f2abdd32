#include "platform/sdl/SdlKeyMap.h"

#include <SDL_keycode.h>

namespace Quorvane {
namespace {

struct KeyMapping {
    SDL_Keycode sdl;
    std::uint32_t virtualKey;
};

// Letters and digits are mapped by range below. Alt and F10 are absent on
// purpose: Windows delivers them as system keys, which the runtime ignores.
constexpr KeyMapping kKeyTable[] = {
    {SDLK_BACKSPACE, 8},    {SDLK_TAB, 9},           {SDLK_RETURN, 13},       {SDLK_KP_ENTER, 13},
    {SDLK_LSHIFT, 16},      {SDLK_RSHIFT, 16},       {SDLK_LCTRL, 17},        {SDLK_RCTRL, 17},
    {SDLK_PAUSE, 19},       {SDLK_CAPSLOCK, 20},     {SDLK_ESCAPE, 27},       {SDLK_SPACE, 32},
    {SDLK_PAGEUP, 33},      {SDLK_PAGEDOWN, 34},     {SDLK_END, 35},          {SDLK_HOME, 36},
    {SDLK_LEFT, 37},        {SDLK_UP, 38},           {SDLK_RIGHT, 39},        {SDLK_DOWN, 40},
    {SDLK_PRINTSCREEN, 44}, {SDLK_INSERT, 45},       {SDLK_DELETE, 46},
    {SDLK_LGUI, 91},        {SDLK_RGUI, 92},         {SDLK_APPLICATION, 93},
    {SDLK_KP_0, 96},        {SDLK_KP_1, 97},         {SDLK_KP_2, 98},         {SDLK_KP_3, 99},
    {SDLK_KP_4, 100},       {SDLK_KP_5, 101},        {SDLK_KP_6, 102},        {SDLK_KP_7, 103},
    {SDLK_KP_8, 104},       {SDLK_KP_9, 105},        {SDLK_KP_MULTIPLY, 106}, {SDLK_KP_PLUS, 107},
    {SDLK_KP_MINUS, 109},   {SDLK_KP_PERIOD, 110},   {SDLK_KP_DIVIDE, 111},
    {SDLK_F1, 112},         {SDLK_F2, 113},          {SDLK_F3, 114},          {SDLK_F4, 115},
    {SDLK_F5, 116},         {SDLK_F6, 117},          {SDLK_F7, 118},          {SDLK_F8, 119},
    {SDLK_F9, 120},         {SDLK_F11, 122},         {SDLK_F12, 123},
    {SDLK_NUMLOCKCLEAR, 144}, {SDLK_SCROLLLOCK, 145},
    {SDLK_SEMICOLON, 186},  {SDLK_EQUALS, 187},      {SDLK_COMMA, 188},       {SDLK_MINUS, 189},
    {SDLK_PERIOD, 190},     {SDLK_SLASH, 191},       {SDLK_BACKQUOTE, 192},   {SDLK_LEFTBRACKET, 219},
    {SDLK_BACKSLASH, 220},  {SDLK_RIGHTBRACKET, 221}, {SDLK_QUOTE, 222},
};

}  // namespace

std::optional<std::uint32_t> VirtualKeyFromSdl(std::int32_t sdlKeycode) {
    if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z) return static_cast<std::uint32_t>('A' + (sdlKeycode - SDLK_a));
    if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9) return static_cast<std::uint32_t>('0' + (sdlKeycode - SDLK_0));
    for (const KeyMapping& mapping : kKeyTable) {
        if (mapping.sdl == sdlKeycode) return mapping.virtualKey;
    }
    return std::nullopt;
}

}  // namespace Quorvane
