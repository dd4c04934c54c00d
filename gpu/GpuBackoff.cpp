// The GPU back-off and the clock it is measured on.
#include "GpuBackoff.h"

#include <chrono>

std::int64_t SteadyClockMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

bool GpuBackoff::OfferAllowed() const
{
    return SteadyClockMs() >= retry_after_ms_.load();
}

void GpuBackoff::FrameSucceeded()
{
    failure_count_.store(0);
}

void GpuBackoff::FrameFailed()
{
    if (failure_count_.fetch_add(1) > 0) {
        retry_after_ms_.store(SteadyClockMs() + GPU_RETRY_DELAY_MS);
        failure_count_.store(0);
    }
}

GpuBackoff& ProcessGpuBackoff()
{
    // Process-wide by design: a device that keeps failing is failing for every instance of the effect.
    static GpuBackoff backoff;
    return backoff;
}
