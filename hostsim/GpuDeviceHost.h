// The GPU devices the host opens on the machine's runtimes (GpuRuntime.h), and GPU worlds: device memory
// in PF_PixelFormat_GPU_BGRA128 behind the world records handed to the plug-in.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"
#include "GpuRuntime.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

struct FloatImage;

// One GPU device as the host keeps it: its context and queue (OpenCL) or context and stream (CUDA),
// handed to the plug-in through "PF GPU Device Suite" 1, and the device memory of its GPU worlds.
class GpuDeviceHost {
public:
    // The machine's device of this kind (OpenCL: the first GPU device, else the first device of any type;
    // CUDA: device 0), or null with the reason in `why`.
    static std::unique_ptr<GpuDeviceHost> Open(GpuKind kind, std::string& why);
    // A device of a framework this simulator does not drive (Metal, DirectX): it has handles for
    // GetDeviceInfo and nothing else.
    static std::unique_ptr<GpuDeviceHost> Foreign(PF_GPU_Framework framework);

    virtual ~GpuDeviceHost() = default;
    GpuDeviceHost(const GpuDeviceHost&) = delete;
    GpuDeviceHost& operator=(const GpuDeviceHost&) = delete;

    PF_GPU_Framework framework() const { return framework_; }
    const std::string& name() const { return name_; }
    // What GetDeviceInfo reports.
    virtual PF_GPUDeviceInfo Info() const = 0;

    // Device memory: a cl_mem, or a CUdeviceptr carried as a pointer. Every call throws
    // std::runtime_error with the runtime's status on failure.
    virtual void* Allocate(std::size_t bytes) = 0;
    virtual void Free(void* buffer) = 0;   // never throws
    virtual void Write(void* buffer, const void* host, std::size_t bytes) = 0;   // blocking
    virtual void Read(void* buffer, void* host, std::size_t bytes) = 0;          // blocking
    // Waits until the queue or stream has done everything given to it.
    virtual void Finish() = 0;
    // Runs `work` (which queues device work) and returns the milliseconds the device spent from before
    // to after it: CUDA events on the stream; elsewhere the host's clock around work and Finish.
    virtual double TimeOnDevice(const std::function<void()>& work);

protected:
    GpuDeviceHost(PF_GPU_Framework framework, std::string name) : framework_(framework), name_(std::move(name)) {}

private:
    PF_GPU_Framework framework_;
    std::string name_;
};

// A GPU world: the record handed to the plug-in and the device buffer behind it, freed with the world.
// Pixels are 4 floats, B, G, R, A, straight alpha, rows `rowbytes` apart.
class GpuWorld {
public:
    // A world of the image's size whose rows carry `row_padding` extra bytes (a multiple of 16), holding
    // the image; padding bytes hold 0xCD.
    GpuWorld(GpuDeviceHost& device, const FloatImage& image, A_long row_padding);
    // A world of width x height whose every byte holds `fill`.
    GpuWorld(GpuDeviceHost& device, A_long width, A_long height, A_long row_padding, unsigned char fill);
    ~GpuWorld();
    GpuWorld(const GpuWorld&) = delete;
    GpuWorld& operator=(const GpuWorld&) = delete;

    PF_EffectWorld& world() { return world_; }
    void* buffer() const { return buffer_; }
    std::size_t bytes() const { return bytes_; }
    // The pixels, read back after the device has finished.
    FloatImage Read() const;

private:
    void Init(A_long width, A_long height, A_long row_padding);

    GpuDeviceHost& device_;
    PF_EffectWorld world_{};
    void* buffer_ = nullptr;
    std::size_t bytes_ = 0;
};
