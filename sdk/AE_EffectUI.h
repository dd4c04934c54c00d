/* Custom UI events of the host: the event record of PF_Cmd_EVENT, the drawing context it refers to, and
 * the registration record of custom UI. */
#ifndef AE_EFFECT_UI_H
#define AE_EFFECT_UI_H

#include "AE_Effect.h"
#include "adobesdk/drawbotsuite/DrawbotSuiteTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

enum { PF_CustomEFlag_EFFECT = 1L << 2 };
typedef A_long PF_CustomEventFlags;

enum { PF_Window_COMP = 0, PF_Window_LAYER = 1, PF_Window_EFFECT = 2 };
typedef A_long PF_WindowType;

enum { PF_Event_DO_CLICK = 2, PF_Event_DRAW = 4, PF_Event_ADJUST_CURSOR = 9 };
typedef A_long PF_EventType;

enum { PF_Cursor_FINGER_POINTER = 23 };
typedef A_long PF_CursorType;

typedef A_long PF_Modifiers;

typedef struct {
    PF_Point screen_point;
    PF_Modifiers modifiers;
    PF_CursorType set_cursor;        /* written by the plug-in */
} PF_AdjustCursorEventInfo;

typedef struct {
    A_u_long when;
    PF_Point screen_point;           /* in the panel's coordinates */
    A_long num_clicks;
    PF_Modifiers modifiers;
    A_intptr_t continue_refcon[4];
    PF_Boolean send_drag;
    PF_Boolean last_time;
} PF_DoClickEventInfo;

typedef struct {
    PF_LRect update_rect;
    A_long depth;
} PF_DrawEventInfo;

typedef A_u_long PF_KeyCode;

typedef struct {
    A_u_long when;
    PF_Point screen_point;
    PF_KeyCode keycode;
    PF_Modifiers modifiers;
} PF_KeyDownEvent;

typedef union {
    PF_DoClickEventInfo do_click;
    PF_DrawEventInfo draw;
    PF_KeyDownEvent key_down;
    PF_AdjustCursorEventInfo adjust_cursor;
} PF_EventUnion;

typedef struct _PF_ContextRefcon *PF_ContextRefcon;

/* The host's context of a panel; everything past w_type is the host's. */
typedef struct {
    A_u_long magic;
    PF_WindowType w_type;
    PF_ContextRefcon reserved_flt;
    A_intptr_t plugin_state[4];
    DRAWBOT_DrawRef reserved_drawref;
    void *reserved_paneP;
    void *reserved_job_manageP;
} PF_Context, *PF_ContextPtr, **PF_ContextH;

/* Coordinate conversion and info-panel callbacks of the event; this effect never calls them. */
typedef struct {
    void *refcon;
    PF_Err (*layer_to_comp)(void *refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                            PF_FixedPoint *pt);
    PF_Err (*comp_to_layer)(void *refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                            PF_FixedPoint *pt);
    PF_Err (*get_comp2layer_xform)(void *refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                                   A_long *exists, PF_FloatMatrix *c2l);
    PF_Err (*get_layer2comp_xform)(void *refcon, PF_ContextH context, A_long curr_time, A_long time_scale,
                                   PF_FloatMatrix *l2c);
    PF_Err (*source_to_frame)(void *refcon, PF_ContextH context, PF_FixedPoint *pt);
    PF_Err (*frame_to_source)(void *refcon, PF_ContextH context, PF_FixedPoint *pt);
    PF_Err (*info_draw_color)(void *refcon, PF_Pixel color);
    PF_Err (*info_draw_text)(void *refcon, const A_char *text1Z0, const A_char *text2Z0);
} PF_EventCallbacks;

typedef A_long PF_EffectArea;

typedef struct {
    PF_ParamIndex index;             /* the control the event is for */
    PF_EffectArea area;
    PF_LRect current_frame;          /* the control's frame in the panel */
    PF_LRect param_title_frame;
    A_long horiz_offset;
} PF_EffectWindowInfo;

enum { PF_EO_HANDLED_EVENT = 1L << 0 };
typedef A_long PF_EventOutFlags;

typedef A_long PF_EventInFlags;

typedef struct {
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EffectWindowInfo effect_win;
    PF_EventCallbacks cbs;
    PF_EventInFlags evt_in_flags;
    PF_EventOutFlags evt_out_flags;
} PF_EventExtra;

typedef A_long PF_UIAlignment;

/* Sizes are in panel pixels; a zero size asks for no custom area in that window. */
struct _PF_CustomUIInfo {
    A_long reserved;
    PF_CustomEventFlags events;
    A_long comp_ui_width;
    A_long comp_ui_height;
    PF_UIAlignment comp_ui_alignment;
    A_long layer_ui_width;
    A_long layer_ui_height;
    PF_UIAlignment layer_ui_alignment;
    A_long preview_ui_width;
    A_long preview_ui_height;
    PF_UIAlignment preview_ui_alignment;
};

#ifdef __cplusplus
}
#endif

#endif
