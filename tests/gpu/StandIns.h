// The stand-in runtimes of a fault-test program: loaded before any plug-in instance, driven through
// their exported controls (fakes/FakeControl.h).
#pragma once

#include "FakeControl.h"
#include "GpuHost.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

class StandIn {
public:
    explicit StandIn(GpuKind kind) : kind_(kind) {}

    void Reset() const { Control<QfFakeResetFn>("qf_fake_reset")(); }
    // `call` fails with `status` after `skip` calls that work, `times` times (-1: from then on).
    void Fail(const char* call, int status, int skip = 0, int times = 1) const
    {
        Control<QfFakeFailFn>("qf_fake_fail")(call, skip, times, status);
    }
    int Calls(const char* call) const { return Control<QfFakeCallsFn>("qf_fake_calls")(call); }
    // The calls since the last reset, in order.
    std::vector<std::string> CallLog() const
    {
        const auto log = Control<QfFakeCallLogFn>("qf_fake_call_log");
        std::string text(log(nullptr, 0) + 1, '\0');
        log(text.data(), text.size());
        std::vector<std::string> calls;
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            calls.push_back(text.substr(start, end - start));
        }
        return calls;
    }
    // How many times `call` comes in the call log before the first `before`.
    int CallsBefore(const char* call, const char* before) const
    {
        int count = 0;
        for (const std::string& name : CallLog()) {
            if (name == before) {
                return count;
            }
            count += name == call ? 1 : 0;
        }
        throw std::runtime_error(std::string("no ") + before + " in the call log");
    }
    std::vector<QfFakeLaunch> Launches() const
    {
        const auto launches = Control<QfFakeLaunchesFn>("qf_fake_launches");
        std::vector<QfFakeLaunch> all(static_cast<size_t>(launches(nullptr, 0)));
        launches(all.data(), static_cast<int>(all.size()));
        return all;
    }

    template <typename Fn>
    Fn Control(const char* name) const
    {
        const auto fn = reinterpret_cast<Fn>(StandInSymbol(kind_, name));
        if (!fn) {
            throw std::runtime_error(std::string("the stand-in ") + GpuKindName(kind_) + " runtime lacks " + name);
        }
        return fn;
    }

private:
    GpuKind kind_;
};

// Loads both stand-ins before the first test, so every plug-in instance of the program finds them.
class StandInEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        LoadStandInRuntime(GpuKind::OpenCL, QF_FAULTY_OPENCL);
        LoadStandInRuntime(GpuKind::Cuda, QF_FAKE_CUDA);
    }
};

inline const StandIn& OpenCLStandIn()
{
    static const StandIn stand_in(GpuKind::OpenCL);
    return stand_in;
}

inline const StandIn& CudaStandIn()
{
    static const StandIn stand_in(GpuKind::Cuda);
    return stand_in;
}
