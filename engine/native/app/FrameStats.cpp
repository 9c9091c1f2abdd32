#include "app/FrameStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Quorvane {
namespace {

// Nearest rank: the smallest value with at least q of the values at or below it.
template <typename T>
T Quantile(std::vector<T>& values, double q) {
    if (values.empty()) return T{};
    const std::size_t rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    const std::size_t index = std::min(values.size() - 1, rank == 0 ? 0 : rank - 1);
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index), values.end());
    return values[index];
}

}  // namespace

FrameStats::FrameStats() { samples.reserve(kWindow); }

void FrameStats::Record(const Sample& sample) {
    if (samples.size() < kWindow) {
        samples.push_back(sample);
    } else {
        samples[static_cast<std::size_t>(frames % static_cast<std::int64_t>(kWindow))] = sample;
    }
    ++frames;
}

FrameStats::Sample FrameStats::Last() const {
    if (frames == 0) return {};
    return samples[static_cast<std::size_t>((frames - 1) % static_cast<std::int64_t>(kWindow))];
}

FrameStats::Summary FrameStats::Summarise() const {
    Scratch scratch;
    return Summarise(scratch);
}

FrameStats::Summary FrameStats::Summarise(Scratch& scratch) const {
    Summary summary;
    summary.frames = frames;
    auto& [periods, host, render, allocated] = scratch;
    for (auto* values : {&periods, &host, &render}) {
        values->clear();
        values->reserve(kWindow);
    }
    allocated.clear();
    allocated.reserve(kWindow);
    for (const Sample& sample : samples) {
        if (sample.periodMs >= 0.0) periods.push_back(sample.periodMs);
        host.push_back(sample.hostMs);
        render.push_back(sample.renderMs);
        if (sample.hostAllocatedBytes >= 0) allocated.push_back(sample.hostAllocatedBytes);
    }
    summary.medianMs = Quantile(periods, 0.5);
    summary.p95Ms = Quantile(periods, 0.95);
    summary.hostMs = Quantile(host, 0.5);
    summary.renderMs = Quantile(render, 0.5);
    if (!allocated.empty()) summary.hostAllocatedBytes = Quantile(allocated, 0.5);
    return summary;
}

std::string FrameStats::Format(const Summary& summary) {
    char text[256];
    std::snprintf(text, sizeof text, "stats frames=%lld median_ms=%.3f p95_ms=%.3f host_ms=%.3f render_ms=%.3f host_alloc_bytes=%lld",
                  static_cast<long long>(summary.frames), summary.medianMs, summary.p95Ms, summary.hostMs,
                  summary.renderMs, static_cast<long long>(summary.hostAllocatedBytes.value_or(-1)));
    return text;
}

}  // namespace Quorvane
