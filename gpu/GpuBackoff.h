// The GPU back-off state, process-wide: consecutive failed GPU frames and the steady-clock time before
// which the pre-render withholds the GPU offer. Both start at 0, so the GPU is offered until a GPU render
// writes them.
#pragma once

#include <atomic>
#include <cstdint>

// Consecutive GPU frames that failed and were redone on the CPU.
extern std::atomic<std::int32_t> GpuFailureCount;
// Steady-clock time in whole milliseconds (SteadyClockMs) before which the GPU is not offered.
extern std::atomic<std::int64_t> GpuRetryAfterMs;

// How long the GPU offer is withheld after repeated failures, milliseconds.
inline constexpr std::int64_t GPU_RETRY_DELAY_MS = 60000;

// The steady clock in whole milliseconds since its epoch.
std::int64_t SteadyClockMs();

// Whether the steady clock has reached GpuRetryAfterMs.
bool GpuOfferAllowed();
