// Host lines, base and extended, as a flooding or broken host would send them.
#include "fuzz/FuzzSupport.h"
#include "scripting/WireProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QuorvaneFuzz::SilenceStdout();
    Quorvane::ProtocolState state;
    state.projectRoot = QuorvaneFuzz::ScratchFolder();
    std::string_view text = QuorvaneFuzz::AsText(data, size);
    // The first byte picks whether the host declared every extension or none.
    if (!text.empty() && (text[0] & 1)) {
        Quorvane::HandleLine(state, "EXTENSIONS|draw,frames,audio,input,paths,stats,replay");
    }
    while (!text.empty()) {
        const std::size_t feed = text.find('\n');
        std::string_view line = text.substr(0, feed);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        Quorvane::HandleLine(state, line);
        if (feed == std::string_view::npos) break;
        text.remove_prefix(feed + 1);
    }
    return 0;
}
