#include "app/Application.h"

#include <algorithm>
#include <chrono>
#include <charconv>
#include <exception>
#include <optional>

#include "app/ErrorScreen.h"
#include "app/ImageCompare.h"
#include "app/Log.h"
#include "app/StopSignal.h"
#include "project/ScriptHostConfig.h"
#include "scripting/InputLines.h"
#include "render/software/BandedCanvas.h"

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

    if (options.renderThreads) SetRenderThreads(*options.renderThreads);
    window = options.headless ? CreateHeadlessWindow() : CreatePlatformWindow();
    const WindowSettings& settings = config.windowSettings;
    if (!window->Create(settings.width, settings.height, settings.title)) return 1;
    if (!renderer.Initialize(*window, options.headless ? CreateSoftwareCanvas() : CreatePlatformCanvas(*window))) return 1;
    renderer.SetTextureRoot(config.projectRoot);
    renderer.SetPixelPerfect(config.pixelPerfect);
    overlay.SetKey(config.overlayKey);
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
    if (!StartAudio(config, options)) return 1;
    if (!PrepareDeveloperLoop(config, options)) return 1;
    // A host that never says STARTED still gets its frames.
    scriptRuntime.SendStart();

    frameClock.Reset();
    LogInfo("Running project: " + config.name);
    const bool failed = MainLoop(config, options);
    scriptRuntime.Shutdown();
    if (options.stats) LogInfo(FrameStats::Format(frameStats.Summarise()));
    if (!audio.Stop()) return 1;

    if (!options.screenshot.empty() && !WritePng(options.screenshot, renderer.Pixels())) {
        LogError("Could not write the screenshot: " + PathToString(options.screenshot));
        return 1;
    }
    // The recording is finished and the image compared whatever else happened.
    const int finished = FinishDeveloperLoop(options);
    return failed ? kExitGameFailed : finished;
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
        return kExitImageDiffers;
    }
    LogInfo("The last frame matches " + PathToString(options.compare) + ": " + counts + ".");
    return 0;
}

bool Application::StartAudio(const ProjectConfig& config, const CommandLine& options) {
    // A host that did not ask for sound gets none, and no device is touched for it;
    // a capture still records the (silent) mix.
    if (!scriptRuntime.Extensions().Has(Extension::Audio) && options.audioCapture.empty()) return true;
    AudioOptions audioOptions;
    audioOptions.headless = options.headless;
    // Headless frames take no set time, so the mixer advances by the nominal frame
    // time: the same frames give the same samples on any machine.
    audioOptions.frameSeconds = 1.0 / (config.targetFps > 0 ? config.targetFps : 60);
    audioOptions.capturePath = options.audioCapture;
    return audio.Start(audioOptions, options.headless ? nullptr : CreatePlatformAudioDevice());
}

std::optional<ErrorScreen> Application::FailureScreen() const {
    const ScriptHostProcess& host = scriptRuntime.Process();
    if (host.HostDied()) return ErrorScreen{"The game stopped: its script host ended", host.DeathReport()};
    if (const auto& failure = host.GameFailed(); failure && failure->reported) {
        return ErrorScreen{"The game failed in " + failure->where, DescribeGameFailure(*failure)};
    }
    return std::nullopt;
}

