// The GPU back-off: after two GPU frames in a row fail, the pre-render stops offering the GPU for a
// minute. One object for the process (ProcessGpuBackoff), shared by every thread and device; tests make
// their own.
#pragma once

#include <atomic>
#include <cstdint>

// How long the GPU offer is withheld after repeated failures, milliseconds.
inline constexpr std::int64_t GPU_RETRY_DELAY_MS = 60000;

// The steady clock in whole milliseconds since its epoch.
std::int64_t SteadyClockMs();

class GpuBackoff {
public:
    // Whether the steady clock has reached the retry time (0 until a second failure in a row sets it).
    bool OfferAllowed() const;

    // A GPU frame succeeded: the count of consecutive failures starts again.
    void FrameSucceeded();
    // A GPU frame failed and was redone on the CPU. The second failure in a row withholds the offer for
    // GPU_RETRY_DELAY_MS from now and starts the count again.
    void FrameFailed();

    std::int32_t FailureCount() const { return failure_count_.load(); }
    // Steady-clock time (SteadyClockMs) before which the GPU is not offered.
    std::int64_t RetryAfterMs() const { return retry_after_ms_.load(); }

private:
    std::atomic<std::int32_t> failure_count_{0};
    std::atomic<std::int64_t> retry_after_ms_{0};
};

// The back-off of this process, read by the pre-render and written by the GPU render.
GpuBackoff& ProcessGpuBackoff();
