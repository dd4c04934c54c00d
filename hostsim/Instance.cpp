// The instance of the command running on each thread.
#include "Instance.h"

namespace {

thread_local EffectInstance* t_active = nullptr;

}   // namespace

EffectInstance* EffectInstance::OnThisThread()
{
    return t_active;
}

EffectInstance::Active::Active(EffectInstance* instance) : previous_(t_active)
{
    t_active = instance;
}

EffectInstance::Active::~Active()
{
    t_active = previous_;
}