bool Application::MainLoop(const ProjectConfig& config, const CommandLine& options) {
    std::int64_t framesRun = 0;
    // --frames N ends the loop the way a close request would: after a whole frame.
    const auto frameLimitReached = [&] { return options.frames && framesRun >= *options.frames; };
    std::optional<ErrorScreen> failure;
    using Clock = FrameClock::Clock;
    const auto milliseconds = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::optional<Clock::time_point> previousStart;
    const bool replaying = !options.replay.empty();
    // Overlapped frames: frame N is drawn on the render threads while the host
    // computes frame N+1, and it is shown once that exchange is over.
    const bool overlap = options.overlapFrames || config.overlapFrames;
    bool framePending = false;  // drawn in the background, not yet shown
    while (!frameLimitReached() && !StopRequested() && window->PumpMessages()) {
        const auto frameStart = Clock::now();
        const float delta = ClampDelta(frameClock.Tick(), config.maxDeltaTime);
        // A dead host answers nothing; a failed game's host stays alive (and
        // answers its frames) in case the game is mended and loaded again.
        if (!scriptRuntime.Process().HostDied()) {
            if (replaying) {
                if (replayFrame >= replay.frames.size()) {
                    LogInfo("The replay ended after " + std::to_string(replayFrame) + " frames.");
                    break;
                }
                scriptRuntime.RunRecordedFrame(replay.frames[replayFrame++]);
            } else {
                QueueInputLines(config, framesRun == 0);
                scriptRuntime.RunFrame(delta);
            }
            if (recorder.IsOpen()) recorder.AddFrame(scriptRuntime.LastFrameLines());
        }
        const auto hostDone = Clock::now();
        overlay.Update(ProcessInputState());
        ProcessInputState().EndFrame();
        ProcessInputState().ClearFrameEvents();
        if (framePending) renderer.Present();
        framePending = false;
        // Asked every frame: a game mended under --watch leaves its error screen.
        failure = FailureScreen();
        DrawCounts drawn;
        if (failure) {
            DrawErrorScreen(renderer, *failure);
        } else {
            const FrameSnapshot& snapshot = scriptRuntime.GetSnapshot();
            ApplyWindowRequests(snapshot.window);
            renderer.BeginFrame(config.backgroundColor);
            renderer.DrawSnapshot(snapshot);
            if (overlay.Shown()) drawn = CountDrawables(snapshot);
        }
        overlay.Draw(renderer, frameStats, drawn);
        if (overlap && !failure) {
            renderer.StartDrawing();
            framePending = true;
        } else {
            renderer.Present();
        }
        // A stale snapshot (dead host, failed game) must not replay its sounds every frame.
        if (!failure) {
            const FrameSnapshot& snapshot = scriptRuntime.GetSnapshot();
            audio.Submit(snapshot.audio, snapshot.strings);
        }
        audio.AdvanceFrame();
        ++framesRun;
        frameStats.Record({previousStart ? milliseconds(frameStart - *previousStart) : -1.0,
                           milliseconds(hostDone - frameStart), milliseconds(Clock::now() - hostDone),
                           failure ? -1 : scriptRuntime.GetSnapshot().hostAllocatedBytes});
        previousStart = frameStart;
        // Game.Quit() ends the loop as closing the window does.
        if (scriptRuntime.Process().QuitRequested()) break;
        // Without a window nobody can close the error screen: it is drawn once
        // (for --screenshot) and the run ends.
        if (failure && options.headless && !options.watch) break;
        // A headless replay shows nothing to anyone: CI gets its frames as fast as they come.
        if (!(replaying && options.headless)) LimitFrame(frameStart, config.enableFrameLimiter, config.targetFps);
    }
    if (framePending) renderer.Present();
    return failure.has_value();
}

void Application::ApplyWindowSettings(const WindowSettings& settings) {
    // Each only when it differs from the default window, so a project without
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
        // Like the fullscreen shortcut, the overlay key belongs to the runtime here.
        ProcessInputState().HideKey(config.overlayKey);
        scriptRuntime.QueueLine(ComposeTitleLine(config.windowSettings.title));
    }
    const ClientSize size = window->GetClientSize();
    const WindowStatus status{size.width, size.height, window->IsFullscreen(), window->IsFocused()};
    inputLines.clear();
    AppendInputLines(inputLines, ProcessInputState(), status);
    // QueueLine adds the last line feed.
    scriptRuntime.QueueLine(std::string_view(inputLines).substr(0, inputLines.size() - 1));
}

void Application::ApplyWindowRequests(const WindowRequests& requests) {
    if (requests.title) window->SetTitle(*requests.title);
    if (requests.fullscreen) window->SetFullscreen(*requests.fullscreen);
    if (requests.cursorVisible) window->SetCursorVisible(*requests.cursorVisible);
    if (requests.fullscreenToggle) window->SetFullscreenToggle(*requests.fullscreenToggle);
}

}  // namespace Quorvane
