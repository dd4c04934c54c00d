// Describes every declaration listed in SdkDeclarations.inc as the host SDK headers on the include path
// declare it. Compiled twice: against our stand-in (QF_SDK_DESCRIBE=DescribeStandInSdk) and against the
// vendor's headers (QF_SDK_DESCRIBE=DescribeVendorSdk). A name one side lacks fails that compilation.
// (SdkDescriber.h says how.)
#include "AE_Effect.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "AE_PluginData.h"
#include "adobesdk/DrawbotSuite.h"
#include "SPBasic.h"

#include "SdkDescriber.h"

std::vector<SdkDeclaration> QF_SDK_DESCRIBE()
{
    std::vector<SdkDeclaration> out;
    Describer describe(out);
#include "SdkDeclarations.inc"
    return out;
}
