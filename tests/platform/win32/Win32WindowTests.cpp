#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "platform/InputState.h"
#include "platform/Window.h"
#include "platform/win32/WideText.h"
#include "platform/win32/XInputPads.h"

using namespace Quorvane;

TEST(Win32Window, ClientSizeTitleAndInputMessages) {
    auto window = CreatePlatformWindow();
    ASSERT_TRUE(window->Create(320, 200, "Caf\xC3\xA9 \xE2\x9C\x93"));
    const HWND hwnd = static_cast<HWND>(window->NativeHandle());
    const ClientSize size = window->GetClientSize();
    EXPECT_EQ(size.width, 320);
    EXPECT_EQ(size.height, 200);
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    EXPECT_GT(outer.bottom - outer.top, 200);  // frame and caption around the client area
    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    EXPECT_EQ(std::wstring(title), L"Caf\u00E9 \u2713");

    InputState& input = ProcessInputState();
    PostMessageW(hwnd, WM_KEYDOWN, 'A', 0);
    PostMessageW(hwnd, WM_KEYDOWN, VK_SHIFT, 0);
    PostMessageW(hwnd, WM_SYSKEYDOWN, 'B', 1 << 29);  // Alt held: a system key
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(static_cast<WORD>(-5), 12));
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));  // no position update
    PostMessageW(hwnd, WM_MBUTTONDOWN, 0, 0);
    EXPECT_TRUE(window->PumpMessages());
    EXPECT_EQ(input.FormatPressedKeys(), "16,65");
    EXPECT_EQ(input.GetMouseX(), -5);
    EXPECT_EQ(input.GetMouseY(), 12);
    EXPECT_EQ(input.FormatPressedButtons(), "0,2");
    input.EndFrame();

    PostMessageW(hwnd, WM_KEYUP, 'A', 0);
    PostMessageW(hwnd, WM_KEYUP, VK_SHIFT, 0);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, 0);
    PostMessageW(hwnd, WM_MBUTTONUP, 0, 0);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    PostMessageW(hwnd, WM_KEYDOWN, 'C', 0);  // after the close, still dispatched in the same pump
    EXPECT_FALSE(window->PumpMessages());
    EXPECT_EQ(input.FormatPressedKeys(), "67");
    EXPECT_EQ(input.FormatPressedButtons(), "");
    EXPECT_TRUE(IsWindow(hwnd)) << "a close request must not destroy the window";
    EXPECT_FALSE(window->PumpMessages());
    input.SetKey('C', false);
    input.EndFrame();
}

TEST(WideText, Utf8AndByteFallback) {
    EXPECT_EQ(WidenText("plain"), L"plain");
    EXPECT_EQ(WidenText("\xC3\xA9"), L"\u00E9");
    // Not UTF-8: each byte sign-extended, as before.
    EXPECT_EQ(WidenText("a\xC3"), std::wstring(L"a") + static_cast<wchar_t>(0xFFC3));
}

TEST(WideText, QuotedArgumentsSplitBackIntact) {
    const std::vector<std::wstring> arguments{L"C:\\dotnet\\dotnet.exe", L"plain", L"with space", L"say \"hi\"",
                                              L"C:\\", L"a\\\\b", L"ends\\\\", L"", L"\u00E9t\u00E9"};
    const std::wstring line = QuoteCommandLine(arguments);
    int count = 0;
    wchar_t** split = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(split, nullptr);
    ASSERT_EQ(count, static_cast<int>(arguments.size()));
    for (int i = 0; i < count; ++i) EXPECT_EQ(std::wstring(split[i]), arguments[i]) << i;
    LocalFree(split);
}

