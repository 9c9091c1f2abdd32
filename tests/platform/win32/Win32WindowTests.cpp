#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "platform/InputState.h"
#include "platform/Window.h"
#include "platform/win32/WideText.h"

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
