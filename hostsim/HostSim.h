// The host, played in-process: loads the plug-in module by path, registers it, and sends it commands with
// real PF_InData / PF_OutData records, parameter arrays and host callbacks and suites. Tests, the
// command-line renderer and the benchmarks all reach the plug-in through this class, so it counts what
// the plug-in does and can make any host call fail on demand.
//
// Typical use:
//     HostSim host(module_path);
//     host.Start();                                   // register, GLOBAL_SETUP, PARAMS_SETUP
//     host.ChoosePreset("Heat Haze");                 // as the user: USER_CHANGED_PARAM, UPDATE_PARAMS_UI
//     double size = host.GetParam(PARAM_WAVE_SIZE);
//
// Parameter values are kept in the units people use: float sliders as the value, integer sliders, popups
// (1-based) and checkboxes as integers, angles in degrees. Times are in the host's time_scale units.
// Layers, pixel worlds, rendering and GPU devices extend this class the same way: their records travel
// as SendCommand's extra and output, their suites are offered through ProvideSuite.
// One HostSim drives one effect instance; its callbacks may be called only on the thread that sends the
// command (the suite functions find their host through that thread).
#pragma once

#include "AE_Effect.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectGPUSuites.h"
#include "AE_EffectSuites.h"
#include "AE_PluginData.h"
#include "ParamIndex.h"
#include "Render.h"
#include "SPBasic.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class LoadedModule;
class GpuDeviceHost;
struct GpuHostState;
class DrawingHost;

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
    // The drawing side of the header control (Drawbot.cpp, Drawbot.h).
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

// What the plug-in registered through PluginDataEntryFunction2.
struct Registration {
    int calls = 0;
    PF_PluginDataPtr data = nullptr;   // the opaque pointer handed back to the host
    std::string name, match_name, category, entry_point;
    A_long kind = 0, api_major = 0, api_minor = 0, reserved_info = 0;
    std::string support_url;
};

struct CheckoutRecord {
    int index;
    A_long what_time, time_step;
    A_u_long time_scale;
    PF_Err result;
};

struct UiUpdate {
    int index;
    PF_ParamDef def;   // as the plug-in passed it
};

struct Keyframe {
    A_long time;       // host time_scale units
    double value;
};

// What the host puts into every in_data.
struct HostSettings {
    static constexpr A_long APPL_ID_AFTER_EFFECTS = 0x46585443;   // 'FXTC'
    static constexpr A_long APPL_ID_PREMIERE = 0x50724D72;        // 'PrMr'

    A_long appl_id = APPL_ID_AFTER_EFFECTS;
    A_long width = 1920, height = 1080;   // layer size, full resolution
    A_long current_time = 0;
    A_long time_step = 1;
    A_long total_time = 300;
    A_u_long time_scale = 30;
    PF_RationalScale downsample_x{1, 1}, downsample_y{1, 1};
    A_long output_origin_x = 0, output_origin_y = 0;
};

class HostSim {
public:
    // Loads the module and finds its two exports; throws std::runtime_error when either fails.
    explicit HostSim(const std::string& module_path);
    ~HostSim();
    HostSim(const HostSim&) = delete;
    HostSim& operator=(const HostSim&) = delete;

    HostSettings& settings() { return settings_; }

    // ---- start-up ----
    // Registration, PF_Cmd_GLOBAL_SETUP and PF_Cmd_PARAMS_SETUP in the host's order; the first error.
    PF_Err Start();
    PF_Err Register();                             // with the host's recording callback
    PF_Err Register(PF_PluginDataCB2 callback);    // with any callback, null included
    const Registration& registration() const { return registration_; }
    PF_Err GlobalSetup() { return SendCommand(PF_Cmd_GLOBAL_SETUP); }
    PF_Err ParamsSetup() { return SendCommand(PF_Cmd_PARAMS_SETUP); }

