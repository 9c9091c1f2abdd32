#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Quorvane {

// Per-frame figures of a run, for --stats and anything that shows them on screen.
// Memory is taken once up front: recording a frame never allocates. Beyond
// kWindow frames the oldest are overwritten, so a long run reports its recent
// frames and never grows.
class FrameStats {
public:
    static constexpr std::size_t kWindow = 1u << 16;

    struct Sample {
        double periodMs = 0.0;  // start of the previous frame to the start of this one
        double hostMs = 0.0;    // waiting for the host's lines
        double renderMs = 0.0;  // drawing and presenting
        std::int64_t hostAllocatedBytes = -1;  // as the host measured itself; -1 not reported
    };

    struct Summary {
        std::int64_t frames = 0;
        double medianMs = 0.0;  // frame period
        double p95Ms = 0.0;
        double hostMs = 0.0;    // medians
        double renderMs = 0.0;
        std::optional<std::int64_t> hostAllocatedBytes;  // median of the frames that reported
    };

    FrameStats();

    // One finished frame. The first frame has no period; pass a negative one.
    void Record(const Sample& sample);
    std::int64_t Frames() const { return frames; }
    // The most recent frame, for overlays (zeros before the first).
    Sample Last() const;

    // Medians and percentiles over the window. Allocates; call it at the end or
    // now and then, not every frame.
    Summary Summarise() const;
    // The same into buffers a caller keeps: after the first call, summarising
    // again allocates nothing (the overlay refreshes its figures this way).
    struct Scratch {
        std::vector<double> periods, host, render;
        std::vector<std::int64_t> allocated;
    };
    Summary Summarise(Scratch& scratch) const;

    // "stats frames=N median_ms=X p95_ms=X host_ms=X render_ms=X host_alloc_bytes=X";
    // host_alloc_bytes is -1 when the host reported nothing.
    static std::string Format(const Summary& summary);

private:
    std::vector<Sample> samples;  // ring of kWindow
    std::int64_t frames = 0;
};

}  // namespace Quorvane
