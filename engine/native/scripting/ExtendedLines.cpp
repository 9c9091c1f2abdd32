#include <string_view>

#include "scripting/AudioLines.h"
#include "scripting/DrawLines.h"
#include "scripting/FrameLines.h"
#include "scripting/InputLines.h"
#include "scripting/PathLines.h"
#include "scripting/StatsLines.h"
#include "scripting/WireProtocol.h"

namespace Quorvane {
namespace {

using LineHandler = void (*)(ProtocolState& state, std::string_view line);

struct ExtendedTag {
    std::string_view prefix;  // the tag and its first "|", or the whole line
    Extension extension;      // what the host must have declared
    LineHandler handle;
};

// Every extended host-to-runtime line, by tag. Each feature keeps its parser in
// its own file and adds one row here.
constexpr ExtendedTag kExtendedTags[] = {
    {"XRECT|", Extension::Draw, ParseExtendedRectLine},
    {"XDEBUG_RECT|", Extension::Draw, ParseExtendedDebugRectLine},
    {"XSPRITE|", Extension::Draw, ParseExtendedSpriteLine},
    {"XTEXT|", Extension::Draw, ParseTextLine},
    {"END_FRAME|", Extension::Frames, ParseNumberedEndFrameLine},
    {"QUIT", Extension::Frames, ParseQuitLine},
    {"GAME_FAILED|", Extension::Frames, ParseGameFailedLine},
    {"GAME_STACK|", Extension::Frames, ParseGameStackLine},
    {"GAME_RESUMED", Extension::Frames, ParseGameResumedLine},
    {"XAUDIO_", Extension::Audio, ParseAudioLine},
    {"XTITLE|", Extension::Input, ParseTitleLine},
    {"XFULLSCREEN|", Extension::Input, ParseFullscreenLine},
    {"XCURSOR|", Extension::Input, ParseCursorLine},
    {"XFULLSCREEN_TOGGLE|", Extension::Input, ParseFullscreenToggleLine},
    {"XSTATS|", Extension::Stats, ParseStatsLine},
    {"XPATH|", Extension::Paths, ParsePathLine},
};

// The first bytes of every tag above: most lines of a busy frame are base lines
// (SPRITE, RECT), and one table look-up sends them on without a prefix compare each.
struct FirstBytes {
    bool seen[256] = {};
    constexpr FirstBytes() {
        for (const ExtendedTag& tag : kExtendedTags) seen[static_cast<unsigned char>(tag.prefix[0])] = true;
    }
};
constexpr FirstBytes kFirstBytes;

}  // namespace

bool HandleExtendedLine(ProtocolState& state, std::string_view line) {
    if (line.empty() || !kFirstBytes.seen[static_cast<unsigned char>(line[0])]) return false;
    for (const ExtendedTag& tag : kExtendedTags) {
        if (!state.extensions.Has(tag.extension)) continue;
        if (line.substr(0, tag.prefix.size()) != tag.prefix) continue;
        tag.handle(state, line);
        return true;
    }
    return false;
}

}  // namespace Quorvane
