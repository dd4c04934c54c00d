// GPU frame render: band launches on OpenCL and CUDA, the blocking copies and the CPU redo of a failed
// frame, and the back-off bookkeeping.
#include "GpuRender.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "CudaContextScope.h"
#include "GpuBackoff.h"
#include "GpuLoader.h"
#include "LogFile.h"
#include "PixelConversion.h"
#include "RenderBandCPU.h"

namespace {

void SetError(std::string* error, const std::string& text)
{
    if (error) {
        *error = text;
    }
}

std::string WithStatus(const char* prefix, long status)
{
    return std::string(prefix) + std::to_string(status);
}

// Device buffers travel as the host's untyped pointers; on CUDA the pointer's value is the address.
CUdeviceptr DeviceAddress(void* buffer)
{
    return static_cast<CUdeviceptr>(reinterpret_cast<std::uintptr_t>(buffer));
}

std::size_t RoundUp(std::size_t value, std::size_t step)
{
    return step == 0 ? value : (value + step - 1) / step * step;
}

bool LaunchOpenCL(GpuDeviceData& record, cl_command_queue queue, cl_mem src, cl_mem dst, cl_mem map, QF_Frame& frame,
                  std::string* error)
{
    LoadOpenCL();
    const OpenCLApi& cl = OpenCLTable();
    if (!cl.available || !record.opencl_kernel) {
        SetError(error, "OpenCL not ready");
        return false;
    }
    const cl_kernel kernel = record.opencl_kernel;
    const std::lock_guard<std::mutex> lock(record.launch_lock);
    for (const GpuBand& band : GpuBands(frame.out_w, frame.out_h)) {
        frame.band_y0 = band.y0;
        frame.band_h = band.h;
        // The band's own copy of the record: the queued kernel keeps the buffer alive after its release.
        cl_int status = CL_SUCCESS;
        cl_mem frame_buffer = cl.clCreateBuffer(record.opencl_context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR,
                                                sizeof(QF_Frame), &frame, &status);
        if (!frame_buffer || status != CL_SUCCESS) {
            if (frame_buffer) {
                cl.clReleaseMemObject(frame_buffer);
            }
            SetError(error, WithStatus("clCreateBuffer failed: ", status));
            return false;
        }
        status = cl.clSetKernelArg(kernel, 0, sizeof(cl_mem), &src);
        if (status == CL_SUCCESS) {
            status = cl.clSetKernelArg(kernel, 1, sizeof(cl_mem), &dst);
        }
        if (status == CL_SUCCESS) {
            status = cl.clSetKernelArg(kernel, 2, sizeof(cl_mem), map ? &map : nullptr);
        }
        if (status == CL_SUCCESS) {
            status = cl.clSetKernelArg(kernel, 3, sizeof(cl_mem), &frame_buffer);
        }
        if (status == CL_SUCCESS) {
            const OpenCLWorkSize size = OpenCLBandWorkSize(frame.out_w, band.h, record);
            status = cl.clEnqueueNDRangeKernel(queue, kernel, 2, nullptr, size.global,
                                               size.has_local ? size.local : nullptr, 0, nullptr, nullptr);
        }
        cl.clReleaseMemObject(frame_buffer);
        if (status != CL_SUCCESS) {
            SetError(error, WithStatus("OpenCL launch failed: ", status));
            return false;
        }
    }
    // Hands the kernels to the device; the host orders its later work on the same queue after them.
    cl.clFlush(queue);
    return true;
}

bool LaunchCuda(GpuDeviceData& record, CUstream stream, void* src, void* dst, void* map, QF_Frame& frame,
                std::string* error)
{
    LoadCuda();
    const CudaApi& cu = CudaTable();
    if (!cu.available || !record.cuda_function) {
        SetError(error, "CUDA not ready");
        return false;
    }
    const CudaContextScope context(cu, record.cuda_context);
    if (!context.pushed()) {
        SetError(error, "cuCtxPushCurrent failed");
        return false;
    }
    CUdeviceptr src_address = DeviceAddress(src);
    CUdeviceptr dst_address = DeviceAddress(dst);
    CUdeviceptr map_address = DeviceAddress(map);
    // The frame record travels by value: the driver copies the parameters at each launch.
    void* params[4] = {&src_address, &dst_address, &map_address, &frame};
    CUresult result = CUDA_SUCCESS;
    for (const GpuBand& band : GpuBands(frame.out_w, frame.out_h)) {
        frame.band_y0 = band.y0;
        frame.band_h = band.h;
        const CudaLaunchShape shape = CudaBandShape(frame.out_w, band.h);
        result = cu.cuLaunchKernel(record.cuda_function, shape.grid[0], shape.grid[1], shape.grid[2], shape.block[0],
                                   shape.block[1], shape.block[2], 0, stream, params, nullptr);
        if (result != CUDA_SUCCESS) {
            break;
        }
    }
    if (result != CUDA_SUCCESS) {
        SetError(error, WithStatus("CUDA launch failed: ", result));
        return false;
    }
    return true;
}

enum class CopyDirection { Download, Upload };

bool CopyWithGpu(CopyDirection direction, GpuDeviceData* record, void* queue, void* buffer, std::size_t bytes,
                 void* host, std::string* error)
{
    if (!record || !buffer || !host) {
        return false;
    }
    const bool download = direction == CopyDirection::Download;
    if (record->framework == GpuFramework::OpenCL) {
        LoadOpenCL();
        const OpenCLApi& cl = OpenCLTable();
        cl_int status = -1;
        if (cl.available) {
            const auto cl_queue = static_cast<cl_command_queue>(queue);
            const auto cl_buffer = static_cast<cl_mem>(buffer);
            status = download
                         ? cl.clEnqueueReadBuffer(cl_queue, cl_buffer, CL_TRUE, 0, bytes, host, 0, nullptr, nullptr)
                         : cl.clEnqueueWriteBuffer(cl_queue, cl_buffer, CL_TRUE, 0, bytes, host, 0, nullptr, nullptr);
        }
        if (status != CL_SUCCESS) {
            SetError(error, WithStatus(download ? "clEnqueueReadBuffer failed: " : "clEnqueueWriteBuffer failed: ",
                                       status));
            return false;
        }
        return true;
    }
    LoadCuda();
    const CudaApi& cu = CudaTable();
    if (!cu.available) {
        return false;
    }
    CUresult result = CUDA_SUCCESS;
    {
        const CudaContextScope context(cu, record->cuda_context);
        if (!context.pushed()) {
            return false;
        }
        const auto stream = static_cast<CUstream>(queue);
        result = download ? cu.cuMemcpyDtoHAsync_v2(host, DeviceAddress(buffer), bytes, stream)
                          : cu.cuMemcpyHtoDAsync_v2(DeviceAddress(buffer), host, bytes, stream);
        if (result == CUDA_SUCCESS) {
            result = cu.cuStreamSynchronize(stream);
        }
    }
    if (result != CUDA_SUCCESS) {
        SetError(error, WithStatus(download ? "CUDA download failed: " : "CUDA upload failed: ", result));
        return false;
    }
    return true;
}

// Floats in the host copy of a GPU world: the device buffer's rows, byte for byte.
std::size_t HostCopyFloats(const GpuBuffer& buffer)
{
    return static_cast<std::size_t>(buffer.row_bytes / 4) *
           static_cast<std::size_t>(std::max<std::int32_t>(buffer.height, 0));
}

// The frame of a failed launch, rendered by the band renderer from host copies of the device buffers
// and copied into the output world.
GpuFrameResult RedoOnCpu(GpuDeviceData& record, void* queue, const GpuBuffer& input_world,
                         const GpuBuffer& output_world, const GpuBuffer& map_world, QF_Frame frame,
                         const std::string& launch_error)
{
    LogMessage("GPU render failed (%s), frame redone on the CPU", launch_error.c_str());
    std::vector<float> input(HostCopyFloats(input_world), 0.0f);
    std::vector<float> output(HostCopyFloats(output_world), 0.0f);
    std::string copy_error;   // not logged: the render failure above says what went wrong first
    if (!DownloadFromGpu(&record, queue, input_world.device, input.size() * sizeof(float), input.data(),
                         &copy_error)) {
        return GpuFrameResult::CopyFailed;
    }
    std::vector<float> map;
    if (frame.has_map) {
        map.assign(HostCopyFloats(map_world), 0.0f);
        if (!DownloadFromGpu(&record, queue, map_world.device, map.size() * sizeof(float), map.data(),
                             &copy_error)) {
            frame.has_map = 0;
        }
    }
    // The host copies are float B, G, R, A worlds with the device buffers' rows; the rows are shaded
    // straight into the output's copy.
    ShadeWorlds worlds;
    worlds.input = WorkBufferWorld(input.data(), frame.in_w, frame.in_h, frame.in_pitch);
    if (frame.has_map) {
        worlds.map = WorkBufferWorld(map.data(), frame.map_w, frame.map_h, frame.map_pitch);
    }
    worlds.output = WorkBufferWorld(output.data(), frame.out_w, frame.out_h, 0);
    worlds.output.row_bytes = static_cast<std::ptrdiff_t>(output_world.row_bytes / 4) * 4;
    // No abort callback: the host waits for this frame either way.
    (void)RenderBandCPU(frame, worlds, 0, AbortCallback());
    if (!UploadToGpu(&record, queue, output_world.device, output.size() * sizeof(float), output.data(),
                     &copy_error)) {
        return GpuFrameResult::CopyFailed;
    }
    return GpuFrameResult::RedoneOnCpu;
}

}   // namespace

