// The libFuzzer entry points: the module is loaded and the reference frame rendered before the first input.
#include "FuzzHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzOneInput(data, size);
}
