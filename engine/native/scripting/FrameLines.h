#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane {

struct ProtocolState;

// One frame of the game's own call stack, as the host reports it.
struct GameStackFrame {
    std::string method;
    std::string file;  // empty when the host had no symbols for it
    std::int32_t line = 0;
};

// An exception that escaped one of the game's callbacks. The host stops calling
// the game after it and tells the runtime once.
struct GameFailure {
    std::string where;  // "Load", "Update", "FixedUpdate" or "Draw"
    std::string type;   // the exception's full type name
    std::string message;
    std::vector<GameStackFrame> frames;
    bool reported = false;  // logged already
};

// A failure report keeps at most this many stack frames: enough to find the
// fault, and a host cannot grow it without bound.
inline constexpr std::size_t kMaxGameStackFrames = 64;

// The "frames" extension's lines.
void ParseNumberedEndFrameLine(ProtocolState& state, std::string_view line);  // END_FRAME|n
void ParseQuitLine(ProtocolState& state, std::string_view line);              // QUIT
void ParseGameFailedLine(ProtocolState& state, std::string_view line);        // GAME_FAILED|where|type|message
void ParseGameStackLine(ProtocolState& state, std::string_view line);         // GAME_STACK|line|method|file
void ParseGameResumedLine(ProtocolState& state, std::string_view line);       // GAME_RESUMED (a mended game reloaded)

// "Update failed: System.InvalidOperationException: message" and one
// "   at method in file:line N" line per frame: what the log and the error screen show.
std::vector<std::string> DescribeGameFailure(const GameFailure& failure);

}  // namespace Quorvane
