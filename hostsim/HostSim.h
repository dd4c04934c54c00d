// The host, played in-process: loads the plug-in module by path, registers it, and sends it commands with
// real PF_InData / PF_OutData records, parameter arrays and host callbacks and suites. Tests, the
// command-line renderer and the benchmarks all reach the plug-in through this class. It knows only what
// the module tells it: the parameters it registers, the values it changes, the frames it draws.
//
// It is made of parts, each with its own header, lowest first:
//     faults()    FaultInjector  every host call counted, and made to fail on demand (Faults.h)
//     suites()    SuiteTable     the suites offered through the basic suite (Suites.h)
//     layers()    LayerStore     pictures in the host's depths (Layers.h, Pixels.h)
//     params()    ParamStore     the parameters learnt from add_param, values, keyframes (ParamStore.h)
//     module()    EffectModule   loading, registration, in_data and the commands (EffectModule.h)
//     gpu()       GpuHost        the GPU device and its worlds (GpuHost.h, GpuDeviceHost.h, GpuRuntime.h)
//     render()    RenderRoads    one frame through the smart or the legacy road (Render.h)
//     drawing()   DrawingHost    the header's events and the drawing suites (Drawbot.h)
// The parts' callbacks find their part through the instance record that effect_ref points at
// (Instance.h); this class builds the parts and links them there.
//
// Typical use:
//     HostSim host(module_path);
//     host.Start();                                   // register, GLOBAL_SETUP, PARAMS_SETUP
//     host.ChoosePreset("Heat Haze");                 // as the user: USER_CHANGED_PARAM, UPDATE_PARAMS_UI
//     double size = host.params().Get("Wave Size");
//     host.params().SetInputLayer(host.layers().Add(image, PixelDepth::Bits8));
//     RenderResult frame = host.render().Frame();
//
// One HostSim drives one effect instance; its callbacks may be called only on the thread that sends the
// command (the suite functions find their instance through that thread).
#pragma once

#include "Drawbot.h"
#include "EffectModule.h"
#include "Faults.h"
#include "GpuHost.h"
#include "HostSettings.h"
#include "Instance.h"
#include "Layers.h"
#include "ParamStore.h"
#include "Render.h"
#include "Suites.h"

#include <string>
#include <string_view>

class HostSim {
public:
    // Loads the module and finds its two exports; throws std::runtime_error when either fails.
    explicit HostSim(const std::string& module_path);
    HostSim(const HostSim&) = delete;
    HostSim& operator=(const HostSim&) = delete;

    HostSettings& settings() { return settings_; }
    FaultInjector& faults() { return faults_; }
    SuiteTable& suites() { return suites_; }
    LayerStore& layers() { return layers_; }
    ParamStore& params() { return params_; }
    const ParamStore& params() const { return params_; }
    EffectModule& module() { return module_; }
    GpuHost& gpu() { return gpu_; }
    RenderRoads& render() { return render_; }
    DrawingHost& drawing() { return drawing_; }

    // Registration, PF_Cmd_GLOBAL_SETUP and PF_Cmd_PARAMS_SETUP in the host's order; the first error.
    PF_Err Start();

    // ---- as the user ----
    // Edits a control: the value at current_time changes, a supervised control gets
    // PF_Cmd_USER_CHANGED_PARAM, then PF_Cmd_UPDATE_PARAMS_UI follows when the effect asked for it.
    PF_Err ChangeParam(int index, double value);
    // Chooses from the popup registered as "Preset", by value or by choice name (throws
    // std::invalid_argument when it has no such choice).
    PF_Err ChoosePreset(int popup_value);
    PF_Err ChoosePreset(std::string_view look);

    // Clears every part's counters and logs.
    void ClearLogs();

private:
    // In the order they are built; each part gets those above it.
    HostSettings settings_;
    EffectInstance instance_;
    FaultInjector faults_;
    SuiteTable suites_;
    LayerStore layers_;
    ParamStore params_;
    EffectModule module_;   // the module stays loaded until the parts below are gone
    GpuHost gpu_;
    RenderRoads render_;
    DrawingHost drawing_;
};
