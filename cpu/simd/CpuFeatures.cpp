// CPUID and XGETBV: an instruction set counts only when the OS also saves its registers on a context
// switch (XCR0), otherwise the first vector instruction faults or its upper halves get corrupted.
#include "CpuFeatures.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#define QF_CPUID_X86 1
#endif

namespace {

#ifdef QF_CPUID_X86
// XGETBV by its encoding, so this file needs no -mxsave.
unsigned long long ReadXcr0()
{
    unsigned lo, hi;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
}
#endif

CpuFeatures Detect()
{
    CpuFeatures c;
#ifdef QF_CPUID_X86
    c.sse2 = true;  // part of x86-64
    unsigned a, b, cx, d;
    if (!__get_cpuid(1, &a, &b, &cx, &d))
        return c;
    const bool osxsave = (cx >> 27) & 1;
    const bool avx = (cx >> 28) & 1;
    if (!osxsave || !avx)
        return c;
    const unsigned long long xcr0 = ReadXcr0();
    const bool ymmState = (xcr0 & 0x6) == 0x6;    // SSE and AVX state
    const bool zmmState = (xcr0 & 0xe6) == 0xe6;  // plus opmask, upper ZMM0-15 and ZMM16-31
    if (__get_cpuid_max(0, nullptr) < 7)
        return c;
    __cpuid_count(7, 0, a, b, cx, d);
    c.avx2 = ymmState && ((b >> 5) & 1);
    c.avx512f = c.avx2 && zmmState && ((b >> 16) & 1);
#endif
    return c;
}

} // namespace

const CpuFeatures& HostCpuFeatures()
{
    static const CpuFeatures features = Detect();
    return features;
}
