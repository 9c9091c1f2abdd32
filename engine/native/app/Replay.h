#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane {

// A replay file (docs/replay.md): a header naming the format version, the game
// and the seed, then every line the runtime sent the host each frame, and an END
// line that proves the file is whole.
inline constexpr int kReplayFormatVersion = 1;

struct ReplayHeader {
    std::string gameName;   // project.json "name"
    std::string mainClass;  // project.json "mainClass"
    std::uint64_t seed = 0;
};

struct ReplayFile {
    ReplayHeader header;
    // One entry per frame: its extended lines and its FRAME line, each ended by
    // a line feed except the last, exactly as they were written to the host.
    std::vector<std::string> frames;
};

// Streams a recording to disk while the game runs. A run that dies before
// Finish leaves a file without END, which a replay refuses as truncated.
class ReplayRecorder {
public:
    bool Open(const std::filesystem::path& path, const ReplayHeader& header, std::string& error);
    void AddFrame(std::string_view frameLines);
    bool Finish(std::string& error);
    bool IsOpen() const { return file.is_open(); }

private:
    std::filesystem::path filePath;
    std::ofstream file;
    std::int64_t frameCount = 0;
};

// Reads and checks a whole replay file; false with a message that names the file
// and the fault (not a replay, another version, truncated, malformed).
bool LoadReplay(const std::filesystem::path& path, ReplayFile& replay, std::string& error);

// False with a message when the replay was recorded with another game.
bool ReplayMatchesGame(const ReplayFile& replay, const std::filesystem::path& path, const std::string& gameName,
                       const std::string& mainClass, std::string& error);

// A fresh seed for a run that is not a replay.
std::uint64_t MakeRandomSeed();

}  // namespace Quorvane
