#include "app/Replay.h"

#include <charconv>
#include <chrono>
#include <random>

#include "app/Log.h"

namespace Quorvane {
namespace {

constexpr std::string_view kMagic = "QUORVANE-REPLAY|";
constexpr std::string_view kGameTag = "GAME|";
constexpr std::string_view kSeedTag = "SEED|";
constexpr std::string_view kEndTag = "END|";
constexpr std::string_view kFrameTag = "FRAME|";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

template <typename Number>
bool ReadWhole(std::string_view text, Number& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Names may hold any character but a line feed; "|" separates the two fields,
// so the game's name is escaped the way XTEXT escapes text.
std::string Escape(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\') escaped += "\\\\";
        else if (c == '|') escaped += "\\p";
        else if (c == '\n') escaped += "\\n";
        else if (c == '\r') escaped += "\\r";
        else escaped += c;
    }
    return escaped;
}

std::string Describe(const std::filesystem::path& path) { return PathToString(path); }

}  // namespace

bool ReplayRecorder::Open(const std::filesystem::path& path, const ReplayHeader& header, std::string& error) {
    filePath = path;
    file.open(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        error = "Could not create the replay file: " + Describe(path);
        return false;
    }
    file << kMagic << kReplayFormatVersion << '\n'
         << kGameTag << Escape(header.gameName) << '|' << Escape(header.mainClass) << '\n'
         << kSeedTag << header.seed << '\n';
    return true;
}

void ReplayRecorder::AddFrame(std::string_view frameLines) {
    if (!file.is_open()) return;
    file << frameLines << '\n';
    ++frameCount;
}

bool ReplayRecorder::Finish(std::string& error) {
    if (!file.is_open()) return true;
    file << kEndTag << frameCount << '\n';
    file.close();
    if (file.fail()) {
        error = "Could not write the replay file: " + Describe(filePath);
        return false;
    }
    return true;
}

bool LoadReplay(const std::filesystem::path& path, ReplayFile& replay, std::string& error) {
    const std::string name = Describe(path);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "Could not open the replay file: " + name;
        return false;
    }
    std::string line;
    const auto nextLine = [&] {
        if (!std::getline(file, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    };

    if (!nextLine() || !StartsWith(line, kMagic)) {
        error = name + " is not a Quorvane replay file (it must start with " + std::string(kMagic) +
                std::to_string(kReplayFormatVersion) + ").";
        return false;
    }
    int version = 0;
    if (!ReadWhole(std::string_view(line).substr(kMagic.size()), version) || version != kReplayFormatVersion) {
        error = "The replay file " + name + " has format version " + line.substr(kMagic.size()) +
                "; this runtime reads version " + std::to_string(kReplayFormatVersion) + ".";
        return false;
    }
    if (!nextLine() || !StartsWith(line, kGameTag) || line.find('|', kGameTag.size()) == std::string::npos) {
        error = "The replay file " + name + " is malformed: its second line must be GAME|name|mainClass.";
        return false;
    }
    const std::size_t split = line.find('|', kGameTag.size());
    replay.header.gameName = line.substr(kGameTag.size(), split - kGameTag.size());
    replay.header.mainClass = line.substr(split + 1);
    if (!nextLine() || !StartsWith(line, kSeedTag) ||
        !ReadWhole(std::string_view(line).substr(kSeedTag.size()), replay.header.seed)) {
        error = "The replay file " + name + " is malformed: its third line must be SEED|number.";
        return false;
    }

    std::string frame;
    bool ended = false;
    while (nextLine()) {
        if (StartsWith(line, kEndTag)) {
            std::int64_t count = -1;
            if (!ReadWhole(std::string_view(line).substr(kEndTag.size()), count) ||
                count != static_cast<std::int64_t>(replay.frames.size()) || !frame.empty()) {
                error = "The replay file " + name + " is damaged: its END line says " + line.substr(kEndTag.size()) +
                        " frames, but it holds " + std::to_string(replay.frames.size()) + ".";
                return false;
            }
            ended = true;
            break;
        }
        if (!frame.empty()) frame += '\n';
        frame += line;
        if (StartsWith(line, kFrameTag)) {
            replay.frames.push_back(std::move(frame));
            frame.clear();
        }
    }
    if (!ended) {
        error = "The replay file " + name + " is truncated: it ends after " + std::to_string(replay.frames.size()) +
                " frames without its END line (was the recording cut short?).";
        return false;
    }
    return true;
}

bool ReplayMatchesGame(const ReplayFile& replay, const std::filesystem::path& path, const std::string& gameName,
                       const std::string& mainClass, std::string& error) {
    const std::string expected = Escape(gameName) + "|" + Escape(mainClass);
    const std::string recorded = replay.header.gameName + "|" + replay.header.mainClass;
    if (recorded == expected) return true;
    error = "The replay file " + Describe(path) + " was recorded with another game (" + replay.header.gameName + ", " +
            replay.header.mainClass + "), not with " + gameName + " (" + mainClass + ").";
    return false;
}

std::uint64_t MakeRandomSeed() {
    std::random_device device;
    const std::uint64_t high = device();
    const std::uint64_t low = device();
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return ((high << 32) | low) ^ now;
}

}  // namespace Quorvane
