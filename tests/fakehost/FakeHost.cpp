// A stand-in for "dotnet <script host> ..." that misbehaves on request.
// QUORVANE_FAKE_SCENARIO holds key=value pairs separated by ';':
//   ready=never | ready_delay_ms=N | pre_ready=L~L | stderr=TEXT | flood=BYTES | exit_before_ready=1
//   started=never | frame_reply=L~L ("{n}" becomes the frame number)
//   reply_at_N=L~L (sent after frame N's frame_reply)
//   frame_delay_ms=N | end_frame=never | die_after_frames=N | shutdown=ignore
//   slow_frame=N;slow_ms=M (only frame N is late) | crash=L~L (to stderr as it dies)
//   exit_code=N | die_signal=N (how it dies after die_after_frames)
// Hostile hosts:
//   flood_lines=1        after READY, writes RECT lines as fast as it can, for ever
//   no_read=1            after READY never reads stdin again; writes END_FRAME every 5 ms
//   close_output=1       closes stdout and stderr after READY and goes on reading
//   spawn_child=1        starts a long-sleeping child of its own (CHILD|pid recorded)
//   garbage=N            every frame, N bytes of binary garbage (NULs, CRs, bars, high bytes)
// QUORVANE_FAKE_RECORD names a file that receives ARG|, CWD|, IN| and EXIT lines.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <unistd.h>
extern char** environ;
#endif


