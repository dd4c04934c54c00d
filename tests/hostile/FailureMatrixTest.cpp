// Every host call of every command road failing in turn. For each road the host calls of a clean run are
// counted; then call k of each kind fails (an error code, a success without a result, a thrown bad_alloc
// or runtime_error) for every k. Each case must give the documented result, release every suite, check
// every parameter back in, give back every drawing object, and leave the effect rendering a plain frame
// exactly as before.
#include "Drawbot.h"
#include "RenderTestSupport.h"

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

// A host's own failure code: passed on unchanged where the plug-in returns a host error.
constexpr PF_Err HOST_ERROR = 0x2A2A;

enum class Failure { Code, BadAlloc, RuntimeError };

const char* FailureName(Failure failure)
{
    switch (failure) {
    case Failure::Code:
        return "error code";
    case Failure::BadAlloc:
        return "bad_alloc";
    default:
        return "runtime_error";
    }
}

const std::map<HostCall, const char*>& CallNames()
{
    static const std::map<HostCall, const char*> names{
        {HostCall::AddParam, "add_param"},
        {HostCall::CheckoutParam, "checkout_param"},
        {HostCall::CheckinParam, "checkin_param"},
        {HostCall::RegisterUi, "register_ui"},
        {HostCall::Abort, "abort"},
        {HostCall::AcquireSuite, "AcquireSuite"},
        {HostCall::ReleaseSuite, "ReleaseSuite"},
        {HostCall::UpdateParamUI, "PF_UpdateParamUI"},
        {HostCall::CheckoutLayer, "checkout_layer"},
        {HostCall::CheckoutLayerPixels, "checkout_layer_pixels"},
        {HostCall::CheckoutOutput, "checkout_output"},
        {HostCall::GetPixelFormat, "PF_GetPixelFormat"},
        {HostCall::GetDeviceInfo, "GetDeviceInfo"},
        {HostCall::GetGPUWorldData, "GetGPUWorldData"},
        {HostCall::GetDrawingReference, "PF_GetDrawingReference"},
        {HostCall::GetSupplier, "GetSupplier"},
        {HostCall::GetSurface, "GetSurface"},
        {HostCall::PrefersPixelLayoutBGRA, "PrefersPixelLayoutBGRA"},
        {HostCall::SupportsPixelLayoutBGRA, "SupportsPixelLayoutBGRA"},
        {HostCall::SupportsPixelLayoutARGB, "SupportsPixelLayoutARGB"},
        {HostCall::NewImageFromBuffer, "NewImageFromBuffer"},
        {HostCall::ReleaseObject, "ReleaseObject"},
        {HostCall::PushStateStack, "PushStateStack"},
        {HostCall::PopStateStack, "PopStateStack"},
        {HostCall::Transform, "Transform"},
        {HostCall::DrawImage, "DrawImage"},
        {HostCall::GetTransformToScreenScale, "GetTransformToScreenScale"},
        {HostCall::AppGetBgColor, "PF_AppGetBgColor"},
        {HostCall::AppGetColor, "PF_AppGetColor"},
    };
    return names;
}

// Calls made while the plug-in lets go of something run in destructors; a host call there cannot throw.
bool MayThrow(HostCall call)
{
    return call != HostCall::CheckinParam && call != HostCall::ReleaseSuite && call != HostCall::ReleaseObject &&
           call != HostCall::PopStateStack;
}

// One failing call, as the road sees it.
struct Case {
    HostCall call;
    int k;              // 0-based: the k-th call of this kind fails
    Failure failure;
    bool null_suite;    // AcquireSuite: success without a table
};

// What a road did, for its expectations.
struct Outcome {
    PF_Err err = PF_Err_NONE;
    RenderResult render;   // render roads
};

