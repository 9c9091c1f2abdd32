#include <gtest/gtest.h>

#include <SDL_keyboard.h>

#include "platform/sdl/SdlKeyMap.h"

using Quorvane::VirtualKeyFromSdl;

TEST(SdlKeyMap, WindowsVirtualKeyCodes) {
    struct Case { SDL_Keycode sdl; std::uint32_t vk; };
    const Case cases[] = {
        {SDLK_a, 65}, {SDLK_z, 90}, {SDLK_0, 48}, {SDLK_9, 57},
        {SDLK_LEFT, 37}, {SDLK_UP, 38}, {SDLK_RIGHT, 39}, {SDLK_DOWN, 40},
        {SDLK_F1, 112}, {SDLK_F9, 120}, {SDLK_F11, 122}, {SDLK_F12, 123},
        {SDLK_LSHIFT, 16}, {SDLK_RSHIFT, 16}, {SDLK_LCTRL, 17}, {SDLK_RCTRL, 17},
        {SDLK_SPACE, 32}, {SDLK_RETURN, 13}, {SDLK_KP_ENTER, 13}, {SDLK_ESCAPE, 27},
        {SDLK_TAB, 9}, {SDLK_BACKSPACE, 8}, {SDLK_INSERT, 45}, {SDLK_DELETE, 46},
        {SDLK_HOME, 36}, {SDLK_END, 35}, {SDLK_PAGEUP, 33}, {SDLK_PAGEDOWN, 34},
        {SDLK_KP_0, 96}, {SDLK_KP_9, 105}, {SDLK_KP_PLUS, 107}, {SDLK_KP_DIVIDE, 111},
        {SDLK_SEMICOLON, 186}, {SDLK_EQUALS, 187}, {SDLK_COMMA, 188}, {SDLK_MINUS, 189},
        {SDLK_PERIOD, 190}, {SDLK_SLASH, 191}, {SDLK_BACKQUOTE, 192}, {SDLK_LEFTBRACKET, 219},
        {SDLK_BACKSLASH, 220}, {SDLK_RIGHTBRACKET, 221}, {SDLK_QUOTE, 222},
    };
    for (const Case& c : cases) EXPECT_EQ(VirtualKeyFromSdl(c.sdl), c.vk) << SDL_GetKeyName(c.sdl);
}

TEST(SdlKeyMap, SystemKeysAreNotRecorded) {
    for (const SDL_Keycode key : {SDLK_LALT, SDLK_RALT, SDLK_F10, SDLK_MODE, SDLK_VOLUMEUP}) {
        EXPECT_FALSE(VirtualKeyFromSdl(key)) << SDL_GetKeyName(key);
    }
}
