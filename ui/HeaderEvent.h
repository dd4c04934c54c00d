// The Effect Controls header as a custom control: PF_Cmd_EVENT for parameter 1 draws it, takes its clicks and
// sets the pointer over its links.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectUI.h"
#include "HeaderTheme.h"

// PF_Cmd_EVENT: looks only at events of the Effect Controls window for the header control; draws, handles
// clicks and the cursor. Always PF_Err_NONE; an out-of-memory exception passes to the caller.
PF_Err HeaderEvent(const PF_InData* in_data, PF_OutData* out_data, PF_EventExtra* extra);

// Draws the header image at 1x or, on a high-density screen, at 2x, and marks the event handled; without the
// drawing suites nothing is drawn and the event stays unhandled. Always PF_Err_NONE.
PF_Err DrawHeader(const PF_InData* in_data, PF_EventExtra* extra);

// What lies under a point of the panel: HEADER_HIT_NONE, HEADER_HIT_WEB_PAGE (the badge or the web address)
// or HEADER_HIT_ABOUT.
enum HeaderHit : int { HEADER_HIT_NONE = 0, HEADER_HIT_WEB_PAGE = 1, HEADER_HIT_ABOUT = 2 };
int HeaderHitTest(const PF_EventExtra* extra, PF_Point point);

// Where the header's content starts in a control frame: the frame's left, and its top moved down to centre
// the 50 pixels of content in a taller frame.
PF_Point HeaderOrigin(const PF_LRect& frame);

// The host's theme ("PF AE App Suite" 1, defaults where it gives nothing), made readable.
HeaderTheme ThemeColors(const PF_InData* in_data);
