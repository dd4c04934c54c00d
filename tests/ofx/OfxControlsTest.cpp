// The bundle as an OpenFX host meets it: the plug-in record and description, the clips of each context,
// every control with its range and group, the Preset menu through the instance-changed action, and the
// greying of Loop Duration.
#include "OfxTestSupport.h"

#include "EffectIdentity.h"
#include "Presets.h"

#include <string>
#include <vector>

#if defined(__linux__)
#include "ElfExports.h"
#endif

namespace {

#if defined(__linux__)
TEST(OfxBundle, BinaryInTheBundleLayoutExportsOnlyTheTwoEntryPoints)
{
    const std::string path = OfxHostSim::BinaryPath(QF_OFX_BUNDLE);
    EXPECT_NE(path.find("/Quaverflux.ofx.bundle/Contents/Linux-x86-64/Quaverflux.ofx"), std::string::npos) << path;
    EXPECT_EQ(ExportedSymbols(path), (std::set<std::string>{"OfxGetNumberOfPlugins", "OfxGetPlugin"}));
}
#endif

class OfxControls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.Start(kOfxImageEffectContextGeneral), kOfxStatOK); }

    const PropertyStore& Described(const std::string& name)
    {
        for (const HostParam& p : host.context_descriptor().params.params) {
            if (p.name == name) {
                return p.props;
            }
        }
        ADD_FAILURE() << "no parameter " << name;
        static PropertyStore none;
        return none;
    }

    OfxHostSim host{QF_OFX_BUNDLE};
};

TEST_F(OfxControls, PluginRecordAndDescription)
{
    EXPECT_EQ(host.PluginCount(), 1);
    EXPECT_EQ(host.plugin().api, "OfxImageEffectPluginAPI");
    EXPECT_EQ(host.plugin().api_version, 1);
    EXPECT_EQ(host.plugin().identifier, "com.tessaloom.Quaverflux");
    EXPECT_EQ(host.plugin().version_major, 1u);
    EXPECT_EQ(host.plugin().version_minor, 0u);

    const PropertyStore& d = host.descriptor();
    EXPECT_EQ(d.String(kOfxPropLabel), "Quaverflux");
    EXPECT_EQ(d.String(kOfxImageEffectPluginPropGrouping), "Distort");
    EXPECT_EQ(d.Strings(kOfxImageEffectPropSupportedContexts),
              (std::vector<std::string>{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}));
    EXPECT_EQ(d.Strings(kOfxImageEffectPropSupportedPixelDepths),
              (std::vector<std::string>{kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat}));
    EXPECT_EQ(d.String(kOfxImageEffectPluginRenderThreadSafety), kOfxImageEffectRenderFullySafe);
    EXPECT_EQ(d.Int(kOfxImageEffectPluginPropHostFrameThreading, 0, -1), 0);
    EXPECT_EQ(d.Int(kOfxImageEffectPropSupportsTiles), 1);
    EXPECT_EQ(d.Int(kOfxImageEffectPropSupportsMultiResolution), 1);
    EXPECT_EQ(d.Int(kOfxImageEffectPropTemporalClipAccess, 0, -1), 0);
    EXPECT_EQ(d.Int(kOfxPropVersion, 0, -1), 1);
    EXPECT_EQ(d.Int(kOfxPropVersion, 1, -1), 0);
    EXPECT_EQ(d.Int(kOfxPropVersion, 2, -1), 0);
    EXPECT_EQ(d.String(kOfxPropVersionLabel), "1.0.0");
}

// The two forms of the effect are one product: the same name, group, version and maker.
TEST_F(OfxControls, IdentityAgreesWithTheCompositingHostForm)
{
    const PropertyStore& d = host.descriptor();
    EXPECT_EQ(d.String(kOfxPropLabel), EFFECT_NAME);
    EXPECT_EQ(d.String(kOfxImageEffectPluginPropGrouping), EFFECT_CATEGORY);
    EXPECT_EQ(host.plugin().version_major, unsigned(EFFECT_VERSION_MAJOR));
    EXPECT_EQ(host.plugin().version_minor, unsigned(EFFECT_VERSION_MINOR));
    EXPECT_EQ(d.Int(kOfxPropVersion, 2, -1), EFFECT_VERSION_FIX);
    EXPECT_EQ(d.String(kOfxPropVersionLabel), EFFECT_VERSION_TEXT);
    // The identifier is the support address's domain reversed, then the name.
    EXPECT_EQ(std::string(SUPPORT_URL).rfind("https://tessaloom.com/", 0), 0u) << SUPPORT_URL;
    EXPECT_EQ(host.plugin().identifier, std::string("com.tessaloom.") + EFFECT_NAME);
}

