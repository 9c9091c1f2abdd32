#include "platform/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <utility>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Quorvane {

const char* const kDotnetFileName = "dotnet";
const char* const kUserHomeVariable = "HOME";

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void IgnoreSigpipeOnce() {
    // A write to a child that has exited must come back as EPIPE, not kill us.
    static const bool done = [] {
        ::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)done;
}

}  // namespace

struct ChildProcess::Impl {
    pid_t pid = -1;
    int stdinWrite = -1;
    int stdoutRead = -1;
    bool outputClosed = false;  // the child closed its end and nothing is left
    std::optional<ChildProcess::ExitStatus> lastExit;
};

ChildProcess::ChildProcess() : impl(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    Close();
    // A child we never reaped would stay a zombie until we exit.
    if (impl->pid > 0) Terminate();
}

ChildProcess::StartError ChildProcess::Start(const std::filesystem::path& program,
                                             const std::vector<std::string>& arguments,
                                             const std::filesystem::path& workingDirectory) {
    IgnoreSigpipeOnce();
    int stdinPipe[2] = {-1, -1};
    int stdoutPipe[2] = {-1, -1};
    // O_CLOEXEC on every end: the child gets only the dup2'ed copies.
    if (::pipe2(stdinPipe, O_CLOEXEC) != 0) return StartError::StdinPipe;
    if (::pipe2(stdoutPipe, O_CLOEXEC) != 0) {
        CloseFd(stdinPipe[0]);
        CloseFd(stdinPipe[1]);
        return StartError::StdoutPipe;
    }
#if defined(F_SETPIPE_SZ)
    // A busy frame is megabytes of lines; a larger pipe lets the host write it with
    // fewer waits for us to read. Best effort: the system may refuse the size.
    ::fcntl(stdoutPipe[0], F_SETPIPE_SZ, 1 << 20);
#endif
    // Our write end never blocks; Write bounds its own waits.
    if (::fcntl(stdinPipe[1], F_SETFL, ::fcntl(stdinPipe[1], F_GETFL) | O_NONBLOCK) != 0) {
        for (int* fd : {&stdinPipe[0], &stdinPipe[1], &stdoutPipe[0], &stdoutPipe[1]}) CloseFd(*fd);
        return StartError::StdinConfigure;
    }

    std::vector<std::string> argvText;
    argvText.push_back(program.string());
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argvText) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdinPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, stdoutPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, stdoutPipe[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

    // We ignore SIGPIPE; the child must get the default back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    // A group of its own, led by the host: whatever it starts stays in the group,
    // and one kill at the end reaches all of it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    CloseFd(stdinPipe[0]);
    CloseFd(stdoutPipe[1]);
    if (error != 0) {
        CloseFd(stdinPipe[1]);
        CloseFd(stdoutPipe[0]);
        return StartError::Launch;
    }
    impl->pid = pid;
    impl->lastExit.reset();
    impl->stdinWrite = stdinPipe[1];
    impl->stdoutRead = stdoutPipe[0];
    impl->outputClosed = false;
    return StartError::None;
}

bool ChildProcess::IsRunning() const { return impl->pid > 0; }

std::size_t ChildProcess::TryWrite(std::string_view bytes) {
    if (impl->stdinWrite < 0) return 0;
    std::size_t total = 0;
    while (total < bytes.size()) {
        const ssize_t written = ::write(impl->stdinWrite, bytes.data() + total, bytes.size() - total);
        if (written > 0) {
            total += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) {
            // EPIPE: the child has gone; nothing written later can arrive.
            CloseFd(impl->stdinWrite);
        }
        break;
    }
    return total;
}

bool ChildProcess::InputClosed() const { return impl->stdinWrite < 0; }

std::size_t ChildProcess::Available() {
    if (impl->stdoutRead < 0) return 0;
    int available = 0;
    if (::ioctl(impl->stdoutRead, FIONREAD, &available) != 0 || available <= 0) return 0;
    return static_cast<std::size_t>(available);
}

std::size_t ChildProcess::Read(char* buffer, std::size_t size) {
    if (impl->stdoutRead < 0) return 0;
    for (;;) {
        const ssize_t count = ::read(impl->stdoutRead, buffer, size);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) return 0;
    }
}

void ChildProcess::WaitForOutput(int milliseconds) {
    if (impl->stdoutRead < 0 || impl->outputClosed) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    pollfd entry{impl->stdoutRead, POLLIN, 0};
    const int ready = ::poll(&entry, 1, milliseconds);
    if (ready > 0 && (entry.revents & (POLLHUP | POLLERR)) && Available() == 0) {
        // Hang-up with nothing to read makes poll return at once from now on;
        // keep the wait's pace instead of spinning.
        impl->outputClosed = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

bool ChildProcess::OutputClosed() const { return impl->outputClosed; }

const std::optional<ChildProcess::ExitStatus>& ChildProcess::LastExit() const { return impl->lastExit; }

std::string DescribeExitStatus(const ChildProcess::ExitStatus& status) {
    if (!status.bySignal) return "exit code " + std::to_string(status.code);
    static constexpr std::pair<int, const char*> kNames[] = {
        {SIGABRT, "SIGABRT"}, {SIGSEGV, "SIGSEGV"}, {SIGKILL, "SIGKILL"}, {SIGTERM, "SIGTERM"},
        {SIGBUS, "SIGBUS"},   {SIGILL, "SIGILL"},   {SIGFPE, "SIGFPE"},   {SIGINT, "SIGINT"},
        {SIGQUIT, "SIGQUIT"}, {SIGTRAP, "SIGTRAP"}, {SIGPIPE, "SIGPIPE"}, {SIGHUP, "SIGHUP"},
    };
    std::string text = "signal " + std::to_string(status.code);
    for (const auto& [number, name] : kNames) {
        if (number == status.code) text += std::string(", ") + name;
    }
    return text;
}

bool ChildProcess::WaitForExit(int milliseconds) {
    if (impl->pid <= 0) return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        // Looked at without reaping: while the exited host is not reaped its PID
        // (the group's id) cannot be reused, so the group kill below is safe.
        siginfo_t info{};
        const int seen = ::waitid(P_PID, static_cast<id_t>(impl->pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (seen < 0 && errno == ECHILD) {
            impl->pid = -1;
            return true;
        }
        if (seen == 0 && info.si_pid == impl->pid) {
            const bool signalled = info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED;
            impl->lastExit = ExitStatus{signalled, info.si_status};
            Terminate();  // what the host left running in its group, then the reap
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ChildProcess::Terminate() {
    if (impl->pid <= 0) return;
    // The whole group: the host and anything it started, even after the host
    // itself has exited (its unreaped PID still names the group).
    ::kill(-impl->pid, SIGKILL);
    ::kill(impl->pid, SIGKILL);
    int status = 0;
    while (::waitpid(impl->pid, &status, 0) < 0 && errno == EINTR) {
    }
    impl->pid = -1;
}

void ChildProcess::Close() {
    CloseFd(impl->stdinWrite);
    CloseFd(impl->stdoutRead);
    impl->outputClosed = false;
}

}  // namespace Quorvane
