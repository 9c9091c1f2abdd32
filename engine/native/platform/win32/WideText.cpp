#include "platform/win32/WideText.h"

#include <windows.h>

namespace Quorvane {

std::wstring WidenText(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length > 0) {
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
        return wide;
    }
    std::wstring wide;
    wide.reserve(text.size());
    for (const char byte : text) wide.push_back(static_cast<wchar_t>(static_cast<signed char>(byte)));
    return wide;
}

std::string NarrowText(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring QuoteCommandLine(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (const std::wstring& argument : arguments) {
        if (!line.empty()) line += L' ';
        line += L'"';
        std::size_t backslashes = 0;
        for (const wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            // Backslashes count double only before a quote; the quote itself is escaped.
            if (c == L'"') line.append(backslashes * 2 + 1, L'\\');
            else line.append(backslashes, L'\\');
            backslashes = 0;
            line += c;
        }
        // Before the closing quote every backslash is doubled.
        line.append(backslashes * 2, L'\\');
        line += L'"';
    }
    return line;
}

}  // namespace Quorvane
