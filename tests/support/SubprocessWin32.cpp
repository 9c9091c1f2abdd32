#include "support/Subprocess.h"

#include <windows.h>

#include <chrono>
#include <thread>

#include "platform/win32/WideText.h"
#include "support/TempDir.h"

namespace QuorvaneTest {
namespace {

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

HANDLE OpenInheritable(const std::filesystem::path& path, bool write) {
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    captures = std::filesystem::temp_directory_path() / ("quorvane-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                         std::to_string(GetTickCount64()));
    std::filesystem::create_directories(captures);

    // Environment block: ours, changed as asked, sorted as Windows expects.
    std::map<std::string, std::string> environment;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            const std::wstring text = entry;
            const auto equals = text.find(L'=', 1);
            if (equals == std::wstring::npos) continue;
            const std::filesystem::path name(text.substr(0, equals)), value(text.substr(equals + 1));
            environment[name.string()] = value.string();
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : options.env) {
        if (value) environment[name] = *value; else environment.erase(name);
    }
    std::wstring block;
    for (const auto& [name, value] : environment) block += Quorvane::WidenText(name) + L"=" + Quorvane::WidenText(value) + L'\0';
    block += L'\0';

    std::vector<std::wstring> words;
    for (const std::string& argument : argv) words.push_back(Quorvane::WidenText(argument));
    std::wstring command = Quorvane::QuoteCommandLine(words);
    const HANDLE input = OpenInheritable("NUL", false);
    const HANDLE out = OpenInheritable(captures / "out", true);
    const HANDLE err = OpenInheritable(captures / "err", true);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    const std::wstring directory = options.workingDirectory.wstring();
    startSeconds = NowSeconds();
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW,
                       block.data(), directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        process = info.hProcess;
        pid = static_cast<int>(info.dwProcessId);
    } else {
        spawnError = "spawn failed: " + argv[0];
    }
    CloseHandle(input);
    CloseHandle(out);
    CloseHandle(err);
}

BackgroundProcess::~BackgroundProcess() {
    if (process != nullptr) {
        TerminateProcess(static_cast<HANDLE>(process), 1);
        WaitForSingleObject(static_cast<HANDLE>(process), 5000);
        CloseHandle(static_cast<HANDLE>(process));
    }
    std::error_code ignored;
    std::filesystem::remove_all(captures, ignored);
}

bool BackgroundProcess::Running() {
    return process != nullptr && WaitForSingleObject(static_cast<HANDLE>(process), 0) == WAIT_TIMEOUT;
}

ProcessResult BackgroundProcess::Wait(double timeoutSeconds) {
    ProcessResult result;
    if (process == nullptr) {
        result.err = spawnError;
        return result;
    }
    const double left = timeoutSeconds - (NowSeconds() - startSeconds);
    if (WaitForSingleObject(static_cast<HANDLE>(process), left > 0 ? static_cast<DWORD>(left * 1000) : 0) != WAIT_OBJECT_0) {
        TerminateProcess(static_cast<HANDLE>(process), 1);
        WaitForSingleObject(static_cast<HANDLE>(process), 5000);
        result.timedOut = true;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(static_cast<HANDLE>(process), &code);
        result.exitCode = static_cast<int>(code);
    }
    CloseHandle(static_cast<HANDLE>(process));
    process = nullptr;
    pid = -1;
    result.seconds = NowSeconds() - startSeconds;
    // Text-mode streams end lines with CR LF here; compare content the same way everywhere.
    const auto lineFeeds = [](std::string text) {
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
        return text;
    };
    result.out = lineFeeds(ReadFile(captures / "out"));
    result.err = lineFeeds(ReadFile(captures / "err"));
    return result;
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options) {
    BackgroundProcess process(argv, options);
    return process.Wait(options.timeoutSeconds);
}

}  // namespace QuorvaneTest
