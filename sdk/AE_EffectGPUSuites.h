/* The host's GPU device suite: which device, context and queue a GPU command runs on, and the device
 * memory behind a GPU world. */
#ifndef AE_EFFECT_GPU_SUITES_H
#define AE_EFFECT_GPU_SUITES_H

#include "AE_Effect.h"
#include "SPBasic.h"

/* Like the host SDK's own header, this one uses PF_PixelFormat without declaring it: include
 * AE_EffectPixelFormat.h first. */

#ifdef __cplusplus
extern "C" {
#endif

#define kPFGPUDeviceSuite "PF GPU Device Suite"
#define kPFGPUDeviceSuiteVersion1 1

typedef struct {
    PF_GPU_Framework device_framework;
    PF_Boolean compatibleB;
    void *platformPV;
    void *devicePV;                  /* cl_device_id, CUdevice */
    void *contextPV;                 /* cl_context, CUcontext */
    void *command_queuePV;           /* cl_command_queue, CUstream */
    void *offscreen_opengl_contextPV;
    void *offscreen_opengl_devicePV;
} PF_GPUDeviceInfo;

typedef struct PF_GPUDeviceSuite1 {
    PF_Err (*GetDeviceCount)(PF_ProgPtr effect_ref, A_u_long *device_count);
    PF_Err (*GetDeviceInfo)(PF_ProgPtr effect_ref, A_u_long device_index, PF_GPUDeviceInfo *device_info);
    PF_Err (*AcquireExclusiveDeviceAccess)(PF_ProgPtr effect_ref, A_u_long device_index);
    PF_Err (*ReleaseExclusiveDeviceAccess)(PF_ProgPtr effect_ref, A_u_long device_index);
    PF_Err (*AllocateDeviceMemory)(PF_ProgPtr effect_ref, A_u_long device_index, size_t size_bytes,
                                   void **memory);
    PF_Err (*FreeDeviceMemory)(PF_ProgPtr effect_ref, A_u_long device_index, void *memory);
    PF_Err (*PurgeDeviceMemory)(PF_ProgPtr effect_ref, A_u_long device_index, size_t size_bytes,
                                size_t *bytes_purged);
    PF_Err (*AllocateHostMemory)(PF_ProgPtr effect_ref, A_u_long device_index, size_t size_bytes,
                                 void **memory);
    PF_Err (*FreeHostMemory)(PF_ProgPtr effect_ref, A_u_long device_index, void *memory);
    PF_Err (*PurgeHostMemory)(PF_ProgPtr effect_ref, A_u_long device_index, size_t bytes_to_purge,
                              size_t *bytes_purged);
    PF_Err (*CreateGPUWorld)(PF_ProgPtr effect_ref, A_u_long device_index, A_long width, A_long height,
                             PF_RationalScale pixel_aspect_ratio, PF_Field field_type,
                             PF_PixelFormat pixel_format, PF_Boolean clear_pix, PF_EffectWorld **world);
    PF_Err (*DisposeGPUWorld)(PF_ProgPtr effect_ref, PF_EffectWorld *world);
    PF_Err (*GetGPUWorldData)(PF_ProgPtr effect_ref, PF_EffectWorld *world, void **data);
    PF_Err (*GetGPUWorldSize)(PF_ProgPtr effect_ref, PF_EffectWorld *world, size_t *device_memory);
    PF_Err (*GetGPUWorldDeviceIndex)(PF_ProgPtr effect_ref, PF_EffectWorld *world, A_u_long *device_index);
} PF_GPUDeviceSuite1;

#ifdef __cplusplus
}
#endif

#endif
