// The simulated host's GPU side: one GPU device per effect instance, on the machine's OpenCL runtime or
// CUDA driver (both reached at run time, as the plug-in reaches them), with the device memory behind GPU
// worlds in PF_PixelFormat_GPU_BGRA128, and "PF GPU Device Suite" 1. HostSim's GPU methods (GpuHost.cpp)
// send the device commands and the GPU render with it.
//
// Stand-in runtimes for fault tests: LoadStandInRuntime puts a library of our own named like the runtime
// (libOpenCL.so.1, libcuda.so.1) into the process before the plug-in looks, so the plug-in takes it for
// the runtime already loaded. An OpenCL stand-in forwards to the real runtime and names it through its
// export `qf_fake_target` (a library handle); the host then drives its own calls through the real one, so
// only the plug-in's calls pass the stand-in. A CUDA stand-in is the whole driver for the host too.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectGPUSuites.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

struct FloatImage;

enum class GpuKind { OpenCL, Cuda };

const char* GpuKindName(GpuKind kind);   // "OpenCL", "CUDA"

// Loads the library at `path` for the process, for good, as the runtime of this kind. Must come before
// any runtime of this kind is loaded in the process (throws std::runtime_error otherwise, or when the
// library cannot be loaded). Loading the same path again does nothing. Linux only.
void LoadStandInRuntime(GpuKind kind, const std::string& path);
// An export of the stand-in loaded for this kind, or null (none loaded, or no such export).
void* StandInSymbol(GpuKind kind, const char* name);

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

// What a HostSim keeps about its GPU device and the GPU frame in flight.
struct GpuHostState {
    std::unique_ptr<GpuDeviceHost> device;   // the device set up last, until its set-down
    void* data = nullptr;                    // the plug-in's record for it
    bool accepted = false;                   // a record and PF_OutFlag2_SUPPORTS_GPU_RENDER_F32 came back
    std::string unavailable;                 // why the last device asked for did not open

    // The GPU frame in flight: its worlds, by the world records handed to the plug-in, and the layer
    // parameter each came from (-1 for the output).
    bool frame_on_gpu = false;
    A_long row_padding = 0;                  // bytes past every row of the frame's GPU worlds
    std::deque<std::unique_ptr<GpuWorld>> worlds;
    std::map<const PF_EffectWorld*, std::pair<GpuWorld*, int>> handed_out;

    void EndFrame()
    {
        handed_out.clear();
        worlds.clear();
        frame_on_gpu = false;
    }
};
