// The frei0r exports: plug-in and parameter information, instances, and frames. frei0r has no error
// channel but f0r_construct returning null, so no exception leaves an export: failures are one line on
// the standard error and a defined frame (Frei0rInstance.h).
#include "Frei0rInstance.h"

#include <cstdint>
#include <cstdio>
#include <new>

namespace {

constexpr int PLUGIN_MAJOR_VERSION = 1;
constexpr int PLUGIN_MINOR_VERSION = 0;
// A side longer than this cannot be a video frame; the renderer's sizes are 32-bit.
constexpr unsigned MAX_SIDE = 1u << 20;

}   // namespace

extern "C" {

__attribute__((visibility("default"))) int f0r_init(void)
{
    return 1;
}

__attribute__((visibility("default"))) void f0r_deinit(void) {}

__attribute__((visibility("default"))) void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    if (!info) {
        return;
    }
    info->name = "Quaverflux";
    info->author = "Tessaloom";
    info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = PLUGIN_MAJOR_VERSION;
    info->minor_version = PLUGIN_MINOR_VERSION;
    info->num_params = FREI0R_PARAM_COUNT;
    info->explanation = FREI0R_PLUGIN_EXPLANATION;
}

__attribute__((visibility("default"))) void f0r_get_param_info(f0r_param_info_t* info, int param_index)
{
    if (!info || param_index < 0 || param_index >= FREI0R_PARAM_COUNT) {
        return;
    }
    try {
        const Frei0rParam& param = FREI0R_PARAMS[static_cast<std::size_t>(param_index)];
        info->name = param.name;
        info->type = param.type;
        info->explanation = Frei0rExplanation(param_index);
    } catch (...) {
        info->explanation = "";
    }
}

__attribute__((visibility("default"))) f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    if (width == 0 || height == 0 || width > MAX_SIDE || height > MAX_SIDE) {
        std::fprintf(stderr, "Quaverflux: cannot render %u x %u frames (each side 1 to %u pixels)\n", width, height,
                     MAX_SIDE);
        return nullptr;
    }
    try {
        return new Frei0rInstance(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
    } catch (...) {
        std::fprintf(stderr, "Quaverflux: out of memory making an instance\n");
        return nullptr;
    }
}

__attribute__((visibility("default"))) void f0r_destruct(f0r_instance_t instance)
{
    delete static_cast<Frei0rInstance*>(instance);
}

__attribute__((visibility("default"))) void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param,
                                                                int param_index)
{
    if (!instance) {
        return;
    }
    try {
        static_cast<Frei0rInstance*>(instance)->SetParam(param_index, param);
    } catch (...) {
        std::fprintf(stderr, "Quaverflux: out of memory setting a parameter\n");
    }
}

__attribute__((visibility("default"))) void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param,
                                                                int param_index)
{
    if (instance) {
        static_cast<Frei0rInstance*>(instance)->GetParam(param_index, param);
    }
}

__attribute__((visibility("default"))) void f0r_update(f0r_instance_t instance, double time,
                                                       const uint32_t* inframe, uint32_t* outframe)
{
    if (!instance) {
        return;
    }
    try {
        static_cast<Frei0rInstance*>(instance)->Update(time, inframe, outframe);
    } catch (...) {
        std::fprintf(stderr, "Quaverflux: the frame could not be rendered\n");
    }
}

// A filter's second entry: the same frame from the first input.
__attribute__((visibility("default"))) void f0r_update2(f0r_instance_t instance, double time,
                                                        const uint32_t* inframe1, const uint32_t*,
                                                        const uint32_t*, uint32_t* outframe)
{
    f0r_update(instance, time, inframe1, outframe);
}

}   // extern "C"
