#pragma once

#include <filesystem>
#include <string>

namespace Quorvane {

// Everything the script host is launched with.
struct ScriptHostConfig {
    std::filesystem::path projectRoot;
    std::filesystem::path gameAssemblyPath;
    std::filesystem::path scriptHostPath;
    std::string mainClass;
    std::string startScene;
    float fixedDeltaTime = 1.0f / 60.0f;
    float x = 0.0f;
    float y = 0.0f;
};

// Folder of the running executable; the current directory when the platform cannot tell.
std::filesystem::path ExecutableDirectory();

// First existing of: <exe dir>/ScriptHost, <cwd>/<build path>, <project>/../../<build path>.
// When none exists, the current-directory candidate as built (not normalised).
std::filesystem::path FindScriptHost(const std::filesystem::path& projectRoot);
std::filesystem::path FindScriptHost(const std::filesystem::path& projectRoot,
                                     const std::filesystem::path& executableDirectory,
                                     const std::filesystem::path& currentDirectory);

}  // namespace Quorvane
