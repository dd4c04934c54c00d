// What one set of OpenFX headers declares, name by name: ours (ofx/sdk) and the standard's are each
// described by the same source (OfxSdkSide.cpp, compiled once per set) so that the test can compare them.
#pragma once

#include "SdkSide.h"

#include <vector>

std::vector<SdkDeclaration> DescribeOurOfx();
std::vector<SdkDeclaration> DescribeStandardOfx();
