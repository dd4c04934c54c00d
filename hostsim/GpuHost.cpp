// The host's GPU side: device set-up and set-down, "PF GPU Device Suite" 1, and the GPU frame's worlds.
#include "GpuHost.h"

#include "EffectModule.h"
#include "Faults.h"
#include "Instance.h"
#include "Pixels.h"
#include "Suites.h"

#include <algorithm>

// ---- "PF GPU Device Suite" 1 ----

struct GpuHost::Callbacks {
    static GpuHost* From(PF_ProgPtr effect_ref);
    static PF_Err GetDeviceInfo(PF_ProgPtr effect_ref, A_u_long device_index, PF_GPUDeviceInfo* info);

    // Worlds this host did not hand out in the current GPU frame are unknown to it.
    static PF_Err GetGPUWorldData(PF_ProgPtr effect_ref, PF_EffectWorld* world, void** data);

    // The rest of the suite is not offered by this host.
    static PF_Err Refuse(PF_ProgPtr);
    static PF_Err GetDeviceCount(PF_ProgPtr effect_ref, A_u_long* count);
    static PF_Err DeviceAccess(PF_ProgPtr, A_u_long);
    static PF_Err AllocateDeviceMemory(PF_ProgPtr, A_u_long, size_t, void**);
    static PF_Err FreeDeviceMemory(PF_ProgPtr, A_u_long, void*);
    static PF_Err PurgeDeviceMemory(PF_ProgPtr, A_u_long, size_t, size_t*);
    static PF_Err AllocateHostMemory(PF_ProgPtr, A_u_long, size_t, void**);
    static PF_Err FreeHostMemory(PF_ProgPtr, A_u_long, void*);
    static PF_Err PurgeHostMemory(PF_ProgPtr, A_u_long, size_t, size_t*);
    static PF_Err CreateGPUWorld(PF_ProgPtr, A_u_long, A_long, A_long, PF_RationalScale, PF_Field, PF_PixelFormat,
                                 PF_Boolean, PF_EffectWorld**);
    static PF_Err DisposeGPUWorld(PF_ProgPtr, PF_EffectWorld*);
    static PF_Err GetGPUWorldSize(PF_ProgPtr effect_ref, PF_EffectWorld* world, size_t* bytes);
    static PF_Err GetGPUWorldDeviceIndex(PF_ProgPtr effect_ref, PF_EffectWorld* world, A_u_long* index);
};

GpuHost* GpuHost::Callbacks::From(PF_ProgPtr effect_ref)
{
    const EffectInstance* instance = EffectInstance::From(effect_ref);
    return instance ? instance->gpu : nullptr;
}

PF_Err GpuHost::Callbacks::GetDeviceInfo(PF_ProgPtr effect_ref, A_u_long device_index, PF_GPUDeviceInfo* info)
{
    GpuHost* host = From(effect_ref);
    if (!host) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PF_Err err = PF_Err_NONE;
    if (host->faults_.Injected(HostCall::GetDeviceInfo, err)) {
        return err;
    }
    if (!info || device_index != 0 || !host->device_) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *info = host->device_->Info();
    return PF_Err_NONE;
}

PF_Err GpuHost::Callbacks::GetGPUWorldData(PF_ProgPtr effect_ref, PF_EffectWorld* world, void** data)
{
    GpuHost* host = From(effect_ref);
    if (!host) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const auto found = host->handed_out_.find(world);
    const int param_index = found == host->handed_out_.end() ? -1 : found->second.second;
    PF_Err err = PF_Err_NONE;
    if (host->faults_.Injected(HostCall::GetGPUWorldData, err, param_index)) {
        return err;
    }
    if (!data || found == host->handed_out_.end()) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *data = found->second.first->buffer();
    return PF_Err_NONE;
}

PF_Err GpuHost::Callbacks::Refuse(PF_ProgPtr)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

PF_Err GpuHost::Callbacks::GetDeviceCount(PF_ProgPtr effect_ref, A_u_long* count)
{
    GpuHost* host = From(effect_ref);
    if (!host || !count) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *count = host->device_ ? 1 : 0;
    return PF_Err_NONE;
}

