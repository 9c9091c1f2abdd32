#include <system_error>

#include "project/ScriptHostConfig.h"

namespace Quorvane {

std::filesystem::path ExecutableDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) return std::filesystem::current_path();
    return executable.parent_path();
}

}  // namespace Quorvane
