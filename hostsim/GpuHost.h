// The host's GPU side for one effect instance: one GPU device at a time, set up and set down with the
// plug-in's PF_Cmd_GPU_DEVICE_SETUP and _SETDOWN, "PF GPU Device Suite" 1, and the GPU worlds of the frame
// in flight, which the render roads (Render.h) hand out.
#pragma once

#include "AE_Effect.h"
#include "GpuDeviceHost.h"

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>

class EffectModule;
class FaultInjector;
class PixelBuffer;
class SuiteTable;

class GpuHost {
public:
    // Offers "PF GPU Device Suite" 1 on `suites`.
    GpuHost(EffectModule& module, FaultInjector& faults, SuiteTable& suites);
    // A host retires its GPU device while the plug-in is still loaded.
    ~GpuHost();
    GpuHost(const GpuHost&) = delete;
    GpuHost& operator=(const GpuHost&) = delete;

    // PF_Cmd_GPU_DEVICE_SETUP for one device of this framework, after setting down the one before. OpenCL
    // and CUDA open the machine's device first; when none opens no command is sent, PF_Err_NONE comes
    // back and Unavailable() says why. Metal and DirectX get a device the simulator cannot drive.
    PF_Err SetUp(PF_GPU_Framework framework);
    // PF_Cmd_GPU_DEVICE_SETDOWN with the plug-in's record, then the device is closed. PF_Err_NONE when
    // there is no device.
    PF_Err SetDown();
    GpuDeviceHost* Device() const { return device_.get(); }   // the device set up, or null
    bool Accepted() const { return accepted_; }   // the plug-in gave a record and PF_OutFlag2_SUPPORTS_GPU_RENDER_F32
    void* Data() const { return data_; }          // the plug-in's record, or null
    const std::string& Unavailable() const { return unavailable_; }
    // Whether a device of this framework is set up and accepted, setting one up when needed; `note` says
    // why not.
    bool Use(PF_GPU_Framework framework, std::string& note);

    // ---- the GPU frame in flight ----
    // While a frame is on the GPU, the layers and the output it checks out are GPU worlds.
    void BeginFrame(A_long row_padding);   // bytes past every row of the frame's worlds (a multiple of 16)
    void EndFrame();                       // frees the frame's worlds
    bool frame_on_gpu() const { return frame_on_gpu_; }
    void set_frame_on_gpu(bool on) { frame_on_gpu_ = on; }
    // A world holding the layer's part inside `rect` (clipped to it) as floats, its origin there.
    GpuWorld& NewLayerWorld(const PixelBuffer& layer, const PF_LRect& rect);
    // A fresh output world covering `rect`: device memory holds no particular picture, bytes 0xCD.
    GpuWorld& NewOutputWorld(const PF_LRect& rect);
    // The world record handed out for `world`, and the layer parameter it came from (-1: the output).
    void Track(const PF_EffectWorld* handed, GpuWorld& world, int param_index);
    GpuWorld* Tracked(const PF_EffectWorld* handed) const;

private:
    struct Callbacks;

    EffectModule& module_;
    FaultInjector& faults_;
    PF_GPUDeviceSuite1 suite_{};
    std::unique_ptr<GpuDeviceHost> device_;   // the device set up last, until its set-down
    void* data_ = nullptr;                    // the plug-in's record for it
    bool accepted_ = false;
    std::string unavailable_;                 // why the last device asked for did not open

    bool frame_on_gpu_ = false;
    A_long row_padding_ = 0;
    std::deque<std::unique_ptr<GpuWorld>> worlds_;
    std::map<const PF_EffectWorld*, std::pair<GpuWorld*, int>> handed_out_;
};
