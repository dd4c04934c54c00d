// GPU frame render: the kernel launched over the output in bands directly on the host's GPU worlds,
// and, when that fails, the same frame redone on the CPU and copied back into the GPU output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "GpuDevice.h"
#include "WarpTypes.h"

// Output pixels per launch band, about; a band never has fewer than GPU_MIN_BAND_ROWS rows.
inline constexpr std::uint32_t GPU_BAND_PIXELS = 1048576;
inline constexpr std::int32_t GPU_MIN_BAND_ROWS = 16;
// Bytes per pixel of a GPU world (4 floats, B, G, R, A); a world's pitch in pixels is rowbytes / this.
inline constexpr std::int32_t GPU_PIXEL_BYTES = 16;
// Threads per CUDA block side: blocks of 16 x 16, the entry's maximum of 256.
inline constexpr unsigned CUDA_BLOCK_SIDE = 16;

// One launch: output rows y0 to y0 + h - 1.
struct GpuBand {
    std::int32_t y0;
    std::int32_t h;
};

// Rows per band for an output out_w pixels wide: GPU_BAND_PIXELS / max(out_w, 1), at least
// GPU_MIN_BAND_ROWS.
std::int32_t GpuBandRows(std::int32_t out_w);

// The bands covering rows 0 to out_h - 1, top first; none when out_h is below 1.
std::vector<GpuBand> GpuBands(std::int32_t out_w, std::int32_t out_h);

// NDRange of one OpenCL band launch. With a work-group size the global size is rounded up to whole
// work-groups (the surplus items return at once); without one it is exactly (out_w, band_h) and the
// runtime picks the local size.
struct OpenCLWorkSize {
    std::size_t global[2];
    std::size_t local[2];
    bool has_local;
};
OpenCLWorkSize OpenCLBandWorkSize(std::int32_t out_w, std::int32_t band_h, const GpuDeviceData& record);

// Grid and block of one CUDA band launch: blocks of 16 x 16 covering out_w x band_h.
struct CudaLaunchShape {
    unsigned grid[3];
    unsigned block[3];
};
CudaLaunchShape CudaBandShape(std::int32_t out_w, std::int32_t band_h);

// Launches the kernel over the whole output, band by band, on the host's queue (cl_command_queue) or
// stream (CUstream). src, dst and map are the worlds' device buffers (cl_mem or CUdeviceptr); map is
// null without a strength map. The frame is taken by value: each band changes only band_y0 and band_h
// of this copy. Does not wait for the kernels. False with one message in *error (when not null) on
// failure; some bands may have run by then.
bool LaunchGpuFrame(GpuDeviceData* record, void* queue, void* src, void* dst, void* map, QF_Frame frame,
                    std::string* error);

// Blocking copies between a device buffer and host memory, in the queue's or stream's order. False on
// failure, with a message in *error when the runtime reported a status.
bool DownloadFromGpu(GpuDeviceData* record, void* queue, void* buffer, std::size_t bytes, void* host,
                     std::string* error);
bool UploadToGpu(GpuDeviceData* record, void* queue, void* buffer, std::size_t bytes, const void* host,
                 std::string* error);

// One of a frame's GPU worlds: its device buffer (cl_mem or CUdeviceptr, null for none) and the shape of
// its rows, 4 floats a pixel (B, G, R, A).
struct GpuBuffer {
    void* device = nullptr;
    std::int32_t width = 0;          // pixels
    std::int32_t height = 0;
    std::int64_t row_bytes = 0;      // from one row to the next
};

// Whether every row holds the buffer's width in pixels: a shorter or negative row stride would make the
// kernel and the host copies reach past the world's memory.
bool RowsHoldWidth(const GpuBuffer& buffer);

// The frame's row pitch of a GPU world, in pixels: row_bytes / GPU_PIXEL_BYTES.
std::int32_t GpuPitch(const GpuBuffer& buffer);

enum class GpuFrameResult {
    OnGpu,          // the kernel ran over the whole output
    RedoneOnCpu,    // a launch failed (logged); the frame was rendered on the CPU and copied into the output
    CopyFailed,     // a launch failed, and copying the input down or the output up failed too
};

// Renders `frame` (made for these buffers, GpuPitch pitches) into output on the record's device: the
// kernel in bands, or, when that fails, the CPU redo. Each outcome is counted in the process's GPU
// back-off (GpuBackoff.h). map.device is null without a strength map.
GpuFrameResult RenderGpuFrame(GpuDeviceData& record, void* queue, const GpuBuffer& input, const GpuBuffer& output,
                              const GpuBuffer& map, const QF_Frame& frame);

// Writes transparent black into the whole output world, as the CPU render leaves it without an input.
void ClearGpuOutput(GpuDeviceData& record, void* queue, const GpuBuffer& output);
