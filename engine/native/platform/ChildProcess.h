#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane {

// A child process whose stdin is fed by us and whose stdout and stderr come
// back on one pipe. Nothing here blocks without a limit. The child and all it
// starts form one group that ends with it.
class ChildProcess {
public:
    enum class StartError { None, StdinPipe, StdinConfigure, StdoutPipe, StdoutConfigure, Launch };

    // How a reaped child ended: its exit code, or the signal that ended it.
    struct ExitStatus {
        bool bySignal = false;
        int code = 0;  // the exit code, or the signal number
    };

    ChildProcess();
    ~ChildProcess();  // Close()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // program: a path, or a bare name searched on PATH. Arguments arrive intact.
    StartError Start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                     const std::filesystem::path& workingDirectory);
    bool IsRunning() const;  // started and not yet reaped by us (exited or not)

    // Writes what the pipe takes now, never waiting; returns the bytes written.
    // A child that has gone closes our end (see InputClosed).
    std::size_t TryWrite(std::string_view bytes);
    bool InputClosed() const;
    // Bytes that can be read now without blocking; 0 when none or the pipe is closed.
    std::size_t Available();
    std::size_t Read(char* buffer, std::size_t size);
    // Waits at most the given time, returning early when output arrives.
    void WaitForOutput(int milliseconds);
    // True once the child has closed its output and everything was read.
    bool OutputClosed() const;
    // True once the child has exited (and been reaped) within the limit. What
    // the child started and left running is killed with it.
    bool WaitForExit(int milliseconds);
    // Kills the child with everything it started (its process group on POSIX,
    // its job object on Windows) and reaps it.
    void Terminate();
    // How the child ended, once WaitForExit has reaped it; empty before, and
    // after Terminate (our own kill is no news).
    const std::optional<ExitStatus>& LastExit() const;
    // Closes our pipe ends. A child still running is left to the caller's Terminate.
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// "exit code 3", "signal 6, SIGABRT", "exit code 0xC00000FD": for messages.
std::string DescribeExitStatus(const ChildProcess::ExitStatus& status);

// Name of the dotnet executable file and of the variable naming the user's home folder.
extern const char* const kDotnetFileName;
extern const char* const kUserHomeVariable;

}  // namespace Quorvane