std::int32_t GpuBandRows(std::int32_t out_w)
{
    const std::uint32_t width = static_cast<std::uint32_t>(std::max<std::int32_t>(out_w, 1));
    return std::max(static_cast<std::int32_t>(GPU_BAND_PIXELS / width), GPU_MIN_BAND_ROWS);
}

std::vector<GpuBand> GpuBands(std::int32_t out_w, std::int32_t out_h)
{
    std::vector<GpuBand> bands;
    const std::int64_t rows = GpuBandRows(out_w);
    for (std::int64_t y0 = 0; y0 < out_h; y0 += rows) {
        const std::int64_t h = std::min<std::int64_t>(out_h - y0, rows);
        bands.push_back(GpuBand{static_cast<std::int32_t>(y0), static_cast<std::int32_t>(h)});
    }
    return bands;
}

OpenCLWorkSize OpenCLBandWorkSize(std::int32_t out_w, std::int32_t band_h, const GpuDeviceData& record)
{
    const std::size_t width = static_cast<std::size_t>(std::max<std::int32_t>(out_w, 0));
    const std::size_t height = static_cast<std::size_t>(std::max<std::int32_t>(band_h, 0));
    if (!record.use_work_group_size) {
        return OpenCLWorkSize{{width, height}, {0, 0}, false};
    }
    return OpenCLWorkSize{{RoundUp(width, record.work_group[0]), RoundUp(height, record.work_group[1])},
                          {record.work_group[0], record.work_group[1]},
                          true};
}