    // ---- commands ----
    // Sends a command with a fresh in_data, the instance's out_data and the parameters at current_time.
    // After PF_Cmd_USER_CHANGED_PARAM the values flagged PF_ChangeFlag_CHANGED_VALUE are taken over.
    PF_Err SendCommand(PF_Cmd cmd, void* extra = nullptr, PF_LayerDef* output = nullptr);
    PF_Err SendUserChangedParam(int index);
    PF_Err SendUpdateParamsUI() { return SendCommand(PF_Cmd_UPDATE_PARAMS_UI); }
    // EffectMain with records of the caller's own (any of them null), for edge cases.
    PF_Err CallEffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                          PF_LayerDef* output, void* extra);
    // The instance's out_data, handed to every command and kept between them, as the host keeps it.
    PF_OutData& out_data() { return out_data_; }
    // The in_data the next command gets.
    PF_InData MakeInData();
    // The out flags reported by the last successful PF_Cmd_GLOBAL_SETUP.
    PF_OutFlags global_out_flags() const { return global_out_flags_; }

    // ---- parameters ----
    int ParamCount() const { return static_cast<int>(params_.size()); }
    // The definition as add_param received it (index 0 is the host's input layer); popup choices and
    // checkbox labels point into the host's own copies.
    const PF_ParamDef& RegisteredParam(int index) const;
    const std::string& RegisteredText(int index) const;
    PF_ParamUIFlags UiFlags(int index) const;      // as last set through PF_UpdateParamUI
    // Index by identifier ("PARAM_WAVE_SIZE", "WAVE_SIZE") or shown name ("Wave Size"); throws when none.
    static int ParamIndexOf(std::string_view name);

    double GetParam(int index) const { return GetParamAt(index, settings_.current_time); }
    double GetParam(std::string_view name) const { return GetParam(ParamIndexOf(name)); }
    double GetParamAt(int index, A_long time) const;
    // The full definition with its value at `time`, as checkout_param hands it out.
    PF_ParamDef ParamAt(int index, A_long time) const;
    // A constant value (keyframes dropped); no command is sent.
    void SetParam(int index, double value);
    void SetParam(std::string_view name, double value) { SetParam(ParamIndexOf(name), value); }
    // Animated value: linear between keyframes (popups and checkboxes hold), constant outside them.
    void SetKeyframes(int index, std::vector<Keyframe> keys);
    // As the user edits a control: the value at current_time changes, a supervised control gets
    // PF_Cmd_USER_CHANGED_PARAM, then PF_Cmd_UPDATE_PARAMS_UI follows when the effect asked for it.
    PF_Err ChangeParam(int index, double value);
    PF_Err ChoosePreset(int popup_value) { return ChangeParam(PRESET_INDEX, popup_value); }
    PF_Err ChoosePreset(std::string_view look);   // by its name in the menu; throws when none

    // ---- layers and rendering (Render.cpp, Render.h) ----
    // A layer of the image's size in the given depth; returns its id. row_padding bytes follow the
    // pixels of every row.
    int AddLayer(const FloatImage& image, PixelDepth depth, A_long row_padding = 0);
    void SetLayerPixels(int layer, const FloatImage& image);   // same size; stored in the layer's depth
    FloatImage LayerPixels(int layer) const;                   // as stored, read back as floats
    const PixelBuffer& Layer(int layer) const;
    // Points a layer parameter (the input or the Map Layer) at a layer or at NO_LAYER.
    void SetLayerParam(int index, int layer);
    void SetInputLayer(int layer) { SetLayerParam(PARAM_INPUT, layer); }
    void SetMapLayer(int layer) { SetLayerParam(PARAM_MAP_LAYER, layer); }
    // The smart road: PF_Cmd_SMART_PRE_RENDER, then the renderer's command unless the pre-render failed
    // or the request says not to, then the pre-render record freed through the plug-in's function.
    RenderResult RenderFrame(const RenderRequest& request = {});
    // The legacy road: PF_Cmd_RENDER with the layers in the parameter array.
    RenderResult RenderLegacy(const LegacyRequest& request = {});
    // The host's callback tables, for sending the smart commands by hand.
    static PF_PreRenderCallbacks PreRenderCallbacks();
    static PF_SmartRenderCallbacks SmartRenderCallbacks();
    // The checkout_layer calls of the frame last begun.
    const std::vector<LayerCheckout>& layer_checkouts() const { return render_.log; }
    int PreRenderDataFreed() const { return render_.pre_render_data_freed; }
    RenderState& render_state() { return render_; }
    // The host whose command runs on this thread (suite functions carry no context), or null.
    static HostSim* OnThisThread();

    // ---- GPU devices (GpuHost.cpp, GpuHost.h) ----
    // PF_Cmd_GPU_DEVICE_SETUP for one device of this framework, after setting down the one before. OpenCL
    // and CUDA open the machine's device first; when none opens no command is sent, PF_Err_NONE comes
    // back and GpuUnavailable() says why. Metal and DirectX get a device the simulator cannot drive.
    PF_Err SetUpGpuDevice(PF_GPU_Framework framework);
    // PF_Cmd_GPU_DEVICE_SETDOWN with the plug-in's record, then the device is closed. PF_Err_NONE when
    // there is no device.
    PF_Err SetDownGpuDevice();
    GpuDeviceHost* GpuDevice() const;        // the device set up, or null
    bool GpuAccepted() const;                // the plug-in gave a record and PF_OutFlag2_SUPPORTS_GPU_RENDER_F32
    void* GpuData() const;                   // the plug-in's record, or null
    const std::string& GpuUnavailable() const;

    // ---- failure injection ----
    void Inject(const Injection& injection);
    void ClearInjections() { injections_.clear(); }
    void AbortAfter(int calls);   // abort answers PF_Interrupt_CANCEL from call calls + 1 on
    // abort answers PF_Interrupt_CANCEL whenever `stop` returns true (a user's interrupt); empty: never.
    // Called on the thread that sends the command; keep it to reading a flag.
    void AbortWhen(std::function<bool()> stop) { abort_when_ = std::move(stop); }

    // ---- suites ----
    // Offers a suite table by name and version; the host's own suites are offered from the start.
    void ProvideSuite(const std::string& name, int version, const void* table);
    void WithdrawSuite(const std::string& name, int version);

    // ---- counters and logs ----
    int CallCount(HostCall call) const { return call_counts_[static_cast<int>(call)]; }
    int CommandCount(PF_Cmd cmd) const;
    int SuiteAcquired(std::string_view name, int version) const;   // successful acquisitions
    int SuiteReleased(std::string_view name, int version) const;
    int OutstandingSuites() const;      // acquisitions not released, over all suites
    int OutstandingCheckouts() const { return checked_out_; }
    const std::vector<CheckoutRecord>& checkouts() const { return checkouts_; }
    const std::vector<UiUpdate>& ui_updates() const { return ui_updates_; }
    const std::vector<PF_CustomUIInfo>& registered_ui() const { return registered_ui_; }
    void ClearLogs();

    // The host's callbacks and suite functions (HostSim.cpp), and those of rendering (Render.cpp).
    struct Callbacks;
    struct RenderCallbacks;
    struct GpuCallbacks;   // GpuHost.cpp
    struct DrawingCallbacks;   // Drawbot.cpp

    // ---- custom UI: header events and the drawing suites (Drawbot.h) ----
    DrawingHost& drawing() { return *drawing_; }