struct Road {
    const char* name;
    // Prepares a started host (layers, values); runs after Start.
    std::function<void(HostSim&)> prepare;
    std::function<Outcome(HostSim&)> run;
    // Checks the outcome of one case; the common checks (suites, check-ins, drawing objects) are made by the
    // matrix itself.
    std::function<void(const Case&, const Outcome&, HostSim&)> expect;
    // Calls whose count differs from run to run (the abort poll depends on how the threads share the rows):
    // only their first call is made to fail.
    std::vector<HostCall> first_only;
    bool started = true;   // false: the host is only registered and globally set up before run
};

PF_Err Expected(const Case& c, PF_Err for_code)
{
    switch (c.failure) {
    case Failure::BadAlloc:
        return PF_Err_OUT_OF_MEMORY;
    case Failure::RuntimeError:
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    default:
        return for_code;
    }
}

std::string Describe(const Road& road, const Case& c)
{
    return std::string(road.name) + ": " + CallNames().at(c.call) + " #" + std::to_string(c.k) + " fails with " +
           FailureName(c.failure) + (c.null_suite ? " (no table)" : "");
}

// Tall enough that the render thread polls the host's abort even when many threads share the rows.
void PrepareFrame(HostSim& host)
{
    host.params().SetInputLayer(host.layers().Add(Pattern(24, 160), PixelDepth::Float));
    host.params().SetMapLayer(host.layers().Add(Pattern(8, 6, 0.0f), PixelDepth::Bits16));
    host.params().Set(PARAM_ITERATIONS, 2);
}

RenderRequest FloatFrame()
{
    RenderRequest request;
    request.depth = PixelDepth::Float;
    return request;
}

// A non-zero answer to abort is the host's cancel. The band renderer asks only after the calling thread's
// 4th row, so when the workers happen to take the rows first no question is asked and the frame completes.
void ExpectAbortOutcome(const Case& c, const Outcome& o, HostSim& host)
{
    if (host.faults().CallCount(HostCall::Abort) == 0) {
        EXPECT_EQ(o.err, PF_Err_NONE);
        return;
    }
    EXPECT_EQ(o.err, Expected(c, PF_Interrupt_CANCEL));
}

// The smart road on the CPU: pre-render, render, record freed.
Road SmartRoad()
{
    Road road;
    road.name = "smart render";
    road.prepare = PrepareFrame;
    road.run = [](HostSim& host) {
        Outcome outcome;
        outcome.render = host.render().Frame(FloatFrame());
        outcome.err = outcome.render.error;
        return outcome;
    };
    road.first_only = {HostCall::Abort};
    road.expect = [](const Case& c, const Outcome& o, HostSim& host) {
        const RenderResult& r = o.render;
        switch (c.call) {
        case HostCall::CheckoutParam:
            // The pre-render stops with the host's code and keeps no record.
            EXPECT_EQ(r.pre_render_error, Expected(c, HOST_ERROR));
            EXPECT_FALSE(r.had_pre_render_data);
            EXPECT_FALSE(r.rendered);
            return;
        case HostCall::CheckoutLayer:
            if (c.k == 0 || c.failure != Failure::Code) {
                EXPECT_EQ(o.err, Expected(c, HOST_ERROR));
                EXPECT_FALSE(r.had_pre_render_data);
                return;
            }
            EXPECT_EQ(o.err, PF_Err_NONE);   // the map's checkout: the frame goes on without a map
            return;
        case HostCall::CheckoutLayerPixels:
            EXPECT_EQ(o.err, c.k == 0 || c.failure != Failure::Code ? Expected(c, HOST_ERROR) : PF_Err_NONE);
            return;
        case HostCall::CheckoutOutput:
            EXPECT_EQ(o.err, Expected(c, HOST_ERROR));
            return;
        case HostCall::Abort:
            ExpectAbortOutcome(c, o, host);
            return;
        case HostCall::AcquireSuite:
        case HostCall::GetPixelFormat:
        case HostCall::CheckinParam:
        case HostCall::ReleaseSuite:
            // No world suite or no format: 8-bit treatment; check-in and release failures change nothing.
            EXPECT_EQ(o.err, Expected(c, PF_Err_NONE));
            EXPECT_TRUE(r.rendered || c.failure != Failure::Code);
            return;
        default:
            ADD_FAILURE() << "unexpected call in the smart road";
        }
    };
    return road;
}

