// Allocation failure at every allocation the plug-in makes during a render, one at a time. This program
// replaces the global operator new: the module shares the process's allocator, so an allocation whose
// caller lies in the module's code can be made to fail (throwing forms throw std::bad_alloc, non-throwing
// forms return null). Every case must end in PF_Err_OUT_OF_MEMORY (or, where the design absorbs the
// failure, a complete frame), with every suite released, every parameter checked in, every block the
// plug-in allocated freed again, and the next frame exactly the plain one.
#include "FakeControl.h"
#include "GpuHost.h"
#include "RenderTestSupport.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <link.h>
#include <unistd.h>

namespace {

// The module's executable code, found once it is loaded.
std::uintptr_t g_code_begin = 0;
std::uintptr_t g_code_end = 0;

std::atomic<bool> g_armed{false};
std::atomic<long> g_seen{0};       // module allocations since arming
std::atomic<long> g_fail_at{-1};   // the 0-based allocation that fails; -1: none
std::atomic<long> g_failed{0};

// The module's live blocks allocated while armed. A fixed table: the hook itself must not allocate.
constexpr int LIVE_SLOTS = 8192;
std::atomic<void*> g_live[LIVE_SLOTS];

bool FromModule(const void* caller)
{
    const auto at = reinterpret_cast<std::uintptr_t>(caller);
    return at >= g_code_begin && at < g_code_end;
}

void Remember(void* block)
{
    for (std::atomic<void*>& slot : g_live) {
        void* empty = nullptr;
        if (slot.compare_exchange_strong(empty, block)) {
            return;
        }
    }
    std::abort();   // more live blocks than a render makes
}

void Forget(void* block)
{
    if (!block) {
        return;
    }
    for (std::atomic<void*>& slot : g_live) {
        void* expected = block;
        if (slot.compare_exchange_strong(expected, nullptr)) {
            return;
        }
    }
}

int LiveBlocks()
{
    int live = 0;
    for (const std::atomic<void*>& slot : g_live) {
        live += slot.load() ? 1 : 0;
    }
    return live;
}

void* Allocate(std::size_t size, std::size_t alignment, bool nothrow, const void* caller)
{
    const bool tracked = g_armed.load() && FromModule(caller);
    if (tracked && g_seen.fetch_add(1) == g_fail_at.load()) {
        g_failed.fetch_add(1);
        if (nothrow) {
            return nullptr;
        }
        throw std::bad_alloc();
    }
    size = size ? size : 1;
    void* block = alignment > alignof(std::max_align_t)
                      ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                      : std::malloc(size);
    if (!block) {
        if (nothrow) {
            return nullptr;
        }
        throw std::bad_alloc();
    }
    if (tracked) {
        Remember(block);
    }
    return block;
}

void Release(void* block)
{
    Forget(block);
    std::free(block);
}

int FindModule(dl_phdr_info* info, std::size_t, void*)
{
    const std::string name = info->dlpi_name ? info->dlpi_name : "";
    if (name != QF_MODULE_PATH) {
        return 0;
    }
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X)) {
            g_code_begin = info->dlpi_addr + segment.p_vaddr;
            g_code_end = g_code_begin + segment.p_memsz;
        }
    }
    return 1;
}

}   // namespace