namespace {

std::map<std::string, std::string> scenario;
std::ofstream record;

std::string Get(const std::string& key, const std::string& fallback = "") {
    const auto found = scenario.find(key);
    return found == scenario.end() ? fallback : found->second;
}

int GetInt(const std::string& key, int fallback) {
    const std::string value = Get(key);
    return value.empty() ? fallback : std::atoi(value.c_str());
}

std::string Utf8(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void Note(const std::string& text) {
    if (record.is_open()) record << text << '\n' << std::flush;
}

// A child that outlives us unless someone kills our whole process tree.
void SpawnSleeper() {
#if defined(_WIN32)
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --sleep";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                       &process)) {
        Note("CHILD|" + std::to_string(process.dwProcessId));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
#else
    // Its own stdio goes nowhere, so only the process tree keeps it tied to us.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", 0, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
    char sleepName[] = "sleep", seconds[] = "60";
    char* argv[] = {sleepName, seconds, nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "sleep", &actions, nullptr, argv, environ) == 0) Note("CHILD|" + std::to_string(pid));
    posix_spawn_file_actions_destroy(&actions);
#endif
}

void Garbage(int bytes, int frame) {
    std::string text;
    unsigned state = 2166136261u ^ static_cast<unsigned>(frame);
    const char specials[] = {'\0', '\r', '|', '\n', '\xff', '\x80'};
    for (int i = 0; i < bytes; ++i) {
        state = state * 1664525u + 1013904223u;
        const unsigned pick = state >> 24;
        text += pick < 64 ? specials[pick % sizeof specials] : static_cast<char>(pick);
    }
    text += '\n';  // what follows starts a line of its own
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void Send(const std::string& lines, int frame) {
    std::string text;
    std::size_t start = 0;
    while (start <= lines.size() && !lines.empty()) {
        std::size_t tilde = lines.find('~', start);
        if (tilde == std::string::npos) tilde = lines.size();
        std::string line = lines.substr(start, tilde - start);
        for (std::size_t at; (at = line.find("{n}")) != std::string::npos;) line.replace(at, 3, std::to_string(frame));
        text += line + "\n";
        start = tilde + 1;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--sleep") {
        Sleep(60000);
        return 0;
    }
    if (const char* text = std::getenv("QUORVANE_FAKE_SCENARIO")) {
        std::string all = text;
        std::size_t start = 0;
        while (start < all.size()) {
            std::size_t semi = all.find(';', start);
            if (semi == std::string::npos) semi = all.size();
            const std::string pair = all.substr(start, semi - start);
            const std::size_t equals = pair.find('=');
            if (equals != std::string::npos) scenario[pair.substr(0, equals)] = pair.substr(equals + 1);
            start = semi + 1;
        }
    }
    if (const char* path = std::getenv("QUORVANE_FAKE_RECORD")) record.open(path, std::ios::app | std::ios::binary);
#if defined(_WIN32)
    // The wide command line, recorded as UTF-8, shows exactly what arrived.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) Note("ARG|" + Utf8(wide[i]));
    LocalFree(wide);
    (void)argv;
    (void)argc;
#else
    for (int i = 1; i < argc; ++i) Note(std::string("ARG|") + argv[i]);
#endif
    Note("CWD|" + Utf8(std::filesystem::current_path()));

    if (!Get("stderr").empty()) std::fprintf(stderr, "%s\n", Get("stderr").c_str());
    std::fflush(stderr);
    if (const int flood = GetInt("flood", 0); flood > 0) {
        const std::string chunk(64 * 1024, 'x');
        for (int sent = 0; sent < flood; sent += static_cast<int>(chunk.size())) std::fwrite(chunk.data(), 1, chunk.size(), stdout);
        std::fputs("\n", stdout);
    }
    Send(Get("pre_ready"), 0);
    std::fflush(stdout);
    if (Get("exit_before_ready") == "1") return 1;
    Sleep(GetInt("ready_delay_ms", 0));
    if (Get("ready") != "never") std::fputs("READY\n", stdout);
    std::fflush(stdout);
    if (Get("spawn_child") == "1") SpawnSleeper();
    if (Get("flood_lines") == "1") {
        // Another thread keeps reading, so SHUTDOWN is still heard.
        std::thread([] {
            std::string block;
            for (int i = 0; i < 2000; ++i) block += "RECT|1|2|3|4|255|0|0\n";
            for (;;) std::fwrite(block.data(), 1, block.size(), stdout);
        }).detach();
    }
    if (Get("no_read") == "1") {
        for (;;) {
            std::fputs("END_FRAME\n", stdout);
            std::fflush(stdout);
            Sleep(5);
        }
    }
    if (Get("close_output") == "1") {
        // Our ends of the pipe close; stdio goes on working into the null device.
#if defined(_WIN32)
        const char* nowhere = "NUL";
#else
        const char* nowhere = "/dev/null";
#endif
        if (!std::freopen(nowhere, "w", stdout) || !std::freopen(nowhere, "w", stderr)) return 3;
    }

    int frame = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Note("IN|" + line);
        if (line == "START") {
            if (Get("started") != "never") std::fputs("STARTED\n", stdout);
        } else if (line.rfind("FRAME|", 0) == 0) {
            ++frame;
            std::fflush(stdout);
            Sleep(GetInt("frame_delay_ms", 0));
            if (frame == GetInt("slow_frame", -1)) Sleep(GetInt("slow_ms", 0));
            Send(Get("frame_reply"), frame);
            Send(Get("reply_at_" + std::to_string(frame)), frame);
            if (const int garbage = GetInt("garbage", 0); garbage > 0) Garbage(garbage, frame);
            if (Get("end_frame") != "never") std::fputs("END_FRAME\n", stdout);
            if (frame == GetInt("die_after_frames", -1)) {
                std::fflush(stdout);
                if (!Get("crash").empty()) {
                    std::string text;
                    for (char c : Get("crash")) text += c == '~' ? '\n' : c;
                    std::fprintf(stderr, "%s\n", text.c_str());
                    std::fflush(stderr);
                }
                Note("EXIT");
                if (const int sig = GetInt("die_signal", 0); sig > 0) {
#if defined(_WIN32)
                    // What abort() leaves on Windows, which has no signals.
                    std::_Exit(3);
#else
                    std::signal(sig, SIG_DFL);
                    std::raise(sig);
#endif
                }
                return GetInt("exit_code", 0);
            }
        } else if (line == "SHUTDOWN") {
            if (Get("shutdown") == "ignore") {
                for (;;) Sleep(1000);
            }
            Note("EXIT");
            // The flooding thread may hold stdout's lock in a write that never
            // ends; leave without flushing.
            if (Get("flood_lines") == "1") std::_Exit(0);
            return 0;
        }
        std::fflush(stdout);
    }
    Note("EOF");
    return 0;
}
