// What effect_ref points at: the host's record of one effect instance, through which the callbacks of
// each part find their part. Suite functions carry no effect_ref: they find the instance whose command
// runs on their thread. The record only links the parts; HostSim builds them and fills it in.
#pragma once

#include "AE_Effect.h"

class EffectModule;
class FaultInjector;
class SuiteTable;
class ParamStore;
class RenderRoads;
class GpuHost;
class DrawingHost;

struct EffectInstance {
    EffectModule* module = nullptr;
    FaultInjector* faults = nullptr;
    SuiteTable* suites = nullptr;
    ParamStore* params = nullptr;
    RenderRoads* render = nullptr;
    GpuHost* gpu = nullptr;
    DrawingHost* drawing = nullptr;

    PF_ProgPtr ref() { return reinterpret_cast<PF_ProgPtr>(this); }
    static EffectInstance* From(PF_ProgPtr effect_ref) { return reinterpret_cast<EffectInstance*>(effect_ref); }
    // The instance whose command runs on this thread, or null.
    static EffectInstance* OnThisThread();

    // Makes an instance the one on this thread for as long as it lives (one command), then puts back the
    // one before.
    class Active {
    public:
        explicit Active(EffectInstance* instance);
        ~Active();
        Active(const Active&) = delete;
        Active& operator=(const Active&) = delete;

    private:
        EffectInstance* previous_;
    };
};