PF_Err GpuHost::Callbacks::DeviceAccess(PF_ProgPtr, A_u_long)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

PF_Err GpuHost::Callbacks::AllocateDeviceMemory(PF_ProgPtr, A_u_long, size_t, void**)
{
    return PF_Err_OUT_OF_MEMORY;
}

PF_Err GpuHost::Callbacks::FreeDeviceMemory(PF_ProgPtr, A_u_long, void*)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

PF_Err GpuHost::Callbacks::PurgeDeviceMemory(PF_ProgPtr, A_u_long, size_t, size_t*)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

PF_Err GpuHost::Callbacks::AllocateHostMemory(PF_ProgPtr, A_u_long, size_t, void**)
{
    return PF_Err_OUT_OF_MEMORY;
}

PF_Err GpuHost::Callbacks::FreeHostMemory(PF_ProgPtr, A_u_long, void*)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

PF_Err GpuHost::Callbacks::PurgeHostMemory(PF_ProgPtr, A_u_long, size_t, size_t*)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

PF_Err GpuHost::Callbacks::CreateGPUWorld(PF_ProgPtr, A_u_long, A_long, A_long, PF_RationalScale, PF_Field,
                                          PF_PixelFormat, PF_Boolean, PF_EffectWorld**)
{
    return PF_Err_OUT_OF_MEMORY;
}