private:
    static constexpr int PRESET_INDEX = 2;

    // One parameter as the host keeps it.
    struct Slot {
        PF_ParamDef def;           // as registered; string pointers lead into `text`
        std::string text;          // popup choices or checkbox label
        PF_ParamUIFlags ui_flags;  // as currently shown
        double value;              // constant value, when `keys` is empty
        std::vector<Keyframe> keys;
    };

    // Decides an injected failure for one call; counts the call. Throws when the injection says so.
    bool Injected(HostCall call, PF_Err& error, int param_index = -1, std::string_view suite = {},
                  bool* null_suite = nullptr);
    void ResetParams();
    const Slot& SlotAt(int index) const;
    PF_ParamDef ParamAtTime(int index, double time) const;
    void SetValueAtCurrentTime(int index, double value);
    // A layer parameter's definition gets the world of the layer it points at (Render.cpp).
    void FillLayerParam(int index, PF_ParamDef& def) const;
    static const PF_WorldSuite2* WorldSuite();
    // The GPU side (GpuHost.cpp): offered at construction, its device set down at destruction.
    void StartGpuHost();
    void StopGpuHost() noexcept;
    // Whether a frame of this request goes to the GPU device (setting one up when asked for); the reason
    // when not goes to result.gpu_note.
    bool PrepareGpuFrame(const RenderRequest& request, RenderResult& result);
    // The GPU frame's worlds, handed out as checkout_layer_pixels and checkout_output give them.
    PF_EffectWorld* HandOutGpuLayer(const PixelBuffer& layer, const PF_LRect& rect, int param_index);
    PF_EffectWorld* HandOutGpuOutput(const PF_LRect& rect);
    // PF_Cmd_SMART_RENDER_GPU, timed, and the output read back into the result.
    PF_Err SendGpuRender(const PF_PreRenderInput& pre_render, void* pre_render_data, const RenderRequest& request,
                         RenderResult& result);
    static const PF_GPUDeviceSuite1* GpuDeviceSuite();

    std::unique_ptr<LoadedModule> module_;
    PF_Err (*effect_main_)(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) = nullptr;
    PF_Err (*entry_)(PF_PluginDataPtr, PF_PluginDataCB2, SPBasicSuite*, const char*, const char*) = nullptr;

    SPBasicSuite basic_suite_{};
    PF_ParamUtilsSuite3 param_utils_suite_{};
    HostSettings settings_;
    Registration registration_;
    PF_OutData out_data_{};
    PF_OutFlags global_out_flags_ = 0;
    std::deque<Slot> params_;   // a deque: slots never move, so pointers into `text` stay valid

    struct Armed {
        Injection injection;
        int seen = 0;
        int fired = 0;
    };
    std::vector<Armed> injections_;
    std::function<bool()> abort_when_;
    std::array<int, static_cast<int>(HostCall::Count)> call_counts_{};
    std::map<PF_Cmd, int> command_counts_;
    std::map<std::pair<std::string, int>, const void*> suites_;
    std::map<std::pair<std::string, int>, std::pair<int, int>> suite_counts_;   // acquired, released
    int checked_out_ = 0;
    std::vector<CheckoutRecord> checkouts_;
    std::vector<UiUpdate> ui_updates_;
    std::vector<PF_CustomUIInfo> registered_ui_;
    RenderState render_;
    std::unique_ptr<GpuHostState> gpu_;
    std::unique_ptr<DrawingHost> drawing_;   // last: destroyed first, it points into this host
};
