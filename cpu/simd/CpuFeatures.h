// What the processor and the operating system let this process run: the one place that asks the CPU.
#pragma once

struct CpuFeatures {
    bool sse2 = false;
    bool avx2 = false;     // AVX2 instructions, and the OS saves the 256-bit registers
    bool avx512f = false;  // AVX-512 Foundation, and the OS saves the 512-bit and mask registers
};

// Asked once per process; later calls return the same answer.
const CpuFeatures& HostCpuFeatures();