Road LegacyRoad()
{
    Road road;
    road.name = "legacy render";
    road.prepare = [](HostSim& host) {
        host.params().SetInputLayer(host.layers().Add(Pattern(24, 160), PixelDepth::Bits16));
        host.params().SetMapLayer(host.layers().Add(Pattern(8, 6, 0.0f), PixelDepth::Bits8));
    };
    road.run = [](HostSim& host) {
        Outcome outcome;
        outcome.render = host.render().Legacy();
        outcome.err = outcome.render.error;
        return outcome;
    };
    road.first_only = {HostCall::Abort};
    road.expect = [](const Case& c, const Outcome& o, HostSim& host) {
        ASSERT_EQ(c.call, HostCall::Abort);
        ExpectAbortOutcome(c, o, host);
    };
    return road;
}

Road ParamsSetupRoad()
{
    Road road;
    road.name = "parameter set-up";
    road.started = false;
    road.run = [](HostSim& host) {
        host.module().out_data().num_params = 0;
        Outcome outcome;
        outcome.err = host.module().ParamsSetup();
        return outcome;
    };
    road.expect = [](const Case& c, const Outcome& o, HostSim& host) {
        if (c.call == HostCall::AddParam) {
            // That error at once: no parameter count and no custom UI.
            EXPECT_EQ(o.err, Expected(c, HOST_ERROR));
            EXPECT_EQ(host.module().out_data().num_params, 0);
            EXPECT_TRUE(host.params().registered_ui().empty());
            return;
        }
        ASSERT_EQ(c.call, HostCall::RegisterUi);
        EXPECT_EQ(o.err, Expected(c, PF_Err_NONE));   // a refused custom UI leaves the header blank
        if (c.failure == Failure::Code) {
            EXPECT_EQ(host.module().out_data().num_params, PARAM_COUNT);
        }
    };
    return road;
}

Road DynamicFlagsRoad()
{
    Road road;
    road.name = "dynamic flags";
    road.run = [](HostSim& host) {
        host.module().out_data().out_flags = 0;
        Outcome outcome;
        outcome.err = host.module().SendCommand(PF_Cmd_QUERY_DYNAMIC_FLAGS);
        return outcome;
    };
    road.expect = [](const Case& c, const Outcome& o, HostSim& host) {
        if (c.call == HostCall::CheckoutParam && c.failure == Failure::Code) {
            // An unreadable speed is taken to vary.
            EXPECT_EQ(o.err, PF_Err_NONE);
            EXPECT_NE(host.module().out_data().out_flags & PF_OutFlag_NON_PARAM_VARY, 0);
            return;
        }
        EXPECT_EQ(o.err, Expected(c, PF_Err_NONE));
    };
    return road;
}

Road ParamsUiRoad()
{
    Road road;
    road.name = "parameter UI update";
    road.prepare = [](HostSim& host) { host.params().Set(PARAM_LOOP, 1); };
    road.run = [](HostSim& host) {
        Outcome outcome;
        outcome.err = host.module().SendUpdateParamsUI();
        return outcome;
    };
    road.expect = [](const Case& c, const Outcome& o, HostSim&) { EXPECT_EQ(o.err, Expected(c, PF_Err_NONE)); };
    return road;
}

Road HeaderDrawRoad(float screen_scale)
{
    Road road;
    road.name = screen_scale > 1.5f ? "header draw at 2x" : "header draw at 1x";
    road.prepare = [screen_scale](HostSim& host) { host.drawing().settings().screen_scale = screen_scale; };
    road.run = [](HostSim& host) {
        Outcome outcome;
        outcome.err = host.drawing().SendDraw().err;
        return outcome;
    };
    road.expect = [](const Case& c, const Outcome& o, HostSim&) {
        // Drawing never fails the command; a thrown failure becomes the host's code.
        EXPECT_EQ(o.err, Expected(c, PF_Err_NONE));
    };
    return road;
}

