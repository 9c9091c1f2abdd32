#include <windows.h>

#include "project/ScriptHostConfig.h"

namespace Quorvane {

std::filesystem::path ExecutableDirectory() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length == 0) return std::filesystem::current_path();
    return std::filesystem::path(std::wstring(buffer, length)).parent_path();
}

}  // namespace Quorvane
