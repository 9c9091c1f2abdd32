#pragma once

#include <filesystem>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/InputState.h"
#include "scripting/Extensions.h"
#include "scripting/FrameLines.h"
#include "scripting/FrameSnapshot.h"

namespace Quorvane {

// Lets the texture memo be searched with a string_view, without a temporary string.
struct TransparentStringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

struct ResolvedPath {
    std::filesystem::path path;
    std::string text;   // its UTF-8 form, the renderer's cache key
    SharedPath shared;  // the same, for sprites to share without copying
};

// What received lines act on: the snapshot and the three conversation flags.
struct ProtocolState {
    FrameSnapshot snapshot;
    bool ready = false;
    bool started = false;
    bool frameEnded = false;
    std::filesystem::path projectRoot;  // base of relative sprite textures

    // Texture text -> resolved path. Hosts repeat the same few texture texts
    // every frame; resolving each costs file-system calls.
    std::unordered_map<std::string, ResolvedPath, TransparentStringHash, std::equal_to<>> resolvedTextures;
    std::vector<std::string_view> fields;  // scratch, reused line after line
    // Extension "paths": id -> path, declared with XPATH; empty text = not declared.
    std::vector<ResolvedPath> declaredPaths;

    // What the host declared with its EXTENSIONS line; empty for a host that did not.
    ExtensionSet extensions;
    // "TAG: fault" texts already warned about, so a bad line repeated every frame
    // costs one warning, not one per frame.
    std::unordered_set<std::string> reportedFaults;

    // Extension "frames": the number of the last FRAME line sent (from 1), a QUIT
    // received, and the game's first unhandled exception.
    std::uint64_t frameNumber = 0;
    bool quitRequested = false;
    std::optional<GameFailure> gameFailure;

    // ERROR lines and LOG lines of level Error received: a host that dies after
    // saying why needs no second message.
    std::size_t errorLines = 0;
    // When set, lines that match no command wait in heldLines (see
    // ReleaseHeldLines): if the host turns out to have died, they are its crash
    // output and are logged as errors instead of as information.
    bool holdUnknownLines = false;
    std::vector<std::string> heldLines;
};

// Logs the first count held lines (all by default), at Error level when the host
// has died, else at Info as any unknown line; then forgets them.
void ReleaseHeldLines(ProtocolState& state, bool asErrors, std::size_t count = SIZE_MAX);

// One warning per kind of fault: "Dropped a malformed TAG line: fault".
void ReportLineFault(ProtocolState& state, std::string_view tag, std::string_view fault);

// The resolved form of a texture or font text, memoised; null when the file
// system cannot resolve it.
const ResolvedPath* ResolveTexture(ProtocolState& state, std::string_view text);

// Handles a line whose tag belongs to an extension the host declared; false when
// the line is not such a line (it is then handled as a base line would be).
bool HandleExtendedLine(ProtocolState& state, std::string_view line);

// Splits at "|"; a trailing empty field does not count ("A|1|" has 2 fields).
void SplitFields(std::string_view line, std::vector<std::string_view>& fields);

// Applies one received line (line feed and one trailing CR already removed).
// Malformed lines are dropped silently; nothing is thrown.
void HandleLine(ProtocolState& state, std::string_view line);

// "FRAME|dt|keys|x,y|buttons"
std::string ComposeFrameLine(float deltaTime, const InputState& input);
// The same line appended to out, allocating nothing once out has room.
void AppendFrameLine(std::string& out, float deltaTime, const InputState& input);

}  // namespace Quorvane
