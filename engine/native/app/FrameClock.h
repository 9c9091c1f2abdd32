#pragma once

#include <chrono>
#include <cstdint>

namespace Quorvane {

// Seconds between two ticks of the steady clock, as a 32-bit float.
class FrameClock {
public:
    using Clock = std::chrono::steady_clock;

    void Reset() { Reset(Clock::now()); }
    float Tick() { return Tick(Clock::now()); }
    void Reset(Clock::time_point now);
    float Tick(Clock::time_point now);
    float LastDelta() const { return lastDelta; }

private:
    Clock::time_point lastTime{};
    float lastDelta = 0.0f;
};

// The delta the scripts receive: raw clamped to [0, maxDeltaTime]. A negative
// maxDeltaTime would make the bounds cross; the scripts then receive 0.
float ClampDelta(float rawDelta, float maxDeltaTime);

// What the frame limiter does next, given the time since frameStart measured twice
// (before deciding to wait, and again to size the wait).
enum class LimiterStep { Done, Sleep, Yield };
LimiterStep NextLimiterStep(std::int64_t elapsedNs, std::int64_t elapsedAgainNs, float targetFrameTime);

// Time, sleeping and yielding, replaceable so the limiter is tested without a stopwatch.
class PacingClock {
public:
    virtual ~PacingClock() = default;
    virtual FrameClock::Clock::time_point Now() = 0;
    virtual void SleepOneMillisecond() = 0;
    virtual void Yield() = 0;
};
PacingClock& SystemPacingClock();

// Waits until 1/targetFps seconds have passed since frameStart: 1 ms sleeps while
// more than 2 ms remain, then yields. No wait when disabled or targetFps <= 0.
void LimitFrame(FrameClock::Clock::time_point frameStart, bool enabled, std::int32_t targetFps,
                PacingClock& clock = SystemPacingClock());

}  // namespace Quorvane