TEST(Win32Window, WheelTextFocusAndFullscreen) {
    auto window = CreatePlatformWindow();
    ASSERT_TRUE(window->Create(320, 200, "input"));
    const HWND hwnd = static_cast<HWND>(window->NativeHandle());
    InputState& input = ProcessInputState();
    input.ClearFrameEvents();

    PostMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(2 * WHEEL_DELTA)), 0);
    PostMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA / 2)), 0);
    PostMessageW(hwnd, WM_MOUSEHWHEEL, MAKEWPARAM(0, static_cast<WORD>(WHEEL_DELTA)), 0);
    PostMessageW(hwnd, WM_CHAR, L'h', 0);
    PostMessageW(hwnd, WM_CHAR, 0x00E9, 0);  // é
    PostMessageW(hwnd, WM_CHAR, 0xD83D, 0);  // U+1F600 as a surrogate pair
    PostMessageW(hwnd, WM_CHAR, 0xDE00, 0);
    PostMessageW(hwnd, WM_CHAR, L'\b', 0);   // Backspace is a key, not text
    PostMessageW(hwnd, WM_CHAR, 0xDE00, 0);  // a lone low surrogate is dropped
    PostMessageW(hwnd, WM_KEYDOWN, 'A', 0);
    EXPECT_TRUE(window->PumpMessages());
    EXPECT_FLOAT_EQ(input.WheelY(), 1.5f);
    EXPECT_FLOAT_EQ(input.WheelX(), 1.0f);
    // The key down is also translated into its character, as the system does for typing.
    EXPECT_EQ(input.Text(), "h\xC3\xA9\xF0\x9F\x98\x80" "a");
    EXPECT_EQ(input.FormatPressedKeys(), "65");

    SendMessageW(hwnd, WM_KILLFOCUS, 0, 0);
    EXPECT_FALSE(window->IsFocused());
    EXPECT_EQ(input.FormatPressedKeys(), "") << "held keys are let go with the focus";
    SendMessageW(hwnd, WM_SETFOCUS, 0, 0);
    EXPECT_TRUE(window->IsFocused());

    // F11 is a key until the shortcut is on.
    PostMessageW(hwnd, WM_KEYDOWN, VK_F11, 0);
    window->PumpMessages();
    EXPECT_EQ(input.FormatPressedKeys(), "122");
    EXPECT_FALSE(window->IsFullscreen());
    PostMessageW(hwnd, WM_KEYUP, VK_F11, 0);
    window->PumpMessages();
    input.EndFrame();  // the tap has been reported: the next frame starts clean

    window->SetFullscreenToggle(true);
    PostMessageW(hwnd, WM_SYSKEYDOWN, VK_RETURN, 1 << 29);
    window->PumpMessages();
    EXPECT_TRUE(window->IsFullscreen());
    const ClientSize full = window->GetClientSize();
    EXPECT_EQ(full.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(full.height, GetSystemMetrics(SM_CYSCREEN));
    PostMessageW(hwnd, WM_KEYDOWN, VK_F11, 0);
    window->PumpMessages();
    EXPECT_FALSE(window->IsFullscreen());
    EXPECT_EQ(window->GetClientSize().width, 320);
    EXPECT_EQ(window->GetClientSize().height, 200);
    EXPECT_EQ(input.FormatPressedKeys(), "") << "the shortcut is not a key";

    window->SetTitle("Level \xE2\x9C\x93");
    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    EXPECT_EQ(std::wstring(title), L"Level \u2713");
    input.ClearFrameEvents();
}

TEST(Win32Window, NoXInputOrNoPadMeansNoGamepads) {
    InputState input;
    input.Gamepad(0).connected = true;
    XInputPads absent({L"no-such-xinput.dll"});
    EXPECT_FALSE(absent.Loaded());
    absent.Update(input);
    for (std::size_t i = 0; i < kMaxGamepads; ++i) EXPECT_FALSE(input.Gamepad(i).connected);

    // Wine's XInput (or Windows' without a pad) reports every slot empty.
    testing::internal::CaptureStderr();
    XInputPads system;
    system.Update(input);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (std::size_t i = 0; i < kMaxGamepads; ++i) EXPECT_FALSE(input.Gamepad(i).connected);
}

TEST(Win32Window, ScaleModesPlaceThePictureAndMapTheMouse) {
    auto window = CreatePlatformWindow();
    ASSERT_TRUE(window->Create(320, 200, "scaled"));
    const HWND hwnd = static_cast<HWND>(window->NativeHandle());
    const PresentRect plain = window->PresentTarget(320, 200);
    EXPECT_EQ(plain.width, 320);
    window->SetScaling(ScaleMode::Letterbox, 160, 200);  // fits 1x, centred: bars left and right
    const PresentRect rect = window->PresentTarget(160, 200);
    EXPECT_EQ(rect.x, 80);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.width, 160);
    EXPECT_EQ(rect.height, 200);
    InputState& input = ProcessInputState();
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(80, 0));
    window->PumpMessages();
    EXPECT_EQ(input.GetMouseX(), 0);
    EXPECT_EQ(input.GetMouseY(), 0);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(239, 199));
    window->PumpMessages();
    EXPECT_EQ(input.GetMouseX(), 159);
    EXPECT_EQ(input.GetMouseY(), 199);
    window->SetScaling(ScaleMode::Stretch, 640, 400);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(160, 100));
    window->PumpMessages();
    EXPECT_EQ(input.GetMouseX(), 321);  // the centre of window pixel 160 lies in logical pixel 321
    EXPECT_EQ(input.GetMouseY(), 201);
}
