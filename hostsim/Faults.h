// Failure injection and call counting: every host call the plug-in makes is counted here, and any of
// them can be made to fail, or to throw, on demand. The abort callback lives here too: a user's
// interrupt is a host answer like any other.
#pragma once

#include "AE_Effect.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The host calls the plug-in can make, for counting and failure injection.
enum class HostCall {
    Register,          // the registration callback
    AddParam,
    CheckoutParam,
    CheckinParam,
    RegisterUi,
    Abort,
    AcquireSuite,
    ReleaseSuite,
    UpdateParamUI,     // "PF Param Utils Suite" 3
    CheckoutLayer,     // the pre-render's checkout_layer
    CheckoutLayerPixels,
    CheckoutOutput,
    GetPixelFormat,    // "PF World Suite" 2
    GetDeviceInfo,     // "PF GPU Device Suite" 1
    GetGPUWorldData,   // param_index: the world's layer parameter, -1 for the output
    // The drawing side of the header control (Drawbot.h).
    GetDrawingReference,   // "PF Effect Custom UI Suite" 1
    GetSupplier,           // "DRAWBOT Draw Suite" 1
    GetSurface,
    PrefersPixelLayoutBGRA,    // "DRAWBOT Supplier Suite" 1
    SupportsPixelLayoutBGRA,
    SupportsPixelLayoutARGB,
    NewImageFromBuffer,
    ReleaseObject,
    PushStateStack,    // "DRAWBOT Surface Suite" 2 and 1
    PopStateStack,
    Transform,
    DrawImage,
    GetTransformToScreenScale,
    AppGetBgColor,     // "PF AE App Suite" 1
    AppGetColor,
    Count
};

enum class InjectedThrow { None, BadAlloc, RuntimeError };

// Makes matching host calls fail: the first `skip` matching calls work, the next `times` (every one when
// -1) return `error` without doing anything, or throw instead when `throws` says so.
//
// The render calls (checkout_layer, checkout_layer_pixels, checkout_output, PF_GetPixelFormat) are reached
// too; an injected PF_Err_NONE on checkout_layer_pixels or checkout_output succeeds without handing out a
// world, as a host does for a layer that has no pixels at that time.
struct Injection {
    HostCall call = HostCall::AddParam;
    PF_Err error = PF_Err_INTERNAL_STRUCT_DAMAGED;
    int skip = 0;
    int times = 1;
    InjectedThrow throws = InjectedThrow::None;
    int param_index = -1;     // AddParam (the index it would get), CheckoutParam, UpdateParamUI: this one only;
                              // CheckoutLayer, CheckoutLayerPixels: this layer parameter only;
                              // AppGetColor: this colour type only
    std::string suite;        // AcquireSuite, ReleaseSuite: this suite name only
    bool null_suite = false;  // AcquireSuite: report success but hand out no table
};

class FaultInjector {
public:
    void Inject(const Injection& injection);
    void Clear() { injections_.clear(); }
    void AbortAfter(int calls);   // abort answers PF_Interrupt_CANCEL from call calls + 1 on
    // abort answers PF_Interrupt_CANCEL whenever `stop` returns true (a user's interrupt); empty: never.
    // Called on the thread that sends the command; keep it to reading a flag.
    void AbortWhen(std::function<bool()> stop) { abort_when_ = std::move(stop); }

    // Counts one call and decides whether an injected failure answers it: true with `error` set, or a
    // throw when the injection says so. `param_index` and `suite` pick the injections that apply;
    // `null_suite` learns whether a suite's acquisition should hand out no table.
    bool Injected(HostCall call, PF_Err& error, int param_index = -1, std::string_view suite = {},
                  bool* null_suite = nullptr);
    // The abort callback of in_data's interaction callbacks.
    static PF_Err AbortCallback(PF_ProgPtr effect_ref);

    int CallCount(HostCall call) const { return call_counts_[static_cast<int>(call)]; }
    void ClearCounts() { call_counts_.fill(0); }

private:
    struct Armed {
        Injection injection;
        int seen = 0;
        int fired = 0;
    };
    std::vector<Armed> injections_;
    std::function<bool()> abort_when_;
    std::array<int, static_cast<int>(HostCall::Count)> call_counts_{};
};