Road GpuSetupRoad()
{
    Road road;
    road.name = "GPU device set-up (Metal)";
    road.run = [](HostSim& host) {
        Outcome outcome;
        outcome.err = host.gpu().SetUp(PF_GPU_Framework_METAL);
        host.gpu().SetDown();
        return outcome;
    };
    road.expect = [](const Case& c, const Outcome& o, HostSim& host) {
        EXPECT_EQ(o.err, Expected(c, PF_Err_NONE));
        EXPECT_FALSE(host.gpu().Accepted());
    };
    return road;
}

class FailureMatrix : public ::testing::Test {
protected:
    static std::unique_ptr<HostSim> Fresh(const Road& road)
    {
        auto host = std::make_unique<HostSim>(QF_MODULE_PATH);
        if (road.started) {
            EXPECT_EQ(host->Start(), PF_Err_NONE);
        } else {
            EXPECT_EQ(host->module().Register(), PF_Err_NONE);
            EXPECT_EQ(host->module().GlobalSetup(), PF_Err_NONE);
        }
        if (road.prepare) {
            road.prepare(*host);
        }
        host->ClearLogs();
        return host;
    }

    // A plain frame of a freshly started effect, against which every case's next frame is compared.
    static FloatImage PlainFrame(HostSim& host)
    {
        if (host.params().Count() != PARAM_COUNT) {
            EXPECT_EQ(host.module().ParamsSetup(), PF_Err_NONE);
        }
        host.params().SetInputLayer(host.layers().Add(Pattern(20, 11), PixelDepth::Float));
        host.params().SetMapLayer(NO_LAYER);
        host.params().Set(PARAM_ITERATIONS, 1);
        host.params().Set(PARAM_LOOP, 0);
        const RenderResult result = host.render().Frame(FloatFrame());
        EXPECT_EQ(result.error, PF_Err_NONE);
        return result.image;
    }

    // Runs every case of the road; returns how many were run.
    int RunMatrix(const Road& road)
    {
        std::map<HostCall, int> counts;
        {
            const auto host = Fresh(road);
            const Outcome clean = road.run(*host);
            EXPECT_EQ(clean.err, PF_Err_NONE) << road.name << " fails without any failing call";
            for (const auto& [call, name] : CallNames()) {
                counts[call] = host->faults().CallCount(call);
            }
            EXPECT_EQ(host->suites().Outstanding(), 0);
        }
        int cases = 0;
        int calls = 0;
        int kinds = 0;
        for (const auto& [call, count] : counts) {
            calls += count;
            kinds += count > 0 ? 1 : 0;
        }
        for (const auto& [call, count] : counts) {
            const bool first_only =
                std::find(road.first_only.begin(), road.first_only.end(), call) != road.first_only.end();
            for (int k = 0; k < (first_only ? std::min(count, 1) : count); ++k) {
                for (const Failure failure : {Failure::Code, Failure::BadAlloc, Failure::RuntimeError}) {
                    if (failure != Failure::Code && !MayThrow(call)) {
                        continue;
                    }
                    RunCase(road, Case{call, k, failure, false});
                    ++cases;
                }
                if (call == HostCall::AcquireSuite) {
                    RunCase(road, Case{call, k, Failure::Code, true});
                    ++cases;
                }
            }
        }
        std::printf("%s: %d host calls of %d kinds, %d failure cases\n", road.name, calls, kinds, cases);
        return cases;
    }