// The replaceable global allocation functions.
void* operator new(std::size_t size) { return Allocate(size, 0, false, __builtin_return_address(0)); }
void* operator new[](std::size_t size) { return Allocate(size, 0, false, __builtin_return_address(0)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size, 0, true, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size, 0, true, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return Allocate(size, static_cast<std::size_t>(alignment), false, __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return Allocate(size, static_cast<std::size_t>(alignment), false, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return Allocate(size, static_cast<std::size_t>(alignment), true, __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return Allocate(size, static_cast<std::size_t>(alignment), true, __builtin_return_address(0));
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete(void* block, std::align_val_t) noexcept { Release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Release(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { Release(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { Release(block); }

namespace {

// Arms the hook for one road; the allocation numbered fail_at fails (-1: none).
template <typename Road>
RenderResult Counted(long fail_at, Road road, long* allocations = nullptr)
{
    g_seen.store(0);
    g_failed.store(0);
    g_fail_at.store(fail_at);
    g_armed.store(true);
    RenderResult result = road();
    g_armed.store(false);
    if (allocations) {
        *allocations = g_seen.load();
    }
    return result;
}

class OutOfMemory : public RenderHost {
protected:
    void SetUp() override
    {
        RenderHost::SetUp();
        dl_iterate_phdr(FindModule, nullptr);
        ASSERT_LT(g_code_begin, g_code_end) << "the module's code was not found";
    }

    // Fails each allocation of the road in turn; returns how many there were. `after` runs after every
    // frame, unarmed.
    template <typename Road>
    long EveryAllocation(Road road, PixelDepth depth, const std::function<void()>& after = {})
    {
        const auto settle = [&] {
            if (after) {
                after();
            }
        };
        long allocations = 0;
        const RenderResult clean = Counted(-1, road, &allocations);
        settle();
        EXPECT_EQ(clean.error, PF_Err_NONE);
        EXPECT_EQ(LiveBlocks(), 0);
        EXPECT_GT(allocations, 0);
        for (long k = 0; k < allocations; ++k) {
            SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(allocations) + " fails");
            const RenderResult result = Counted(k, road);
            settle();
            EXPECT_EQ(g_failed.load(), 1);
            if (result.error == PF_Err_NONE) {
                // A worker thread that could not be started: the others render the whole frame.
                EXPECT_TRUE(SameImage(result.image, clean.image));
            } else {
                EXPECT_EQ(result.error, PF_Err_OUT_OF_MEMORY);
            }
            EXPECT_EQ(LiveBlocks(), 0) << "every block the plug-in allocated is freed";
            EXPECT_EQ(host.suites().Outstanding(), 0);
            EXPECT_EQ(host.params().OutstandingCheckouts(), 0);
            const RenderResult next = road();
            settle();
            EXPECT_EQ(next.error, PF_Err_NONE);
            EXPECT_TRUE(SameImage(next.image, clean.image));
            EXPECT_EQ(UnwrittenRows(next.image, depth), 0);
        }
        return allocations;
    }
};

TEST_F(OutOfMemory, EveryAllocationOfASmartFrame)
{
    UseInput(40, 24, PixelDepth::Float);
    host.params().SetMapLayer(host.layers().Add(Pattern(9, 7, 0.0f), PixelDepth::Bits8));
    host.params().Set(PARAM_COLOR_SPLIT, 20.0);
    RenderRequest request;
    request.depth = PixelDepth::Bits16;
    const long allocations = EveryAllocation([&] { return host.render().Frame(request); }, PixelDepth::Bits16);
    std::printf("smart frame: %ld allocations, each failed in turn\n", allocations);
}

TEST_F(OutOfMemory, EveryAllocationOfALegacyFrame)
{
    UseInput(40, 24, PixelDepth::Bits16);
    host.params().SetMapLayer(host.layers().Add(Pattern(9, 7, 0.0f), PixelDepth::Bits8));
    const long allocations = EveryAllocation([&] { return host.render().Legacy(); }, PixelDepth::Bits8);
    std::printf("legacy frame: %ld allocations, each failed in turn\n", allocations);
}

// A GPU frame on the stand-in CUDA driver, and its CPU redo when every launch fails. An allocation that
// fails inside the launch sends the frame to the CPU redo, which draws the same pixels.
TEST_F(OutOfMemory, EveryAllocationOfACudaFrameAndItsCpuRedo)
{
    const std::filesystem::path logs = std::filesystem::path(QF_TEST_TMP_DIR) / std::to_string(getpid());
    std::filesystem::create_directories(logs);
    setenv("TMPDIR", logs.c_str(), 1);
    LoadStandInRuntime(GpuKind::Cuda, QF_FAKE_CUDA);
    const auto reset = reinterpret_cast<QfFakeResetFn>(StandInSymbol(GpuKind::Cuda, "qf_fake_reset"));
    const auto fail = reinterpret_cast<QfFakeFailFn>(StandInSymbol(GpuKind::Cuda, "qf_fake_fail"));
    ASSERT_TRUE(reset && fail);
    UseInput(40, 24, PixelDepth::Float);
    host.params().SetMapLayer(host.layers().Add(Pattern(9, 7, 0.0f), PixelDepth::Float));
    ASSERT_EQ(host.gpu().SetUp(PF_GPU_Framework_CUDA), PF_Err_NONE);
    ASSERT_TRUE(host.gpu().Accepted()) << host.gpu().Unavailable();
    RenderRequest request;
    request.renderer = Renderer::Cuda;
    request.depth = PixelDepth::Float;
    // A GPU frame that succeeds starts the count of failed frames again, so the GPU stays offered.
    const auto succeed = [&] {
        reset();
        EXPECT_EQ(host.render().Frame(request).drawn_by, Renderer::Cuda);
    };
    const long frame = EveryAllocation([&] { return host.render().Frame(request); }, PixelDepth::Float, succeed);
    const long redo = EveryAllocation(
        [&] {
            fail("cuLaunchKernel", 0, -1, 719);
            RenderResult result = host.render().Frame(request);
            reset();
            return result;
        },
        PixelDepth::Float, succeed);
    std::printf("CUDA frame: %ld allocations; its CPU redo: %ld; each failed in turn\n", frame, redo);
    EXPECT_EQ(host.gpu().SetDown(), PF_Err_NONE);
    std::filesystem::remove_all(logs);
}

// The pre-render's record is allocated without throwing: its failure is the first allocation.
TEST_F(OutOfMemory, PreRenderRecordThatCannotBeAllocated)
{
    UseInput(16, 16);
    const RenderResult result = Counted(0, [&] { return host.render().Frame(); });
    EXPECT_EQ(result.pre_render_error, PF_Err_OUT_OF_MEMORY);
    EXPECT_FALSE(result.had_pre_render_data);
    EXPECT_EQ(host.params().OutstandingCheckouts(), 0);
}

}   // namespace
