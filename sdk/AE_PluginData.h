/* Registration of an effect with the host: the callback handed to PluginDataEntryFunction2. */
#ifndef AE_PLUGIN_DATA_H
#define AE_PLUGIN_DATA_H

#include "A.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PF_PluginData *PF_PluginDataPtr;   /* the host's, opaque */

/* Strings are NUL-terminated 8-bit text; kind is a four-character code such as 'eFKT'. */
typedef A_Err (*PF_PluginDataCB2)(PF_PluginDataPtr data, const A_u_char *name, const A_u_char *match_name,
                                   const A_u_char *category, const A_u_char *entry_point_name, A_long kind,
                                   A_long api_version_major, A_long api_version_minor,
                                   A_long reserved_info, const A_u_char *support_url);

#ifdef __cplusplus
}
#endif

#endif
