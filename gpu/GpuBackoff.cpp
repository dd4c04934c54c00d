// The GPU back-off state and the clock it is measured on.
#include "GpuBackoff.h"

#include <chrono>

std::atomic<std::int32_t> GpuFailureCount{0};
std::atomic<std::int64_t> GpuRetryAfterMs{0};

std::int64_t SteadyClockMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

bool GpuOfferAllowed()
{
    return SteadyClockMs() >= GpuRetryAfterMs.load();
}