TEST_F(OfxControls, ClipsOfEachContext)
{
    auto names = [](const HostEffect& effect) {
        std::vector<std::string> list;
        for (const HostClip& clip : effect.clips) {
            list.push_back(clip.name);
            EXPECT_EQ(clip.props.Strings(kOfxImageEffectPropSupportedComponents),
                      std::vector<std::string>{kOfxImageComponentRGBA});
        }
        return list;
    };
    EXPECT_EQ(names(host.context_descriptor()), (std::vector<std::string>{"Source", "StrengthMap", "Output"}));
    const HostClip& map = host.context_descriptor().clips[1];
    EXPECT_EQ(map.props.String(kOfxPropLabel), "Strength Map");
    EXPECT_EQ(map.props.Int(kOfxImageClipPropOptional), 1);
    EXPECT_EQ(host.context_descriptor().clips[0].props.Int(kOfxImageClipPropOptional, 0, -1), 0);

    OfxHostSim filter(QF_OFX_BUNDLE);
    ASSERT_EQ(filter.Start(kOfxImageEffectContextFilter), kOfxStatOK);
    EXPECT_EQ(names(filter.context_descriptor()), (std::vector<std::string>{"Source", "Output"}));
    // Without a map clip there is no strength map group either.
    for (const HostParam& p : filter.context_descriptor().params.params) {
        EXPECT_NE(p.name, "mapChannel");
        EXPECT_NE(p.name, "strengthMapGroup");
    }
}

TEST_F(OfxControls, EveryControlInPanelOrderWithItsGroup)
{
    std::vector<std::string> names;
    std::vector<std::string> parents;
    for (const HostParam& p : host.context_descriptor().params.params) {
        names.push_back(p.name);
        parents.push_back(p.props.String(kOfxParamPropParent));
    }
    const std::vector<std::string> expected_names = {
        "preset", "amount", "waveSize", "strength", "fold", "drip", "direction",
        "wavesGroup", "waves", "waveform", "sizeVariation", "strengthVariation", "directionSpread", "iterations",
        "randomSeed", "scaleWithLayer",
        "animationGroup", "evolution", "evolutionSpeed", "offsetX", "offsetY", "driftSpeedX", "driftSpeedY", "loop",
        "loopDuration",
        "strengthMapGroup", "mapChannel", "invertMap",
        "renderGroup", "colorSplit", "edges", "antialiasing", "interpolation", "mix"};
    EXPECT_EQ(names, expected_names);
    EXPECT_EQ(parents[1], "");
    EXPECT_EQ(parents[8], "wavesGroup");
    EXPECT_EQ(parents[15], "wavesGroup");
    EXPECT_EQ(parents[16], "");
    EXPECT_EQ(parents[24], "animationGroup");
    EXPECT_EQ(parents[27], "strengthMapGroup");
    EXPECT_EQ(parents[33], "renderGroup");
    EXPECT_EQ(Described("wavesGroup").String(kOfxParamPropType), kOfxParamTypeGroup);
    EXPECT_EQ(Described("wavesGroup").Int(kOfxParamPropGroupOpen, 0, -1), 0);
    EXPECT_EQ(Described("wavesGroup").String(kOfxPropLabel), "Waves");
    EXPECT_EQ(Described("loopDuration").String(kOfxPropLabel), "Loop Duration (sec)");
}

