// Failure injection, call counting and the abort callback.
#include "Faults.h"

#include "Instance.h"

#include <new>
#include <stdexcept>

void FaultInjector::Inject(const Injection& injection)
{
    injections_.push_back(Armed{injection});
}

void FaultInjector::AbortAfter(int calls)
{
    Injection abort;
    abort.call = HostCall::Abort;
    abort.error = PF_Interrupt_CANCEL;
    abort.skip = calls;
    abort.times = -1;
    Inject(abort);
}

bool FaultInjector::Injected(HostCall call, PF_Err& error, int param_index, std::string_view suite, bool* null_suite)
{
    ++call_counts_[static_cast<int>(call)];
    for (Armed& armed : injections_) {
        const Injection& injection = armed.injection;
        if (injection.call != call || (injection.param_index >= 0 && injection.param_index != param_index) ||
            (!injection.suite.empty() && injection.suite != suite)) {
            continue;
        }
        if (armed.seen < injection.skip) {
            ++armed.seen;
            continue;
        }
        if (injection.times >= 0 && armed.fired >= injection.times) {
            continue;
        }
        ++armed.fired;
        if (injection.throws == InjectedThrow::BadAlloc) {
            throw std::bad_alloc();
        }
        if (injection.throws == InjectedThrow::RuntimeError) {
            throw std::runtime_error("injected host failure");
        }
        error = injection.error;
        if (null_suite) {
            *null_suite = injection.null_suite;
        }
        return true;
    }
    return false;
}

PF_Err FaultInjector::AbortCallback(PF_ProgPtr effect_ref)
{
    const EffectInstance* instance = EffectInstance::From(effect_ref);
    FaultInjector* faults = instance ? instance->faults : nullptr;
    PF_Err err = PF_Err_NONE;
    if (faults && faults->Injected(HostCall::Abort, err)) {
        return err;
    }
    return faults && faults->abort_when_ && faults->abort_when_() ? PF_Interrupt_CANCEL : PF_Err_NONE;
}