    void RunCase(const Road& road, const Case& c)
    {
        SCOPED_TRACE(Describe(road, c));
        const auto host = Fresh(road);
        Injection injection;
        injection.call = c.call;
        injection.error = c.null_suite ? PF_Err_NONE : HOST_ERROR;
        injection.null_suite = c.null_suite;
        injection.skip = c.k;
        injection.times = 1;
        injection.throws = c.failure == Failure::BadAlloc       ? InjectedThrow::BadAlloc
                           : c.failure == Failure::RuntimeError ? InjectedThrow::RuntimeError
                                                                : InjectedThrow::None;
        host->faults().Inject(injection);
        const Outcome outcome = road.run(*host);
        road.expect(c, outcome, *host);

        EXPECT_EQ(host->suites().Outstanding(), 0) << "every suite is released";
        if (c.call != HostCall::CheckinParam) {
            EXPECT_EQ(host->params().OutstandingCheckouts(), 0) << "every checked-out parameter is checked in";
        }
        // A refused release or pop was still made: the host's own count is what stays off.
        if (c.call != HostCall::ReleaseObject) {
            EXPECT_EQ(host->drawing().ImagesOutstanding(), 0) << "every drawing image is released";
        }
        if (c.call != HostCall::PopStateStack) {
            EXPECT_EQ(host->drawing().StateDepth(), 0) << "every pushed state is popped";
        }
        EXPECT_EQ(host->drawing().BadReleases(), 0);

        // The same effect instance takes the next command as if nothing had happened.
        host->faults().Clear();
        EXPECT_TRUE(SameImage(PlainFrame(*host), plain_));
        EXPECT_EQ(host->suites().Outstanding(), 0);
    }

    static void SetUpTestSuite()
    {
        HostSim host(QF_MODULE_PATH);
        ASSERT_EQ(host.Start(), PF_Err_NONE);
        plain_ = PlainFrame(host);
    }

    static inline FloatImage plain_;
};

TEST_F(FailureMatrix, SmartRender)
{
    EXPECT_GT(RunMatrix(SmartRoad()), 29 * 4);   // 29 parameter checkouts alone: three ways each, and check-ins
}

TEST_F(FailureMatrix, LegacyRender)
{
    EXPECT_LE(RunMatrix(LegacyRoad()), 3);   // its only host call is the abort poll
}

TEST_F(FailureMatrix, ParamsSetup)
{
    EXPECT_GE(RunMatrix(ParamsSetupRoad()), 40 * 3 + 3);   // 40 add_param calls and register_ui
}

TEST_F(FailureMatrix, DynamicFlags)
{
    EXPECT_EQ(RunMatrix(DynamicFlagsRoad()), 18 * 4);   // 18 checkouts and their check-ins
}

TEST_F(FailureMatrix, ParamsUiUpdate)
{
    EXPECT_GE(RunMatrix(ParamsUiRoad()), 5);
}

TEST_F(FailureMatrix, HeaderDraw)
{
    EXPECT_GE(RunMatrix(HeaderDrawRoad(1.0f)), 20);
    EXPECT_GE(RunMatrix(HeaderDrawRoad(2.0f)), 20);
}

TEST_F(FailureMatrix, GpuDeviceSetupOfAnotherFramework)
{
    EXPECT_GE(RunMatrix(GpuSetupRoad()), 3);
}

// The smart road's map checkouts: a failing one renders exactly the frame without a map.
TEST_F(FailureMatrix, FailedMapCheckoutsRenderWithoutTheMap)
{
    Road road = SmartRoad();
    const auto without = Fresh(road);
    without->params().SetMapLayer(NO_LAYER);
    const FloatImage expected = without->render().Frame(FloatFrame()).image;
    for (const HostCall call : {HostCall::CheckoutLayer, HostCall::CheckoutLayerPixels}) {
        const auto host = Fresh(road);
        Injection injection;
        injection.call = call;
        injection.error = HOST_ERROR;
        injection.param_index = PARAM_MAP_LAYER;
        host->faults().Inject(injection);
        const RenderResult result = host->render().Frame(FloatFrame());
        EXPECT_EQ(result.error, PF_Err_NONE);
        EXPECT_TRUE(SameImage(result.image, expected)) << CallNames().at(call);
    }
}

}   // namespace