TEST_F(OfxControls, RangesDefaultsAndUnits)
{
    // Percentages are scale factors: the host shows 1.0 as 100 %.
    const PropertyStore& amount = Described("amount");
    EXPECT_EQ(amount.String(kOfxParamPropType), kOfxParamTypeDouble);
    EXPECT_EQ(amount.String(kOfxParamPropDoubleType), kOfxParamDoubleTypeScale);
    EXPECT_DOUBLE_EQ(amount.Double(kOfxParamPropDefault), 1.0);
    EXPECT_DOUBLE_EQ(amount.Double(kOfxParamPropMin), 0.0);
    EXPECT_DOUBLE_EQ(amount.Double(kOfxParamPropMax), 10.0);
    EXPECT_DOUBLE_EQ(amount.Double(kOfxParamPropDisplayMin), 0.0);
    EXPECT_DOUBLE_EQ(amount.Double(kOfxParamPropDisplayMax), 2.0);
    EXPECT_EQ(amount.Int(kOfxParamPropDigits), 3);
    EXPECT_DOUBLE_EQ(Described("colorSplit").Double(kOfxParamPropMin), -1.0);
    EXPECT_DOUBLE_EQ(Described("colorSplit").Double(kOfxParamPropDisplayMax), 0.5);

    const PropertyStore& size = Described("waveSize");
    EXPECT_EQ(size.String(kOfxParamPropDoubleType), kOfxParamDoubleTypePlain);
    EXPECT_DOUBLE_EQ(size.Double(kOfxParamPropDefault), 440.0);
    EXPECT_DOUBLE_EQ(size.Double(kOfxParamPropMin), 2.0);
    EXPECT_DOUBLE_EQ(size.Double(kOfxParamPropMax), 20000.0);
    EXPECT_DOUBLE_EQ(size.Double(kOfxParamPropDisplayMin), 20.0);
    EXPECT_DOUBLE_EQ(size.Double(kOfxParamPropDisplayMax), 2000.0);
    EXPECT_EQ(size.Int(kOfxParamPropDigits), 1);
    EXPECT_EQ(Described("strength").Int(kOfxParamPropDigits), 2);

    EXPECT_EQ(Described("direction").String(kOfxParamPropDoubleType), kOfxParamDoubleTypeAngle);
    EXPECT_EQ(Described("evolution").String(kOfxParamPropDoubleType), kOfxParamDoubleTypeAngle);

    const PropertyStore& waves = Described("waves");
    EXPECT_EQ(waves.String(kOfxParamPropType), kOfxParamTypeInteger);
    EXPECT_EQ(waves.Int(kOfxParamPropDefault), 5);
    EXPECT_EQ(waves.Int(kOfxParamPropMin), 1);
    EXPECT_EQ(waves.Int(kOfxParamPropMax), 32);
    EXPECT_EQ(waves.Int(kOfxParamPropDisplayMax), 16);
    EXPECT_EQ(Described("randomSeed").Int(kOfxParamPropMax), 30000);

    const PropertyStore& preset = Described("preset");
    EXPECT_EQ(preset.String(kOfxParamPropType), kOfxParamTypeChoice);
    const std::vector<std::string> looks = preset.Strings(kOfxParamPropChoiceOption);
    ASSERT_EQ(looks.size(), 15u);
    EXPECT_EQ(looks[0], "Custom");
    EXPECT_EQ(looks[1], "Melting Portrait");
    EXPECT_EQ(looks[14], "Sideways Melt");
    EXPECT_EQ(preset.Int(kOfxParamPropDefault), 1);
    EXPECT_EQ(preset.Int(kOfxParamPropAnimates, 0, -1), 0);
    EXPECT_EQ(Described("amount").Int(kOfxParamPropAnimates, 0, -1), 1);
    EXPECT_EQ(Described("edges").Strings(kOfxParamPropChoiceOption),
              (std::vector<std::string>{"Repeat Edge Pixels", "Wrap Around", "Mirror", "Transparent"}));
    EXPECT_EQ(Described("interpolation").Int(kOfxParamPropDefault), 1);   // "Bicubic"
    EXPECT_EQ(Described("scaleWithLayer").String(kOfxParamPropType), kOfxParamTypeBoolean);
    EXPECT_EQ(Described("scaleWithLayer").Int(kOfxParamPropDefault), 1);
}

