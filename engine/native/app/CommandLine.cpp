#include "app/CommandLine.h"

#include <charconv>

#include "app/ImageCompare.h"

namespace Quorvane {
namespace {

bool ParseFrameCount(const std::string& text, std::int64_t& frames) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), frames, 10);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && frames > 0;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& commandLine, std::string& error) {
    bool projectSeen = false;
    bool watchFolderGiven = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.rfind("--", 0) != 0) {
            // Only the first folder counts; later ones are ignored on purpose.
            if (!projectSeen) commandLine.projectPath = argument;
            projectSeen = true;
            continue;
        }
        std::string name = argument;
        std::optional<std::string> inlineValue;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
        }
        const auto takeValue = [&](std::string& value) {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };

        if (name == "--") {
            optionsEnded = true;
        } else if (name == "--help") {
            commandLine.showHelp = true;
        } else if (name == "--version") {
            commandLine.showVersion = true;
        } else if (name == "--headless") {
            commandLine.headless = true;
        } else if (name == "--render-threads") {
            std::string value;
            std::int64_t threads = 0;
            if (!takeValue(value) || !ParseFrameCount(value, threads) || threads > 16) {
                error = "--render-threads needs a whole number from 1 to 16.";
                return false;
            }
            commandLine.renderThreads = static_cast<int>(threads);
        } else if (name == "--stats") {
            commandLine.stats = true;
        } else if (name == "--overlap-frames") {
            commandLine.overlapFrames = true;
        } else if (name == "--frames") {
            std::string value;
            std::int64_t frames = 0;
            if (!takeValue(value) || !ParseFrameCount(value, frames)) {
                error = "--frames needs a whole number of frames greater than 0.";
                return false;
            }
            commandLine.frames = frames;
        } else if (name == "--screenshot") {
            std::string value;
            if (!takeValue(value) || value.empty()) {
                error = "--screenshot needs the name of a PNG file to write.";
                return false;
            }
            commandLine.screenshot = value;
        } else if (name == "--audio-capture") {
            std::string value;
            if (!takeValue(value) || value.empty()) {
                error = "--audio-capture needs the name of a WAV file to write.";
                return false;
            }
            commandLine.audioCapture = value;
        } else if (name == "--record" || name == "--replay" || name == "--compare") {
            std::string value;
            if (!takeValue(value) || value.empty()) {
                error = name + " needs the name of a file.";
                return false;
            }
            (name == "--record" ? commandLine.record : name == "--replay" ? commandLine.replay : commandLine.compare) = value;
        } else if (name == "--tolerance") {
            std::string value;
            if (!takeValue(value) || !ParseTolerance(value, commandLine.tolerance)) {
                error = "--tolerance needs a share of pixels from 0 to 1 (0.01) or a percentage (1%).";
                return false;
            }
        } else if (name == "--seed") {
            std::string value;
            std::uint64_t seed = 0;
            const auto parsed = [&] {
                const auto result = std::from_chars(value.data(), value.data() + value.size(), seed, 10);
                return !value.empty() && result.ec == std::errc() && result.ptr == value.data() + value.size();
            };
            if (!takeValue(value) || !parsed()) {
                error = "--seed needs a whole number from 0 to 18446744073709551615.";
                return false;
            }
            commandLine.seed = seed;
        } else if (name == "--watch") {
            commandLine.watch = true;
            // "--watch DIR" names the folder to watch; without a project folder of
            // its own the command line then runs the game in it.
            if (inlineValue) {
                commandLine.watchFolder = *inlineValue;
                watchFolderGiven = true;
            } else if (i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0) {
                commandLine.watchFolder = argv[++i];
                watchFolderGiven = true;
            }
        } else {
            error = "Unknown option: " + argument + " (see --help).";
            return false;
        }
        if (inlineValue && (name == "--help" || name == "--version" || name == "--headless" || name == "--stats" ||
                            name == "--overlap-frames" || name == "--")) {
            error = "Option " + name + " takes no value.";
            return false;
        }
    }
    if (watchFolderGiven && !projectSeen) commandLine.projectPath = commandLine.watchFolder;
    if (!commandLine.record.empty() && !commandLine.replay.empty()) {
        error = "--record and --replay cannot be used together.";
        return false;
    }
    if (!commandLine.compare.empty() && !commandLine.screenshot.empty()) {
        // The screenshot is written first: the comparison would always pass.
        std::error_code ignored;
        if (std::filesystem::weakly_canonical(commandLine.compare, ignored) ==
            std::filesystem::weakly_canonical(commandLine.screenshot, ignored)) {
            error = "--screenshot and --compare name the same file; the comparison would compare the frame with itself.";
            return false;
        }
    }
    if (commandLine.seed && !commandLine.replay.empty()) {
        error = "--seed cannot be used with --replay: the replay file holds its seed.";
        return false;
    }
    return true;
}

std::string UsageText() {
    return "Usage: quorvane [options] [project-folder]\n"
           "\n"
           "Runs the game in project-folder (default: samples/BasicGame), which holds project.json.\n"
           "\n"
           "Options:\n"
           "  --help             show this text and exit\n"
           "  --version          show the version and exit\n"
           "  --headless         run without a window (drawing still happens off screen)\n"
           "  --frames N         stop after N frames, as if the window had been closed\n"
           "  --screenshot FILE  write the last drawn frame to FILE as PNG\n"
           "  --audio-capture FILE\n"
           "                     write everything the mixer produced to FILE (WAV, 48 kHz stereo float)\n"
           "  --stats            print frame time, host time, render time and host allocations at exit\n"
           "  --render-threads N draw frames on N threads (1: on the main thread only)\n"
           "  --overlap-frames   let the game compute a frame while the one before is drawn\n"
           "                     (faster on busy frames, one frame more latency)\n"
           "  --record FILE      record the run's input, clock and seed to a replay file\n"
           "  --replay FILE      run a recorded replay file instead of live input and clock\n"
           "  --compare FILE     compare the last frame with a PNG; exit 3 when it differs\n"
           "  --tolerance SHARE  share of pixels --compare lets differ (0.01 or 1%; default 0)\n"
           "  --seed N           seed Game.Random with N instead of a random seed\n"
           "  --watch [FOLDER]   rebuild and reload the game when a .cs file in FOLDER\n"
           "                     (default: the project folder) changes\n";
}

}  // namespace Quorvane
