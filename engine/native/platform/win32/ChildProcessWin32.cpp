#include <windows.h>
#include <timeapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/win32/WideText.h"

namespace Quorvane {

const char* const kDotnetFileName = "dotnet.exe";
const char* const kUserHomeVariable = "USERPROFILE";

namespace {

void CloseHandleOnce(HANDLE& handle) {
    if (handle != nullptr) CloseHandle(handle);
    handle = nullptr;
}

}  // namespace

struct ChildProcess::Impl {
    HANDLE processHandle = nullptr;
    HANDLE threadHandle = nullptr;
    HANDLE stdinWrite = nullptr;
    HANDLE stdoutRead = nullptr;
    // Holds the host and everything it starts; closing it kills them all.
    HANDLE job = nullptr;
    bool outputClosed = false;
    bool fineTimer = false;
    std::optional<ChildProcess::ExitStatus> lastExit;

    void CloseProcessHandles() {
        CloseHandleOnce(threadHandle);
        CloseHandleOnce(processHandle);
        // KILL_ON_JOB_CLOSE: what the host left running ends here.
        CloseHandleOnce(job);
    }
};

ChildProcess::ChildProcess() : impl(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    Close();
    impl->CloseProcessHandles();
    if (impl->fineTimer) timeEndPeriod(1);
}

ChildProcess::StartError ChildProcess::Start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                             const std::filesystem::path& workingDirectory) {
    // The 1 ms polling steps of the waits (and the frame limiter's sleeps) need a
    // 1 ms timer; Windows' default tick is about 15.6 ms.
    if (!impl->fineTimer) impl->fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;

    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.bInheritHandle = TRUE;
    HANDLE childStdInRead = nullptr, childStdOutWrite = nullptr;
    const auto fail = [&](StartError error) {
        CloseHandleOnce(childStdInRead);
        CloseHandleOnce(childStdOutWrite);
        CloseHandleOnce(impl->stdinWrite);
        CloseHandleOnce(impl->stdoutRead);
        return error;
    };
    if (!CreatePipe(&childStdInRead, &impl->stdinWrite, &security, 0)) return fail(StartError::StdinPipe);
    if (!SetHandleInformation(impl->stdinWrite, HANDLE_FLAG_INHERIT, 0)) return fail(StartError::StdinConfigure);
    if (!CreatePipe(&impl->stdoutRead, &childStdOutWrite, &security, 0)) return fail(StartError::StdoutPipe);
    if (!SetHandleInformation(impl->stdoutRead, HANDLE_FLAG_INHERIT, 0)) return fail(StartError::StdoutConfigure);
    // Non-blocking writes: a host that stops reading cannot stall the frame loop.
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    SetNamedPipeHandleState(impl->stdinWrite, &mode, nullptr, nullptr);

    std::vector<std::wstring> words{program.wstring()};
    for (const std::string& argument : arguments) words.push_back(WidenText(argument));
    std::wstring command = QuoteCommandLine(words);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childStdInRead;
    startup.hStdOutput = childStdOutWrite;
    startup.hStdError = childStdOutWrite;
    // The job is made first and the host starts suspended inside it, so not even
    // its first child can escape the job.
    impl->job = CreateJobObjectW(nullptr, nullptr);
    if (impl->job != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(impl->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    PROCESS_INFORMATION process{};
    const std::wstring directory = workingDirectory.wstring();
    const BOOL launched = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                         CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, directory.c_str(), &startup, &process);
    // From here on the host holds the only copies of its ends.
    CloseHandleOnce(childStdInRead);
    CloseHandleOnce(childStdOutWrite);
    if (!launched) {
        CloseHandleOnce(impl->job);
        return fail(StartError::Launch);
    }
    // A host that cannot join (a job it already belongs to that forbids nesting)
    // still runs; only its own PID is then ours to kill.
    if (impl->job != nullptr && !AssignProcessToJobObject(impl->job, process.hProcess)) CloseHandleOnce(impl->job);
    ResumeThread(process.hThread);
    impl->processHandle = process.hProcess;
    impl->lastExit.reset();
    impl->threadHandle = process.hThread;
    impl->outputClosed = false;
    return StartError::None;
}

bool ChildProcess::IsRunning() const { return impl->processHandle != nullptr; }

std::size_t ChildProcess::TryWrite(std::string_view bytes) {
    if (impl->stdinWrite == nullptr) return 0;
    // PIPE_NOWAIT: WriteFile takes what fits and returns at once.
    DWORD written = 0;
    if (!WriteFile(impl->stdinWrite, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        // The child has gone; nothing written later can arrive.
        CloseHandleOnce(impl->stdinWrite);
        return 0;
    }
    return written;
}

bool ChildProcess::InputClosed() const { return impl->stdinWrite == nullptr; }

std::size_t ChildProcess::Available() {
    if (impl->stdoutRead == nullptr) return 0;
    DWORD available = 0;
    if (!PeekNamedPipe(impl->stdoutRead, nullptr, 0, nullptr, &available, nullptr)) {
        impl->outputClosed = true;
        return 0;
    }
    return available;
}

std::size_t ChildProcess::Read(char* buffer, std::size_t size) {
    if (impl->stdoutRead == nullptr) return 0;
    DWORD read = 0;
    if (!ReadFile(impl->stdoutRead, buffer, static_cast<DWORD>(size), &read, nullptr)) return 0;
    return read;
}

void ChildProcess::WaitForOutput(int milliseconds) {
    // Anonymous pipes cannot be waited on; this is the plain polling step.
    Sleep(static_cast<DWORD>(milliseconds));
}

bool ChildProcess::OutputClosed() const { return impl->outputClosed; }

const std::optional<ChildProcess::ExitStatus>& ChildProcess::LastExit() const { return impl->lastExit; }

std::string DescribeExitStatus(const ChildProcess::ExitStatus& status) {
    const auto code = static_cast<std::uint32_t>(status.code);
    // Crashes end with an NTSTATUS code, which is read in hexadecimal.
    if (code < 0xC0000000u) return "exit code " + std::to_string(code);
    char text[32];
    std::snprintf(text, sizeof text, "exit code 0x%08X", static_cast<unsigned>(code));
    return text;
}

bool ChildProcess::WaitForExit(int milliseconds) {
    if (impl->processHandle == nullptr) return true;
    WaitForSingleObject(impl->processHandle, static_cast<DWORD>(milliseconds));
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(impl->processHandle, &exitCode)) {
        impl->CloseProcessHandles();
        return true;
    }
    if (exitCode == STILL_ACTIVE) return false;
    // Windows has no signals: a crash is an exception code such as 0xC00000FD.
    impl->lastExit = ExitStatus{false, static_cast<int>(exitCode)};
    impl->CloseProcessHandles();
    return true;
}

void ChildProcess::Terminate() {
    if (impl->processHandle == nullptr) return;
    if (impl->job != nullptr) TerminateJobObject(impl->job, 0);
    TerminateProcess(impl->processHandle, 0);
    WaitForSingleObject(impl->processHandle, 1000);
    impl->CloseProcessHandles();
}

void ChildProcess::Close() {
    CloseHandleOnce(impl->stdinWrite);
    CloseHandleOnce(impl->stdoutRead);
    impl->outputClosed = false;
}

}  // namespace Quorvane