// Each look writes its thirteen controls, in OpenFX's units, and the menu keeps the look; touching any
// of them turns the menu to "Custom", touching another control does not.
TEST_F(OfxControls, PresetWritesEachLookAndTouchingOneTurnsItToCustom)
{
    const char* controlled[13] = {"waveSize", "strength", "fold", "drip", "direction", "waves", "waveform",
                                  "sizeVariation", "strengthVariation", "directionSpread", "iterations",
                                  "randomSeed", "colorSplit"};
    for (int look = 0; look < PRESET_LOOK_COUNT; ++look) {
        const PresetLook& p = PRESET_TABLE[look];
        SCOPED_TRACE(p.name);
        const int steps = host.undo_steps;
        ASSERT_EQ(host.SetParam("preset", look + 1), kOfxStatOK);
        EXPECT_EQ(host.undo_steps, steps + 1) << "one undo step per look";
        EXPECT_EQ(host.Number("preset"), look + 1);
        EXPECT_DOUBLE_EQ(host.Number("waveSize"), p.wave_size);   // Scale With Layer on: as listed
        EXPECT_DOUBLE_EQ(host.Number("strength"), p.strength);
        EXPECT_DOUBLE_EQ(host.Number("fold"), p.fold / 100);
        EXPECT_DOUBLE_EQ(host.Number("drip"), p.drip / 100);
        EXPECT_DOUBLE_EQ(host.Number("direction"), p.direction);
        EXPECT_EQ(host.Number("waves"), p.waves);
        EXPECT_EQ(host.Number("waveform"), p.waveform);
        EXPECT_DOUBLE_EQ(host.Number("sizeVariation"), p.size_variation / 100);
        EXPECT_DOUBLE_EQ(host.Number("strengthVariation"), p.strength_variation / 100);
        EXPECT_DOUBLE_EQ(host.Number("directionSpread"), p.direction_spread);
        EXPECT_EQ(host.Number("iterations"), p.iterations);
        EXPECT_EQ(host.Number("randomSeed"), p.seed);
        EXPECT_DOUBLE_EQ(host.Number("colorSplit"), p.color_split / 100);

        ASSERT_EQ(host.SetParam("amount", 1.5), kOfxStatOK);
        ASSERT_EQ(host.SetParam("mix", 0.5), kOfxStatOK);
        EXPECT_EQ(host.Number("preset"), look + 1) << "Amount and Mix are not part of a look";
        const char* touched = controlled[look % 13];
        ASSERT_EQ(host.SetParam(touched, host.Number(touched)), kOfxStatOK);
        EXPECT_EQ(host.Number("preset"), 0) << touched << " turns the menu to Custom";
    }
    // Spot values in OpenFX's own units.
    ASSERT_EQ(host.SetParam("preset", 14), kOfxStatOK);   // Sideways Melt
    EXPECT_EQ(host.Number("direction"), 90.0);
    ASSERT_EQ(host.SetParam("preset", 10), kOfxStatOK);   // Zigzag
    EXPECT_EQ(host.Number("waveform"), 3);                // "Triangle", 0-based
    EXPECT_DOUBLE_EQ(host.Number("fold"), 0.6);
    // Choosing "Custom" changes nothing.
    const int writes = host.plugin_writes;
    ASSERT_EQ(host.SetParam("preset", 0), kOfxStatOK);
    EXPECT_EQ(host.plugin_writes, writes);
}

// With Scale With Layer off a look's Wave Size is fitted to the source: a 3840 x 2160 layer doubles it.
TEST_F(OfxControls, LookFittedToTheSourceWithoutScaleWithLayer)
{
    ClipInput source;
    source.picture = TestPicture(192, 108);
    source.scale = 0.05;   // 3840 x 2160 at full resolution
    host.Connect(kOfxImageEffectSimpleSourceClipName, source);
    ASSERT_EQ(host.SetParam("scaleWithLayer", 0), kOfxStatOK);
    ASSERT_EQ(host.SetParam("preset", 8), kOfxStatOK);   // Heat Haze
    EXPECT_EQ(host.Number("waveSize"), 180.0);
}

TEST_F(OfxControls, LoopDurationGreyedWhileLoopIsOff)
{
    EXPECT_EQ(Described("loopDuration").Int(kOfxParamPropEnabled, 0, -1), 0);
    auto enabled = [&] { return host.Param("loopDuration").props.Int(kOfxParamPropEnabled, 0, -1); };
    EXPECT_EQ(enabled(), 0);
    ASSERT_EQ(host.SetParam("loop", 1), kOfxStatOK);
    EXPECT_EQ(enabled(), 1);
    ASSERT_EQ(host.SetParam("loop", 0), kOfxStatOK);
    EXPECT_EQ(enabled(), 0);
    EXPECT_DOUBLE_EQ(host.Number("loopDuration"), 4.0);
}

// The output varies with time when a speed is not zero, so a host must not keep one frame for all.
TEST_F(OfxControls, SpeedsMakeFramesVaryInTime)
{
    ClipInput source;
    source.picture = TestPicture(8, 8);
    source.premultiplication = kOfxImageOpaque;
    host.Connect(kOfxImageEffectSimpleSourceClipName, source);
    EXPECT_EQ(host.clip_preferences.Int(kOfxImageEffectFrameVarying, 0, -1), 0);
    EXPECT_EQ(host.clip_preferences.String(kOfxImageEffectPropPreMultiplication), kOfxImageUnPreMultiplied);
    ASSERT_EQ(host.SetParam("driftSpeedY", 3.0), kOfxStatOK);
    EXPECT_EQ(host.clip_preferences.Int(kOfxImageEffectFrameVarying, 0, -1), 1);
    EXPECT_EQ(host.clip_preferences.Int(kOfxImageClipPropContinuousSamples, 0, -1), 1);
}

}   // namespace
