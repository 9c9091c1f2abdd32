#include "project/ScriptHostConfig.h"

#include "app/Log.h"

namespace Quorvane {

std::filesystem::path FindScriptHost(const std::filesystem::path& projectRoot) {
    return FindScriptHost(projectRoot, ExecutableDirectory(), std::filesystem::current_path());
}

std::filesystem::path FindScriptHost(const std::filesystem::path& projectRoot,
                                     const std::filesystem::path& executableDirectory,
                                     const std::filesystem::path& currentDirectory) {
    const std::filesystem::path scriptHostFile = "Quorvane.ScriptHost.dll";

    const std::filesystem::path candidateFromRuntime = executableDirectory / "ScriptHost" / scriptHostFile;
    if (FileExists(candidateFromRuntime)) return std::filesystem::weakly_canonical(candidateFromRuntime);

    const std::filesystem::path file = std::filesystem::path("engine/csharp/ScriptHost/bin/Debug/net8.0") / scriptHostFile;
    const std::filesystem::path candidateFromCurrent = currentDirectory / file;
    if (FileExists(candidateFromCurrent)) return std::filesystem::weakly_canonical(candidateFromCurrent);

    const std::filesystem::path candidateFromSample = projectRoot.parent_path().parent_path() / file;
    if (FileExists(candidateFromSample)) return std::filesystem::weakly_canonical(candidateFromSample);

    // A runtime built in the repository (build/<preset>/quorvane) runs games that
    // live anywhere: the script host built beside it in the same checkout.
    const std::filesystem::path candidateFromBuildTree = executableDirectory.parent_path().parent_path() / file;
    if (FileExists(candidateFromBuildTree)) return std::filesystem::weakly_canonical(candidateFromBuildTree);

    return candidateFromCurrent;
}

}  // namespace Quorvane
