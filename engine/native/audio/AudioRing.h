#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <vector>

namespace Quorvane {

// Interleaved frames passed from one producer thread to one consumer thread without a
// lock: each side only moves its own counter, so a device callback never waits.
class AudioRing {
public:
    AudioRing(std::size_t capacityFrames, int channels)
        : channels(static_cast<std::size_t>(channels)), capacity(capacityFrames), data(capacityFrames * this->channels) {}

    std::size_t Capacity() const { return capacity; }
    std::size_t Available() const { return written.load(std::memory_order_acquire) - read.load(std::memory_order_acquire); }
    std::size_t Free() const { return capacity - Available(); }

    // Producer: copies up to frames frames; returns how many fitted.
    std::size_t Write(const float* frames, std::size_t count) {
        const std::size_t w = written.load(std::memory_order_relaxed);
        const std::size_t room = capacity - (w - read.load(std::memory_order_acquire));
        count = std::min(count, room);
        CopyIn(frames, w, count);
        written.store(w + count, std::memory_order_release);
        return count;
    }
    // Consumer: copies up to count frames out; returns how many there were.
    std::size_t Read(float* frames, std::size_t count) {
        const std::size_t r = read.load(std::memory_order_relaxed);
        const std::size_t have = written.load(std::memory_order_acquire) - r;
        count = std::min(count, have);
        CopyOut(frames, r, count);
        read.store(r + count, std::memory_order_release);
        return count;
    }
    // Consumer: drops up to count frames.
    std::size_t Skip(std::size_t count) {
        const std::size_t r = read.load(std::memory_order_relaxed);
        count = std::min(count, written.load(std::memory_order_acquire) - r);
        read.store(r + count, std::memory_order_release);
        return count;
    }

private:
    // Calls part(ring offset in samples, offset in the caller's buffer, samples) for the
    // one or two runs that count frames from position cover.
    template <typename Part>
    void Runs(std::size_t position, std::size_t count, Part part) const {
        std::size_t done = 0;
        while (done < count) {
            const std::size_t at = (position + done) % capacity;
            const std::size_t run = std::min(count - done, capacity - at);
            part(at * channels, done * channels, run * channels);
            done += run;
        }
    }
    void CopyIn(const float* from, std::size_t position, std::size_t count) {
        Runs(position, count, [&](std::size_t ring, std::size_t outside, std::size_t n) {
            std::memcpy(data.data() + ring, from + outside, n * sizeof(float));
        });
    }
    void CopyOut(float* to, std::size_t position, std::size_t count) const {
        Runs(position, count, [&](std::size_t ring, std::size_t outside, std::size_t n) {
            std::memcpy(to + outside, data.data() + ring, n * sizeof(float));
        });
    }

    const std::size_t channels;
    const std::size_t capacity;
    std::vector<float> data;
    std::atomic<std::size_t> written{0};
    std::atomic<std::size_t> read{0};
};

}  // namespace Quorvane
