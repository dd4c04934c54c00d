// Describes every declaration listed in OfxDeclarations.inc as the OpenFX headers on the include path
// declare it. Compiled twice: against ours (QF_OFX_DESCRIBE=DescribeOurOfx) and against the standard's
// (QF_OFX_DESCRIBE=DescribeStandardOfx). A name one side lacks fails that compilation.
#include "ofxCore.h"
#include "ofxImageEffect.h"
#include "ofxMessage.h"
#include "ofxParam.h"
#include "ofxProperty.h"

#include "OfxSdkSide.h"
#include "SdkDescriber.h"

std::vector<SdkDeclaration> QF_OFX_DESCRIBE()
{
    std::vector<SdkDeclaration> out;
    Describer describe(out);
#include "OfxDeclarations.inc"
    return out;
}
