#include "scripting/FrameLines.h"

#include <charconv>

#include "app/Numbers.h"
#include "scripting/DrawLines.h"
#include "scripting/WireProtocol.h"

namespace Quorvane {
namespace {

// The message and the method may hold anything; a report stays readable and bounded.
constexpr std::size_t kMaxFailureText = 4096;

std::string Bounded(std::string_view text) { return std::string(text.substr(0, kMaxFailureText)); }

bool IsCallbackName(std::string_view where) {
    return where == "Load" || where == "Update" || where == "FixedUpdate" || where == "Draw";
}

}  // namespace

void ParseNumberedEndFrameLine(ProtocolState& state, std::string_view line) {
    const std::string_view digits = line.substr(10);
    std::uint64_t number = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
        ReportLineFault(state, "END_FRAME", "the frame number is not a whole number");
        return;
    }
    if (number > state.frameNumber) {
        ReportLineFault(state, "END_FRAME", "the frame number is ahead of the frames sent");
        return;
    }
    if (number < state.frameNumber) {
        // The late end of a frame that timed out: its lines belong to a frame
        // already drawn, so they are dropped and the wait goes on for this one.
        state.snapshot.ClearLists();
        return;
    }
    state.frameEnded = true;
}

void ParseQuitLine(ProtocolState& state, std::string_view line) {
    if (line != "QUIT") {
        ReportLineFault(state, "QUIT", "QUIT takes no fields");
        return;
    }
    state.quitRequested = true;
}

void ParseGameResumedLine(ProtocolState& state, std::string_view line) {
    if (line != "GAME_RESUMED") {
        ReportLineFault(state, "GAME_RESUMED", "GAME_RESUMED takes no fields");
        return;
    }
    state.gameFailure.reset();
}

void ParseGameFailedLine(ProtocolState& state, std::string_view line) {
    SplitFields(line, state.fields);
    if (state.fields.size() < 3) {
        ReportLineFault(state, "GAME_FAILED", "expected GAME_FAILED|where|type|message");
        return;
    }
    const std::string_view where = state.fields[1];
    if (!IsCallbackName(where)) {
        ReportLineFault(state, "GAME_FAILED", "where must be Load, Update, FixedUpdate or Draw");
        return;
    }
    // Only the first failure counts: the host stops calling the game after it.
    if (state.gameFailure) return;
    GameFailure failure;
    failure.where = std::string(where);
    failure.type = Bounded(state.fields[2]);
    // The message is the rest of the line, "|" included.
    const std::size_t messageStart = 12 + where.size() + 1 + state.fields[2].size() + 1;
    if (messageStart <= line.size()) AppendUnescapedText(line.substr(messageStart, kMaxFailureText), failure.message);
    state.gameFailure = std::move(failure);
}

void ParseGameStackLine(ProtocolState& state, std::string_view line) {
    SplitFields(line, state.fields);
    if (state.fields.size() < 3) {
        ReportLineFault(state, "GAME_STACK", "expected GAME_STACK|line|method|file");
        return;
    }
    const std::optional<std::int32_t> lineNumber = ParseIntPrefix(state.fields[1]);
    if (!lineNumber || *lineNumber < 0) {
        ReportLineFault(state, "GAME_STACK", "line is not a whole number of 0 or more");
        return;
    }
    if (!state.gameFailure || state.gameFailure->reported) return;
    if (state.gameFailure->frames.size() >= kMaxGameStackFrames) return;
    GameStackFrame frame;
    frame.line = *lineNumber;
    frame.method = Bounded(state.fields[2]);
    const std::size_t fileStart = 11 + state.fields[1].size() + 1 + state.fields[2].size() + 1;
    if (fileStart <= line.size()) frame.file = Bounded(line.substr(fileStart));
    state.gameFailure->frames.push_back(std::move(frame));
}

std::vector<std::string> DescribeGameFailure(const GameFailure& failure) {
    std::vector<std::string> lines;
    std::string head = failure.where + " failed: " + failure.type;
    if (!failure.message.empty()) head += ": " + failure.message;
    lines.push_back(std::move(head));
    for (const GameStackFrame& frame : failure.frames) {
        std::string text = "   at " + frame.method;
        if (!frame.file.empty()) text += " in " + frame.file + ":line " + std::to_string(frame.line);
        lines.push_back(std::move(text));
    }
    return lines;
}

}  // namespace Quorvane
