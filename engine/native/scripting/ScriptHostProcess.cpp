#include "scripting/ScriptHostProcess.h"

#include <chrono>
#include <cstdlib>

#include "app/Log.h"
#include "app/Numbers.h"

namespace Quorvane {
namespace {

// Large reads keep a busy frame (thousands of sprite lines) to a few system calls.
constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

ScriptHostProcess::~ScriptHostProcess() { Shutdown(); }

std::filesystem::path ScriptHostProcess::FindDotnetHost() {
    if (const char* dotnetRoot = std::getenv("DOTNET_ROOT"); dotnetRoot != nullptr) {
        const std::filesystem::path candidate = std::filesystem::path(dotnetRoot) / kDotnetFileName;
        std::error_code error;
        if (std::filesystem::exists(candidate, error)) return candidate;
    }
    if (const char* userHome = std::getenv(kUserHomeVariable); userHome != nullptr) {
        const std::filesystem::path candidate = std::filesystem::path(userHome) / ".dotnet" / kDotnetFileName;
        std::error_code error;
        if (std::filesystem::exists(candidate, error)) return candidate;
    }
    return "dotnet";
}

std::vector<std::string> ScriptHostProcess::BuildArguments(const ScriptHostConfig& config) {
    return {
        config.scriptHostPath.string(),
        config.gameAssemblyPath.string(),
        config.mainClass,
        config.projectRoot.string(),
        config.startScene,
        FormatFixed6(config.fixedDeltaTime),
        FormatFixed6(config.x),
        FormatFixed6(config.y),
    };
}

bool ScriptHostProcess::Start(const ScriptHostConfig& config) {
    state.projectRoot = config.projectRoot;
    switch (child.Start(FindDotnetHost(), BuildArguments(config), config.projectRoot)) {
        case ChildProcess::StartError::None:
            break;
        case ChildProcess::StartError::StdinPipe:
            return Fail("Could not create stdin pipe.");
        case ChildProcess::StartError::StdinConfigure:
            return Fail("Could not configure stdin pipe.");
        case ChildProcess::StartError::StdoutPipe:
            return Fail("Could not create stdout pipe.");
        case ChildProcess::StartError::StdoutConfigure:
            return Fail("Could not configure stdout pipe.");
        case ChildProcess::StartError::Launch:
            return Fail("Could not start .NET script host. Make sure dotnet is available on PATH.");
    }
    WaitForLine(Token::Ready, kReadyTimeoutMs);
    if (!state.ready && child.OutputClosed()) {
        // A host that ended before READY and said why (an ERROR line) has been
        // reported by its own words; only a silent end needs ours.
        if (state.errorLines > 0) {
            ReleaseHeldLines(state, true);
            Shutdown();
            return false;
        }
        ReportDeath();
        Shutdown();
        return false;
    }
    ReleaseHeldLines(state, false);
    if (!state.ready) return Fail("Script host did not become ready.");
    LogInfo("C# script host started.");
    return true;
}

void ScriptHostProcess::SendStart() {
    WriteLine("START");
    WaitForLine(Token::Started, kStartedTimeoutMs);
    AfterWait();
}

void ScriptHostProcess::RunFrame(float deltaTime, const InputState& input) {
    // Queued lines and the FRAME line go in one write from one reused buffer;
    // swapping keeps the frame's lines for a recording without a copy.
    AppendFrameLine(queued, deltaTime, input);
    lastFrame.swap(queued);
    queued.clear();
    ExchangeFrame();
}

void ScriptHostProcess::RunRecordedFrame(std::string_view recorded) {
    queued.clear();
    lastFrame.assign(recorded);
    ExchangeFrame();
}

void ScriptHostProcess::ExchangeFrame() {
    state.snapshot.ClearLists();
    state.frameEnded = false;
    ++state.frameNumber;
    frameLines = 0;
    WriteLine(lastFrame);
    WaitForLine(Token::EndFrame, kFrameTimeoutMs);
    AfterWait();
    if (hostDied || !state.extensions.Has(Extension::Frames)) return;

    if (!state.frameEnded && !stalled) {
        LogWarn("frame " + std::to_string(state.frameNumber) + ": the script host took longer than " +
                std::to_string(kFrameTimeoutMs) + " ms");
    }
    stalled = !state.frameEnded;
    if (state.gameFailure && !state.gameFailure->reported) {
        state.gameFailure->reported = true;
        std::string text;
        for (const std::string& line : DescribeGameFailure(*state.gameFailure)) {
            if (!text.empty()) text += '\n';
            text += line;
        }
        LogError(text);
    }
}

void ScriptHostProcess::AfterWait() {
    if (hostDied) return;
    if (child.IsRunning() && child.OutputClosed()) {
        ReportDeath();
        return;
    }
    // A host may end its frame and crash right after it: lines that just came
    // wait one more frame, to be logged as errors if it turns out to have died.
    ReleaseHeldLines(state, false, heldFromEarlierWaits);
    heldFromEarlierWaits = state.heldLines.size();
}

void ScriptHostProcess::ReportDeath() {
    hostDied = true;
    // The output closes as the process ends; its exit status follows at once.
    if (!child.WaitForExit(1000)) child.Terminate();
    const std::optional<ChildProcess::ExitStatus>& exit = child.LastExit();
    const std::string headline = exit ? "The script host exited unexpectedly (" + DescribeExitStatus(*exit) + ")."
                                      : "The script host closed its output and was ended.";
    LogError(headline);
    deathReport.clear();
    deathReport.push_back(headline);
    const std::size_t held = state.heldLines.size();
    // The head says what happened ("Stack overflow.", "Unhandled exception."); a
    // deep stack repeats itself below it.
    for (std::size_t i = 0; i < held && i < kMaxCrashLines; ++i) {
        deathReport.push_back(state.heldLines[i]);
    }
    ReleaseHeldLines(state, true);
    heldFromEarlierWaits = 0;
    child.Close();
}

void ScriptHostProcess::QueueLine(std::string_view line) {
    queued += line;
    queued += '\n';
}

void ScriptHostProcess::Shutdown() {
    if (!hostDied) ReleaseHeldLines(state, false);
    heldFromEarlierWaits = 0;
    // Only a host that was launched and not yet reaped hears SHUTDOWN; a second
    // call finds it reaped and does nothing.
    if (child.IsRunning()) {
        WriteLine("SHUTDOWN");
        // Bytes still queued for a slow reader keep going out while we wait.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kShutdownTimeoutMs);
        bool exited = false;
        while (!(exited = child.WaitForExit(1)) && std::chrono::steady_clock::now() < deadline) FlushOutgoing();
        if (!exited) child.Terminate();
    }
    child.Close();
    outgoing.clear();
}

bool ScriptHostProcess::Fail(const std::string& message) {
    LogError(message);
    Shutdown();
    return false;
}

void ScriptHostProcess::WriteLine(const std::string& line) {
    FlushOutgoing();
    if (child.InputClosed()) return;
    // Whole lines only: a line that does not fit the queue is dropped entirely,
    // so the host never reads half of one.
    if (outgoing.size() + line.size() + 1 > maxOutgoing) {
        ReportNotReading();
        return;
    }
    outgoing += line;
    outgoing += '\n';
    FlushOutgoing();
}

void ScriptHostProcess::FlushOutgoing() {
    if (outgoing.empty()) return;
    const std::size_t written = child.TryWrite(outgoing);
    outgoing.erase(0, written);
    if (child.InputClosed()) {
        outgoing.clear();
        return;
    }
    // The host's pipe is full: it has a whole pipe of our lines unread.
    if (!outgoing.empty()) ReportNotReading();
}

void ScriptHostProcess::ReportNotReading() {
    if (reportedNotReading) return;
    reportedNotReading = true;
    LogWarn("script host is not reading its input");
}

bool ScriptHostProcess::TakeLine(std::string_view line) {
    // The lines that end a wait are never capped, numbered ends included.
    if (line.rfind("END_FRAME", 0) == 0 || line == "READY" || line == "STARTED") return true;
    if (++frameLines <= maxFrameLines) return true;
    if (!reportedFrameCap) {
        reportedFrameCap = true;
        LogWarn("Script host sent more than " + std::to_string(maxFrameLines) +
                " lines in one frame; the rest of that frame's lines were dropped.");
    }
    return false;
}

void ScriptHostProcess::ReadAvailableLines(std::chrono::steady_clock::time_point deadline) {
    char buffer[kReadChunk];
    // The deadline is checked per chunk: a host that writes faster than we read
    // would otherwise keep this loop, and the frame, going for ever.
    while (std::chrono::steady_clock::now() < deadline) {
        const std::size_t available = child.Available();
        if (available == 0) return;
        const std::size_t count = child.Read(buffer, std::min(available, sizeof buffer));
        if (count == 0) return;

        std::string_view incoming(buffer, count);
        if (discardingLongLine) {
            const std::size_t feed = incoming.find('\n');
            if (feed == std::string_view::npos) continue;
            incoming.remove_prefix(feed + 1);
            discardingLongLine = false;
        }
        // Bytes already pending hold no line feed: search only what just arrived.
        std::size_t searchFrom = pending.size();
        pending.append(incoming);

        std::size_t consumed = 0;
        for (;;) {
            const std::size_t feed = pending.find('\n', searchFrom);
            if (feed == std::string::npos) break;
            std::string_view line(pending.data() + consumed, feed - consumed);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            consumed = feed + 1;
            searchFrom = consumed;
            if (TakeLine(line)) HandleLine(state, line);
        }
        pending.erase(0, consumed);

        if (pending.size() > maxPending) {
            constexpr std::size_t mebibyte = 1024 * 1024;
            const std::string limit = maxPending % mebibyte == 0 ? std::to_string(maxPending / mebibyte) + " MiB"
                                                                 : std::to_string(maxPending) + " bytes";
            LogError("Script host sent a line longer than " + limit + "; it was dropped.");
            pending.clear();
            pending.shrink_to_fit();
            discardingLongLine = true;
        }
    }
}

bool ScriptHostProcess::TokenSeen(Token token) const {
    switch (token) {
        case Token::Ready: return state.ready;
        case Token::Started: return state.started;
        case Token::EndFrame: return state.frameEnded;
    }
    return false;
}

void ScriptHostProcess::WaitForLine(Token token, int limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (std::chrono::steady_clock::now() < deadline) {
        FlushOutgoing();
        ReadAvailableLines(deadline);
        if (TokenSeen(token)) return;
        // A host that has gone never answers: stop waiting at once.
        if (child.OutputClosed()) return;
        // At most the 1 ms step of a polling wait, but it ends as soon as bytes arrive.
        child.WaitForOutput(1);
    }
}

}  // namespace Quorvane
