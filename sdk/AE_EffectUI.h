/* Custom UI events of the host: the event record of PF_Cmd_EVENT and the drawing context it refers to. */
#ifndef AE_EFFECT_UI_H
#define AE_EFFECT_UI_H

#include "AE_Effect.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long PF_WindowType;
typedef A_long PF_EventType;
typedef A_long PF_Modifiers;
typedef A_long PF_CursorType;
typedef A_long PF_Area;
typedef A_long PF_EventInFlags;
typedef A_long PF_EventOutFlags;

enum { PF_Window_COMP = 0, PF_Window_LAYER = 1, PF_Window_EFFECT = 2 };

enum { PF_Event_DO_CLICK = 2, PF_Event_DRAW = 4, PF_Event_ADJUST_CURSOR = 9 };

enum { PF_Cursor_FINGER_POINTER = 23 };

enum { PF_EO_HANDLED_EVENT = 1 };

enum { PF_CustomEFlag_EFFECT = 1L << 2 };

typedef struct {
    A_u_long magic;
    PF_WindowType w_type;
    void *reserved[8];               /* host-private */
} PF_Context;

typedef PF_Context *PF_ContextPtr;
typedef PF_ContextPtr *PF_ContextH;

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

typedef struct {
    A_u_long when;
    PF_Point screen_point;
    A_long char_code;
    PF_Modifiers modifiers;
} PF_KeyDownEvent;

typedef struct {
    PF_Point screen_point;
    PF_Modifiers modifiers;
    PF_CursorType set_cursor;        /* written by the plug-in */
} PF_AdjustCursorEventInfo;

typedef union {
    PF_DoClickEventInfo do_click;
    PF_DrawEventInfo draw;
    PF_KeyDownEvent key_down;
    PF_AdjustCursorEventInfo adjust_cursor;
} PF_EventUnion;

typedef struct {
    PF_ParamIndex index;             /* the control the event is for */
    PF_Area area;
    PF_LRect current_frame;          /* the control's frame in the panel */
    PF_LRect param_title_frame;
    A_long horiz_offset;
} PF_EffectWindowInfo;

/* Coordinate conversion callbacks of the event; this effect never calls them. */
typedef struct {
    void *refcon;
    void *callbacks[8];
} PF_EventCallbacks;

typedef struct {
    PF_ContextH contextH;
    PF_EventType e_type;
    PF_EventUnion u;
    PF_EffectWindowInfo effect_win;
    PF_EventCallbacks cbs;
    PF_EventInFlags evt_in_flags;
    PF_EventOutFlags evt_out_flags;
} PF_EventExtra;

#ifdef __cplusplus
}
#endif

#endif
