#include "app/Application.h"

#include <charconv>
#include <exception>

#include "app/ImageCompare.h"
#include "app/Log.h"
#include "app/StopSignal.h"
#include "project/ScriptHostConfig.h"

namespace Quorvane {
namespace {

// "0.125": three decimals in the classic locale, whatever the process locale says.
std::string FormatPercent(double share) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, share * 100.0, std::chars_format::fixed, 3);
    return std::string(text, result.ptr);
}

}  // namespace

int Application::Run(const std::filesystem::path& projectPath, const CommandLine& options) {
    // File-system queries can throw (access denied, broken mounts); a user should
    // see the reason and exit code 1, never an uncaught exception.
    try {
        return StartAndLoop(projectPath, options);
    } catch (const std::exception& error) {
        LogError(error.what());
        return 1;
    }
}

int Application::StartAndLoop(const std::filesystem::path& projectPath, const CommandLine& options) {
    ProjectConfig config;
    if (!LoadProject(projectPath, config)) return 1;
    InstallStopSignalHandlers();
    if (!options.replay.empty()) {
        // A replay that cannot run is refused before a window opens.
        std::string error;
        if (!LoadReplay(options.replay, replay, error) ||
            !ReplayMatchesGame(replay, options.replay, config.name, config.mainClass, error)) {
            LogError(error);
            return 1;
        }
    }

    window = options.headless ? CreateHeadlessWindow() : CreatePlatformWindow();
    const WindowSettings& settings = config.windowSettings;
    if (!window->Create(settings.width, settings.height, settings.title)) return 1;
    if (!renderer.Initialize(*window, options.headless ? CreateSoftwareCanvas() : CreatePlatformCanvas(*window))) return 1;
    renderer.SetTextureRoot(config.projectRoot);
    renderer.SetPixelPerfect(config.pixelPerfect);

    ScriptHostConfig scriptConfig;
    scriptConfig.projectRoot = config.projectRoot;
    scriptConfig.gameAssemblyPath = config.mainAssemblyPath;
    scriptConfig.scriptHostPath = FindScriptHost(config.projectRoot);
    scriptConfig.mainClass = config.mainClass;
    scriptConfig.startScene = config.startScene;
    scriptConfig.fixedDeltaTime = config.fixedDeltaTime;
    scriptConfig.x = config.x;
    scriptConfig.y = config.y;

    if (!FileExists(scriptConfig.scriptHostPath)) {
        LogError("Script host was not found: " + PathToString(scriptConfig.scriptHostPath));
        return 1;
    }
    if (!FileExists(scriptConfig.gameAssemblyPath)) {
        LogError("Game assembly was not found: " + PathToString(scriptConfig.gameAssemblyPath));
        return 1;
    }

    if (!scriptRuntime.Start(scriptConfig)) return 1;
    if (!PrepareDeveloperLoop(config, options)) return 1;
    // A host that never says STARTED still gets its frames.
    scriptRuntime.SendStart();

    frameClock.Reset();
    LogInfo("Running project: " + config.name);
    MainLoop(config, options);
    scriptRuntime.Shutdown();

    if (!options.screenshot.empty() && !WritePng(options.screenshot, renderer.Pixels())) {
        LogError("Could not write the screenshot: " + PathToString(options.screenshot));
        return 1;
    }
    return FinishDeveloperLoop(options);
}

bool Application::PrepareDeveloperLoop(const ProjectConfig& config, const CommandLine& options) {
    const std::uint64_t seed = !options.replay.empty() ? replay.header.seed : options.seed.value_or(MakeRandomSeed());
    const ExtensionSet extensions = scriptRuntime.Extensions();
    if (extensions.Has(Extension::Replay)) scriptRuntime.SendLine("SEED|" + std::to_string(seed));
    if (options.watch) {
        if (extensions.Has(Extension::Reload)) {
            const std::filesystem::path folder = options.watchFolder.empty() ? config.projectRoot : options.watchFolder;
            std::error_code ignored;
            const std::filesystem::path absolute = std::filesystem::absolute(folder, ignored);
            scriptRuntime.SendLine("WATCH|" + PathToString(absolute.empty() ? folder : absolute));
        } else {
            LogWarn("--watch needs a script host that reloads games; this one does not, so changes are not picked up.");
        }
    }
    if (!options.record.empty()) {
        std::string error;
        if (!recorder.Open(options.record, {config.name, config.mainClass, seed}, error)) {
            LogError(error);
            return false;
        }
    }
    return true;
}

int Application::FinishDeveloperLoop(const CommandLine& options) {
    std::string error;
    if (!recorder.Finish(error)) {
        LogError(error);
        return 1;
    }
    if (options.compare.empty()) return 0;
    ImageComparison comparison;
    if (!CompareWithImage(renderer.Pixels(), options.compare, comparison, error)) {
        LogError(error);
        return 1;
    }
    const double share = static_cast<double>(comparison.differing) / static_cast<double>(comparison.total);
    const std::string counts = std::to_string(comparison.differing) + " of " + std::to_string(comparison.total) +
                               " pixels differ (" + FormatPercent(share) + "%)";
    if (share > options.tolerance) {
        LogError("The last frame does not match " + PathToString(options.compare) + ": " + counts +
                 ", more than the tolerance of " + FormatPercent(options.tolerance) +
                 "%; see " + PathToString(comparison.diffImage));
        return 2;
    }
    LogInfo("The last frame matches " + PathToString(options.compare) + ": " + counts + ".");
    return 0;
}

void Application::MainLoop(const ProjectConfig& config, const CommandLine& options) {
    std::int64_t framesRun = 0;
    // --frames N ends the loop the way a close request would: after a whole frame.
    const auto frameLimitReached = [&] { return options.frames && framesRun >= *options.frames; };
    const bool replaying = !options.replay.empty();
    while (!frameLimitReached() && !StopRequested() && window->PumpMessages()) {
        const auto frameStart = FrameClock::Clock::now();
        if (replaying) {
            if (replayFrame >= replay.frames.size()) {
                LogInfo("The replay ended after " + std::to_string(replayFrame) + " frames.");
                break;
            }
            scriptRuntime.RunRecordedFrame(replay.frames[replayFrame++]);
        } else {
            const float delta = ClampDelta(frameClock.Tick(), config.maxDeltaTime);
            scriptRuntime.RunFrame(delta);
        }
        if (recorder.IsOpen()) recorder.AddFrame(scriptRuntime.LastFrameLines());
        const FrameSnapshot& snapshot = scriptRuntime.GetSnapshot();
        renderer.BeginFrame(config.backgroundColor);
        renderer.DrawSnapshot(snapshot);
        renderer.Present();
        ++framesRun;
        // A headless replay shows nothing to anyone: CI gets its frames as fast as they come.
        if (!(replaying && options.headless)) LimitFrame(frameStart, config.enableFrameLimiter, config.targetFps);
    }
}

}  // namespace Quorvane
