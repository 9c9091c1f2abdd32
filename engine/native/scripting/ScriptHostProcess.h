#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/InputState.h"
#include "project/ScriptHostConfig.h"
#include "scripting/WireProtocol.h"

namespace Quorvane {

// The runtime's end of the script host: launch, line exchange with time
// limits, shutdown. Single-threaded; no read ever blocks.
class ScriptHostProcess {
public:
    static constexpr int kReadyTimeoutMs = 5000;
    static constexpr int kStartedTimeoutMs = 5000;
    static constexpr int kFrameTimeoutMs = 500;
    static constexpr int kShutdownTimeoutMs = 300;
    // A line longer than this is dropped, so a host that never sends a line
    // feed cannot exhaust our memory.
    static constexpr std::size_t kMaxPendingBytes = 16u * 1024u * 1024u;
    // Lines one frame may carry (END_FRAME aside); past it the frame's further
    // lines are dropped, with one warning per run. A frame of BasicGame carries
    // a few hundred and BunnyMark's largest run 100,000 sprites; the cap bounds
    // what a flooding host can make us hold (tens of megabytes).
    static constexpr std::size_t kMaxFrameLines = 1000000;
    // Bytes queued for a host whose input pipe is full; whole lines beyond it
    // are dropped, and the host is reported as not reading once.
    static constexpr std::size_t kMaxOutgoingBytes = 256u * 1024u;

    // A crash screen shows the start of the host's last output, not all of it.
    static constexpr std::size_t kMaxCrashLines = 12;

    // The caps can be set low by tests to reach them quickly.
    explicit ScriptHostProcess(std::size_t maxPendingBytes = kMaxPendingBytes, std::size_t maxFrameLineCount = kMaxFrameLines,
                               std::size_t maxOutgoingBytes = kMaxOutgoingBytes)
        : maxPending(maxPendingBytes), maxFrameLines(maxFrameLineCount), maxOutgoing(maxOutgoingBytes) {
        state.holdUnknownLines = true;
    }
    ~ScriptHostProcess();
    ScriptHostProcess(const ScriptHostProcess&) = delete;
    ScriptHostProcess& operator=(const ScriptHostProcess&) = delete;

    bool Start(const ScriptHostConfig& config);
    void SendStart();
    void RunFrame(float deltaTime, const InputState& input = ProcessInputState());
    void Shutdown();

    // An extended line for the host, written in front of the next FRAME line in
    // the same write. Callers check Extensions() first: a host that declared
    // nothing must never see one.
    void QueueLine(std::string_view line);
    // Writes one line now, outside any frame (lines a host must see before START).
    void SendLine(std::string_view line) { WriteLine(std::string(line)); }
    // A replay's frame: the recorded lines go out in place of live input and clock;
    // lines queued meanwhile are dropped, the recording already holds their kind.
    void RunRecordedFrame(std::string_view recorded);
    // What the last frame wrote to the host, without the final line feed.
    const std::string& LastFrameLines() const { return lastFrame; }
    ExtensionSet Extensions() const { return state.extensions; }

    const FrameSnapshot& GetSnapshot() const { return state.snapshot; }
    bool IsReady() const { return state.ready; }
    bool IsStarted() const { return state.started; }
    bool FrameEnded() const { return state.frameEnded; }

    // The host process ended without being asked to (before SHUTDOWN).
    bool HostDied() const { return hostDied; }
    // What the log said about it: "The script host exited unexpectedly (...)."
    // and the last lines of its output.
    const std::vector<std::string>& DeathReport() const { return deathReport; }
    // The game's first unhandled exception, as a "frames" host reported it.
    const std::optional<GameFailure>& GameFailed() const { return state.gameFailure; }
    // The host asked to end the main loop (extension "frames").
    bool QuitRequested() const { return state.quitRequested; }

    // dotnet under DOTNET_ROOT, then under the user's home .dotnet, then the bare name.
    static std::filesystem::path FindDotnetHost();
    // The host's arguments after the dotnet executable, in launch order.
    static std::vector<std::string> BuildArguments(const ScriptHostConfig& config);

private:
    enum class Token { Ready, Started, EndFrame };

    bool Fail(const std::string& message);
    void WriteLine(const std::string& line);
    void FlushOutgoing();
    void ReportNotReading();
    // False for a line past the frame's cap (counted here).
    bool TakeLine(std::string_view line);
    void ReadAvailableLines(std::chrono::steady_clock::time_point deadline);
    // Sends lastFrame and waits for the answer, as every frame does.
    void ExchangeFrame();
    void WaitForLine(Token token, int limitMs);
    bool TokenSeen(Token token) const;
    // After every wait: a host whose output has closed has died; its held lines
    // are its crash output. Otherwise held lines are ordinary output.
    void AfterWait();
    void ReportDeath();

    bool hostDied = false;
    std::vector<std::string> deathReport;
    std::size_t heldFromEarlierWaits = 0;  // held lines that have waited a whole frame
    bool stalled = false;  // the last frame wait of a "frames" host timed out

    ChildProcess child;
    ProtocolState state;
    std::string pending;
    std::string queued;  // extended lines waiting for the next FRAME write
    std::string outgoing;  // written lines the host's pipe has not taken yet
    std::string lastFrame;  // swapped with queued, so neither allocates in a steady run
    std::size_t maxPending;
    std::size_t maxFrameLines;
    std::size_t maxOutgoing;
    std::size_t frameLines = 0;
    bool discardingLongLine = false;
    bool reportedNotReading = false;
    bool reportedFrameCap = false;
};

}  // namespace Quorvane
