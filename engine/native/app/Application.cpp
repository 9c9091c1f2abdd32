#include "app/Application.h"

#include <algorithm>
#include <exception>

#include "app/Log.h"
#include "project/ScriptHostConfig.h"
#include "scripting/InputLines.h"

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

    window = options.headless ? CreateHeadlessWindow() : CreatePlatformWindow();
    const WindowSettings& settings = config.windowSettings;
    if (!window->Create(settings.width, settings.height, settings.title)) return 1;
    if (!renderer.Initialize(*window, options.headless ? CreateSoftwareCanvas() : CreatePlatformCanvas(*window))) return 1;
    renderer.SetTextureRoot(config.projectRoot);
    renderer.SetPixelPerfect(config.pixelPerfect);
    ApplyWindowSettings(settings);

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
    while (!frameLimitReached() && window->PumpMessages()) {
        const auto frameStart = FrameClock::Clock::now();
        const float delta = ClampDelta(frameClock.Tick(), config.maxDeltaTime);
        QueueInputLines(config, framesRun == 0);
        scriptRuntime.RunFrame(delta);
        ProcessInputState().ClearFrameEvents();
        const FrameSnapshot& snapshot = scriptRuntime.GetSnapshot();
        ApplyWindowRequests(snapshot.window);
        renderer.BeginFrame(config.backgroundColor);
        renderer.DrawSnapshot(snapshot);
        renderer.Present();
        ++framesRun;
        LimitFrame(frameStart, config.enableFrameLimiter, config.targetFps);
    }
}

void Application::ApplyWindowSettings(const WindowSettings& settings) {
    // Each only when it differs from the specified window, so a project without
    // these keys gets exactly that window.
    if (!settings.resizable) window->SetResizable(false);
    if (settings.scaleMode != ScaleMode::None) {
        window->SetScaling(settings.scaleMode, settings.width, settings.height);
        renderer.SetFrameSize(ClientSize{std::max(settings.width, 1), std::max(settings.height, 1)});
    }
    if (!settings.cursorVisible) window->SetCursorVisible(false);
    if (settings.fullscreen) window->SetFullscreen(true);
}

void Application::QueueInputLines(const ProjectConfig& config, bool firstFrame) {
    if (!scriptRuntime.Extensions().Has(Extension::Input)) return;
    // The shortcut is the window's behaviour for games that speak "input"; a host
    // written to the base protocol gets its F11 key as before.
    if (firstFrame) {
        window->SetFullscreenToggle(true);
        scriptRuntime.QueueLine(ComposeTitleLine(config.windowSettings.title));
    }
    const ClientSize size = window->GetClientSize();
    const WindowStatus status{size.width, size.height, window->IsFullscreen(), window->IsFocused()};
    std::string lines = ComposeInputLines(ProcessInputState(), status);
    lines.pop_back();  // QueueLine adds the last line feed
    scriptRuntime.QueueLine(lines);
}

void Application::ApplyWindowRequests(const WindowRequests& requests) {
    if (requests.title) window->SetTitle(*requests.title);
    if (requests.fullscreen) window->SetFullscreen(*requests.fullscreen);
    if (requests.cursorVisible) window->SetCursorVisible(*requests.cursorVisible);
    if (requests.fullscreenToggle) window->SetFullscreenToggle(*requests.fullscreenToggle);
}

}  // namespace Quorvane
