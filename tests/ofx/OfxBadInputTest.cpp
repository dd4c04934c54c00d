// What a host hands over wrongly becomes a failing status with a text the host can show on the effect:
// no source image, an image of a depth or components the effect does not take, an empty render window,
// a time that is not a number. A stopped render fails quietly; the next good frame clears the message.
#include "OfxTestSupport.h"

#include <cmath>

namespace {

class OfxBadInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(host.Start(kOfxImageEffectContextFilter), kOfxStatOK);
        source.picture = TestPicture(16, 12);
    }

    // Renders and returns the status; every image fetched must have been released.
    OfxStatus RenderWith(const ClipInput& input, OfxRenderRequest request = {})
    {
        host.Connect(kOfxImageEffectSimpleSourceClipName, input);
        host.messages.clear();
        const OfxFrame frame = host.Render(request);
        EXPECT_EQ(host.OutstandingImages(), 0);
        return frame.status;
    }

    // The one message posted: an error kept on the effect, mentioning `words`.
    void ExpectError(const std::string& words)
    {
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].type, kOfxMessageError);
        EXPECT_TRUE(host.messages[0].persistent);
        EXPECT_NE(host.messages[0].text.find(words), std::string::npos) << host.messages[0].text;
    }

    OfxHostSim host{QF_OFX_BUNDLE};
    ClipInput source;
};

TEST_F(OfxBadInput, MissingSourceImage)
{
    source.has_images = false;
    EXPECT_EQ(RenderWith(source), kOfxStatFailed);
    ExpectError("Source clip has no image");
}

TEST_F(OfxBadInput, UnsupportedDepthOrComponents)
{
    ClipInput half = source;
    half.depth = kOfxBitDepthHalf;
    EXPECT_EQ(RenderWith(half), kOfxStatErrImageFormat);
    ExpectError("OfxBitDepthHalf");

    ClipInput rgb = source;
    rgb.components = kOfxImageComponentRGB;
    EXPECT_EQ(RenderWith(rgb), kOfxStatErrImageFormat);
    ExpectError("RGBA images; the Source image is OfxImageComponentRGB");

    OfxRenderRequest alpha_output;
    alpha_output.components = kOfxImageComponentAlpha;
    EXPECT_EQ(RenderWith(source, alpha_output), kOfxStatErrImageFormat);
    ExpectError("the Output image is OfxImageComponentAlpha");
}

TEST_F(OfxBadInput, ZeroSizedWindow)
{
    OfxRenderRequest request;
    request.windows = {{4, 3, 4, 9}};
    EXPECT_EQ(RenderWith(source, request), kOfxStatFailed);
    ExpectError("is empty");
}

TEST_F(OfxBadInput, TimeThatIsNotANumber)
{
    OfxRenderRequest request;
    request.time = NAN;
    request.ask_regions = false;
    EXPECT_EQ(RenderWith(source, request), kOfxStatFailed);
    ExpectError("a time that is not a number");

    PropertyStore answer;
    EXPECT_EQ(host.RegionsOfInterest(NAN, 1.0, OfxRectD{0, 0, 16, 12}, answer), kOfxStatFailed);
}

TEST_F(OfxBadInput, GoodFrameClearsTheMessageAndStoppingIsNoError)
{
    source.has_images = false;
    EXPECT_EQ(RenderWith(source), kOfxStatFailed);
    host.Connect(kOfxImageEffectSimpleSourceClipName, ClipInput{TestPicture(16, 12)});
    EXPECT_EQ(host.Render({}).status, kOfxStatOK);
    EXPECT_TRUE(host.messages.empty());

    host.abort_after = 0;
    EXPECT_EQ(RenderWith(ClipInput{TestPicture(16, 12)}), kOfxStatFailed) << "a stopped frame is not kept";
    EXPECT_TRUE(host.messages.empty()) << "but it is no error to show";
}

}   // namespace