PF_Err GpuHost::Callbacks::DisposeGPUWorld(PF_ProgPtr, PF_EffectWorld*)
{
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

PF_Err GpuHost::Callbacks::GetGPUWorldSize(PF_ProgPtr effect_ref, PF_EffectWorld* world, size_t* bytes)
{
    GpuHost* host = From(effect_ref);
    const auto found = host ? host->handed_out_.find(world) : decltype(host->handed_out_.end()){};
    if (!host || !bytes || found == host->handed_out_.end()) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *bytes = found->second.first->bytes();
    return PF_Err_NONE;
}

PF_Err GpuHost::Callbacks::GetGPUWorldDeviceIndex(PF_ProgPtr effect_ref, PF_EffectWorld* world, A_u_long* index)
{
    GpuHost* host = From(effect_ref);
    if (!host || !index || !host->handed_out_.count(world)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *index = 0;
    return PF_Err_NONE;
}

GpuHost::GpuHost(EffectModule& module, FaultInjector& faults, SuiteTable& suites) : module_(module), faults_(faults)
{
    suite_ = PF_GPUDeviceSuite1{
        Callbacks::GetDeviceCount,     Callbacks::GetDeviceInfo,        Callbacks::DeviceAccess,
        Callbacks::DeviceAccess,       Callbacks::AllocateDeviceMemory, Callbacks::FreeDeviceMemory,
        Callbacks::PurgeDeviceMemory,  Callbacks::AllocateHostMemory,   Callbacks::FreeHostMemory,
        Callbacks::PurgeHostMemory,    Callbacks::CreateGPUWorld,       Callbacks::DisposeGPUWorld,
        Callbacks::GetGPUWorldData,    Callbacks::GetGPUWorldSize,      Callbacks::GetGPUWorldDeviceIndex};
    suites.Provide(kPFGPUDeviceSuite, kPFGPUDeviceSuiteVersion1, &suite_);
}

GpuHost::~GpuHost()
{
    try {
        SetDown();
    } catch (...) {
        // Closing must not throw out of the destructor; the device's own resources are released anyway.
    }
}

// ---- devices ----

PF_Err GpuHost::SetUp(PF_GPU_Framework framework)
{
    if (const PF_Err err = SetDown()) {
        return err;
    }
    unavailable_.clear();
    if (framework == PF_GPU_Framework_OPENCL || framework == PF_GPU_Framework_CUDA) {
        const GpuKind kind = framework == PF_GPU_Framework_OPENCL ? GpuKind::OpenCL : GpuKind::Cuda;
        device_ = GpuDeviceHost::Open(kind, unavailable_);
        if (!device_) {
            return PF_Err_NONE;
        }
    } else {
        device_ = GpuDeviceHost::Foreign(framework);
    }
    // The command has an out_data of its own: its flags speak for this device only.
    PF_GPUDeviceSetupInput input{framework, 0};
    PF_GPUDeviceSetupOutput output{};
    PF_GPUDeviceSetupExtra extra{&input, &output};
    PF_InData in_data = module_.MakeInData();
    PF_OutData out_data = module_.out_data();
    const PF_Err err = module_.CallEffectMain(PF_Cmd_GPU_DEVICE_SETUP, &in_data, &out_data, nullptr, nullptr, &extra);
    data_ = output.gpu_data;
    accepted_ = err == PF_Err_NONE && output.gpu_data && (out_data.out_flags2 & PF_OutFlag2_SUPPORTS_GPU_RENDER_F32);
    return err;
}

PF_Err GpuHost::SetDown()
{
    EndFrame();   // the frame's worlds live in the device's memory
    if (!device_) {
        return PF_Err_NONE;
    }
    PF_Err err = PF_Err_NONE;
    if (data_) {
        PF_GPUDeviceSetdownInput input{data_, device_->framework(), 0};
        PF_GPUDeviceSetdownExtra extra{&input};
        PF_InData in_data = module_.MakeInData();
        PF_OutData out_data = module_.out_data();
        err = module_.CallEffectMain(PF_Cmd_GPU_DEVICE_SETDOWN, &in_data, &out_data, nullptr, nullptr, &extra);
    }
    data_ = nullptr;
    accepted_ = false;
    device_.reset();
    return err;
}

bool GpuHost::Use(PF_GPU_Framework framework, std::string& note)
{
    if (!device_ || device_->framework() != framework) {
        if (const PF_Err err = SetUp(framework)) {
            note = "PF_Cmd_GPU_DEVICE_SETUP returned " + std::to_string(err);
            return false;
        }
    }
    if (!device_) {
        note = unavailable_;
        return false;
    }
    if (!accepted_) {
        note = std::string("the effect declined the ") + (framework == PF_GPU_Framework_OPENCL ? "OpenCL" : "CUDA") +
               " device";
        return false;
    }
    return true;
}

// ---- the GPU frame ----

void GpuHost::BeginFrame(A_long row_padding)
{
    row_padding_ = row_padding;
}

void GpuHost::EndFrame()
{
    handed_out_.clear();
    worlds_.clear();
    frame_on_gpu_ = false;
}

GpuWorld& GpuHost::NewLayerWorld(const PixelBuffer& layer, const PF_LRect& rect)
{
    const A_long left = std::max<A_long>(rect.left, 0);
    const A_long top = std::max<A_long>(rect.top, 0);
    const A_long right = std::min(rect.right, layer.width());
    const A_long bottom = std::min(rect.bottom, layer.height());
    // The host converts the layer to float BGRA on the device, as it does for any GPU frame.
    FloatImage pixels;
    if (right > left && bottom > top) {
        pixels = layer.Load().Crop(left, top, right - left, bottom - top);
    }
    GpuWorld& world = *worlds_.emplace_back(std::make_unique<GpuWorld>(*device_, pixels, row_padding_));
    world.world().origin_x = left;
    world.world().origin_y = top;
    return world;
}

GpuWorld& GpuHost::NewOutputWorld(const PF_LRect& rect)
{
    const bool empty = !(rect.right > rect.left && rect.bottom > rect.top);
    const A_long width = empty ? 0 : rect.right - rect.left;
    const A_long height = empty ? 0 : rect.bottom - rect.top;
    // Fresh device memory holds no particular picture: bytes 0xCD, as in the host's CPU worlds.
    GpuWorld& world = *worlds_.emplace_back(std::make_unique<GpuWorld>(*device_, width, height, row_padding_, 0xCD));
    if (!empty) {
        world.world().origin_x = rect.left;
        world.world().origin_y = rect.top;
    }
    return world;
}

void GpuHost::Track(const PF_EffectWorld* handed, GpuWorld& world, int param_index)
{
    handed_out_[handed] = {&world, param_index};
}

GpuWorld* GpuHost::Tracked(const PF_EffectWorld* handed) const
{
    const auto found = handed_out_.find(handed);
    return found == handed_out_.end() ? nullptr : found->second.first;
}
