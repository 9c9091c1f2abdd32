#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace Quorvane {

// One line per call, flushed at once, so that log lines from the runtime and
// from the script host interleave in the order they happened.
void LogInfo(const std::string& message);
void LogWarn(const std::string& message);
void LogError(const std::string& message);

// The last few warnings and errors, for the diagnostics overlay. Fixed storage:
// keeping a line never allocates, and a long line is cut (at a UTF-8 boundary).
struct RecentLogLine {
    static constexpr std::size_t kMaxBytes = 120;
    char text[kMaxBytes] = {};
    std::size_t length = 0;
    bool error = false;  // else a warning
};
constexpr std::size_t kRecentLogLines = 4;
// Copies the kept lines, oldest first, and returns how many there are.
std::size_t CopyRecentProblems(RecentLogLine (&out)[kRecentLogLines]);
// Counts every warning and error logged so far: a reader copies only when it moved.
std::uint64_t RecentProblemsVersion();
// Forgets the kept lines (tests).
void ClearRecentProblems();

// Project files are small; a file past this size is refused rather than read
// until memory runs out.
constexpr std::size_t kMaxTextFileBytes = 4u * 1024u * 1024u;
// Throws std::runtime_error("Could not open file: <path>") when unreadable, with
// the reason in parentheses for a folder or anything else that is not a regular
// file, and "Could not read file: <path> (larger than N bytes)" past maxBytes.
std::string ReadTextFile(const std::filesystem::path& path, std::size_t maxBytes = kMaxTextFileBytes);
// True for any existing entry, folders included; a failing query other than
// "does not exist" throws the file system's error.
bool FileExists(const std::filesystem::path& path);
// Absolute, weakly canonical; an empty path yields the base folder itself.
std::filesystem::path ResolvePath(const std::filesystem::path& base, const std::filesystem::path& path);
std::string PathToString(const std::filesystem::path& path);

}  // namespace Quorvane
