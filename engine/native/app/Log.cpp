#include "app/Log.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace Quorvane {
namespace {

void WriteLine(std::FILE* stream, const char* prefix, const std::string& message) {
    // One fwrite per line keeps a line whole even when both streams share a terminal.
    std::string line;
    line.reserve(message.size() + 16);
    line += prefix;
    line += message;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

// Warnings come from the audio thread and the render workers too.
struct RecentProblems {
    std::mutex mutex;
    RecentLogLine lines[kRecentLogLines];
    std::uint64_t count = 0;  // lines ever kept; the next goes to count % kRecentLogLines
};

RecentProblems& Recent() {
    static RecentProblems recent;
    return recent;
}

void Keep(const std::string& message, bool error) {
    RecentProblems& recent = Recent();
    const std::lock_guard<std::mutex> lock(recent.mutex);
    RecentLogLine& line = recent.lines[recent.count % kRecentLogLines];
    std::size_t length = std::min(message.size(), RecentLogLine::kMaxBytes);
    // A multi-line message shows its first line; a cut never splits a character.
    const std::size_t newline = message.find('\n');
    if (newline < length) length = newline;
    if (length < message.size()) {
        while (length > 0 && (static_cast<unsigned char>(message[length]) & 0xC0) == 0x80) --length;
    }
    std::copy_n(message.data(), length, line.text);
    line.length = length;
    line.error = error;
    ++recent.count;
}

}  // namespace

void LogInfo(const std::string& message) { WriteLine(stdout, "[Info] ", message); }
void LogWarn(const std::string& message) {
    WriteLine(stdout, "[Warn] ", message);
    Keep(message, false);
}
void LogError(const std::string& message) {
    WriteLine(stderr, "[Error] ", message);
    Keep(message, true);
}

std::size_t CopyRecentProblems(RecentLogLine (&out)[kRecentLogLines]) {
    RecentProblems& recent = Recent();
    const std::lock_guard<std::mutex> lock(recent.mutex);
    const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(recent.count, kRecentLogLines));
    for (std::size_t i = 0; i < kept; ++i) {
        out[i] = recent.lines[(recent.count - kept + i) % kRecentLogLines];
    }
    return kept;
}

std::uint64_t RecentProblemsVersion() {
    RecentProblems& recent = Recent();
    const std::lock_guard<std::mutex> lock(recent.mutex);
    return recent.count;
}

void ClearRecentProblems() {
    RecentProblems& recent = Recent();
    const std::lock_guard<std::mutex> lock(recent.mutex);
    recent.count = 0;
}

std::string ReadTextFile(const std::filesystem::path& path, std::size_t maxBytes) {
    // Only a regular file is opened: a folder would read as empty, and a FIFO or
    // device could block the open or never end.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        const char* what = std::filesystem::is_directory(status) ? "it is a folder" : "it is not a regular file";
        throw std::runtime_error("Could not open file: " + PathToString(path) + " (" + what + ")");
    }
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file) {
        throw std::runtime_error("Could not open file: " + PathToString(path));
    }
    // Read in steps up to one byte past the limit, so a file that keeps growing
    // (or lies about its size) costs at most the limit.
    std::string text;
    char chunk[64 * 1024];
    while (text.size() <= maxBytes) {
        const std::size_t want = std::min(sizeof chunk, maxBytes + 1 - text.size());
        file.read(chunk, static_cast<std::streamsize>(want));
        const std::streamsize got = file.gcount();
        if (got <= 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    if (text.size() > maxBytes) {
        throw std::runtime_error("Could not read file: " + PathToString(path) + " (larger than " +
                                 std::to_string(maxBytes) + " bytes)");
    }
    if (file.bad()) {
        throw std::runtime_error("Could not read file: " + PathToString(path));
    }
    return text;
}

bool FileExists(const std::filesystem::path& path) { return std::filesystem::exists(path); }

std::filesystem::path ResolvePath(const std::filesystem::path& base, const std::filesystem::path& path) {
    if (path.is_absolute()) {
        return std::filesystem::weakly_canonical(path);
    }
    return std::filesystem::weakly_canonical(base / path);
}

std::string PathToString(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace Quorvane