CudaLaunchShape CudaBandShape(std::int32_t out_w, std::int32_t band_h)
{
    const auto blocks = [](std::int32_t extent) {
        const std::uint64_t threads = static_cast<std::uint64_t>(std::max<std::int32_t>(extent, 0));
        return static_cast<unsigned>((threads + CUDA_BLOCK_SIDE - 1) / CUDA_BLOCK_SIDE);
    };
    return CudaLaunchShape{{blocks(out_w), blocks(band_h), 1}, {CUDA_BLOCK_SIDE, CUDA_BLOCK_SIDE, 1}};
}

bool LaunchGpuFrame(GpuDeviceData* record, void* queue, void* src, void* dst, void* map, QF_Frame frame,
                    std::string* error)
{
    try {
        if (!record || !src || !dst || frame.out_w < 1 || frame.out_h < 1) {
            SetError(error, "bad arguments");
            return false;
        }
        if (record->framework == GpuFramework::OpenCL) {
            return LaunchOpenCL(*record, static_cast<cl_command_queue>(queue), static_cast<cl_mem>(src),
                                static_cast<cl_mem>(dst), static_cast<cl_mem>(map), frame, error);
        }
        return LaunchCuda(*record, static_cast<CUstream>(queue), src, dst, map, frame, error);
    } catch (...) {
        try {
            SetError(error, "exception during GPU render");
        } catch (...) {
        }
        return false;
    }
}

bool DownloadFromGpu(GpuDeviceData* record, void* queue, void* buffer, std::size_t bytes, void* host,
                     std::string* error)
{
    return CopyWithGpu(CopyDirection::Download, record, queue, buffer, bytes, host, error);
}

bool UploadToGpu(GpuDeviceData* record, void* queue, void* buffer, std::size_t bytes, const void* host,
                 std::string* error)
{
    // Only read: the write path never stores into host memory.
    return CopyWithGpu(CopyDirection::Upload, record, queue, buffer, bytes, const_cast<void*>(host), error);
}

bool RowsHoldWidth(const GpuBuffer& buffer)
{
    return buffer.row_bytes >= 0 &&
           buffer.row_bytes >= static_cast<std::int64_t>(buffer.width) * GPU_PIXEL_BYTES;
}

std::int32_t GpuPitch(const GpuBuffer& buffer)
{
    return static_cast<std::int32_t>(buffer.row_bytes / GPU_PIXEL_BYTES);
}

GpuFrameResult RenderGpuFrame(GpuDeviceData& record, void* queue, const GpuBuffer& input, const GpuBuffer& output,
                              const GpuBuffer& map, const QF_Frame& frame)
{
    std::string error;
    if (LaunchGpuFrame(&record, queue, input.device, output.device, frame.has_map ? map.device : nullptr, frame,
                       &error)) {
        ProcessGpuBackoff().FrameSucceeded();
        return GpuFrameResult::OnGpu;
    }
    ProcessGpuBackoff().FrameFailed();
    return RedoOnCpu(record, queue, input, output, map, frame, error);
}

void ClearGpuOutput(GpuDeviceData& record, void* queue, const GpuBuffer& output)
{
    const std::vector<float> zeros(HostCopyFloats(output), 0.0f);
    std::string ignored;
    (void)UploadToGpu(&record, queue, output.device, zeros.size() * sizeof(float), zeros.data(), &ignored);
}
