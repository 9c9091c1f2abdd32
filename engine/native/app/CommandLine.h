#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace Quorvane {

struct CommandLine {
    std::filesystem::path projectPath = "samples/BasicGame";
    bool showHelp = false;
    bool showVersion = false;
    bool headless = false;
    bool stats = false;                  // print the frame figures at exit
    bool overlapFrames = false;          // the host computes a frame while the one before is drawn
    std::optional<int> renderThreads;    // threads of the software canvas; default: the machine's
    std::optional<std::int64_t> frames;  // end the loop after this many frames
    std::filesystem::path screenshot;    // empty: no screenshot
    std::filesystem::path audioCapture;  // empty: no capture of the mixed sound
    // The developer loop (docs/replay.md, README "Developer loop"); empty: off.
    std::filesystem::path record;        // write what the host receives to this replay file
    std::filesystem::path replay;        // feed this replay file instead of live input and clock
    std::filesystem::path compare;       // compare the last frame with this PNG
    double tolerance = 0.0;              // share of pixels --compare lets differ
    std::optional<std::uint64_t> seed;   // the seed of Game.Random (a random one otherwise)
    bool watch = false;                  // rebuild and reload the game when its code changes
    std::filesystem::path watchFolder;   // empty: the project folder
};

// False with a message in error when an option is unknown or lacks its value.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& commandLine, std::string& error);
std::string UsageText();
inline constexpr const char* kVersion = "0.1.0";

}  // namespace Quorvane
