#include "app/Application.h"

#include <chrono>
#include <exception>
#include <optional>

#include "app/Log.h"
#include "project/ScriptHostConfig.h"
#include "render/software/BandedCanvas.h"

namespace Quorvane {

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

    if (options.renderThreads) SetRenderThreads(*options.renderThreads);
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
    // A host that never says STARTED still gets its frames.
    scriptRuntime.SendStart();

    frameClock.Reset();
    LogInfo("Running project: " + config.name);
    MainLoop(config, options);
    scriptRuntime.Shutdown();
    if (options.stats) LogInfo(FrameStats::Format(frameStats.Summarise()));

    if (!options.screenshot.empty() && !WritePng(options.screenshot, renderer.Pixels())) {
        LogError("Could not write the screenshot: " + PathToString(options.screenshot));
        return 1;
    }
    return 0;
}

void Application::MainLoop(const ProjectConfig& config, const CommandLine& options) {
    std::int64_t framesRun = 0;
    // --frames N ends the loop the way a close request would: after a whole frame.
    const auto frameLimitReached = [&] { return options.frames && framesRun >= *options.frames; };
    using Clock = FrameClock::Clock;
    const auto milliseconds = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::optional<Clock::time_point> previousStart;
    while (!frameLimitReached() && window->PumpMessages()) {
        const auto frameStart = Clock::now();
        const float delta = ClampDelta(frameClock.Tick(), config.maxDeltaTime);
        scriptRuntime.RunFrame(delta);
        const auto hostDone = Clock::now();
        const FrameSnapshot& snapshot = scriptRuntime.GetSnapshot();
        renderer.BeginFrame(config.backgroundColor);
        renderer.DrawSnapshot(snapshot);
        renderer.Present();
        ++framesRun;
        frameStats.Record({previousStart ? milliseconds(frameStart - *previousStart) : -1.0,
                           milliseconds(hostDone - frameStart), milliseconds(Clock::now() - hostDone),
                           snapshot.hostAllocatedBytes});
        previousStart = frameStart;
        LimitFrame(frameStart, config.enableFrameLimiter, config.targetFps);
    }
}

}  // namespace Quorvane
