// PF_Cmd_EVENT for the header control: the host's drawing suites and theme handed to the header drawing
// (ui/HeaderDraw.h), clicks on its links and the cursor over them.
#include "CommandHandlers.h"

#include "AE_EffectSuites.h"
#include "adobesdk/DrawbotSuite.h"
#include "EffectAbout.h"
#include "EffectIdentity.h"
#include "HeaderDraw.h"
#include "ParamIndex.h"
#include "SuiteScope.h"
#include "WebPage.h"

namespace {

// The colour type of the host's accent (highlight) colour.
const PF_App_ColorType APP_COLOR_ACCENT = static_cast<PF_App_ColorType>(55);

bool IsHeaderEvent(const PF_EventExtra* extra)
{
    return extra && extra->contextH && *extra->contextH && (*extra->contextH)->w_type == PF_Window_EFFECT &&
           extra->effect_win.index == PARAM_HEADER;
}

HeaderColor FromApp(const PF_App_Color& color)
{
    return {color.red / 65535.0f, color.green / 65535.0f, color.blue / 65535.0f};
}

HeaderPoint OriginOf(const PF_EventExtra& extra)
{
    const PF_LRect& frame = extra.effect_win.current_frame;
    return HeaderOrigin(frame.left, frame.top, frame.bottom);
}

HeaderHit HitAt(const PF_EventExtra& extra, const PF_Point& point)
{
    return HeaderHitTest(OriginOf(extra), HeaderPoint{point.h, point.v});
}

void HandleClick(PF_OutData* out_data, PF_EventExtra* extra)
{
    const PF_DoClickEventInfo& click = extra->u.do_click;
    if (click.num_clicks < 2) {
        switch (HitAt(*extra, click.screen_point)) {
        case HEADER_HIT_WEB_PAGE:
            (void)OpenWebPage(SUPPORT_URL);   // a page that does not open has nothing to tell the user
            break;
        case HEADER_HIT_ABOUT:
            if (out_data) {
                WriteAboutText(out_data->return_msg, sizeof out_data->return_msg);
            }
            break;
        default:
            break;
        }
    }
    extra->evt_out_flags = PF_EO_HANDLED_EVENT;
}

void AdjustCursor(PF_EventExtra* extra)
{
    PF_AdjustCursorEventInfo& cursor = extra->u.adjust_cursor;
    if (HitAt(*extra, cursor.screen_point) != HEADER_HIT_NONE) {
        cursor.set_cursor = PF_Cursor_FINGER_POINTER;
        extra->evt_out_flags = PF_EO_HANDLED_EVENT;
    }
}

// The host's theme ("PF AE App Suite" 1, defaults where it gives nothing), made readable.
HeaderTheme ThemeColors(const PF_InData* in_data)
{
    HostThemeColors colors = HEADER_DEFAULT_COLORS;
    const SuiteScope<PFAppSuite6> app(in_data, kPFAppSuite, kPFAppSuiteVersion6);
    if (app) {
        PF_App_Color color{};
        if (app->PF_AppGetBgColor && app->PF_AppGetBgColor(&color) == PF_Err_NONE) {
            colors.background = FromApp(color);
        }
        if (app->PF_AppGetColor) {
            if (app->PF_AppGetColor(PF_App_Color_TEXT, &color) == PF_Err_NONE) {
                colors.text = FromApp(color);
            }
            if (app->PF_AppGetColor(APP_COLOR_ACCENT, &color) == PF_Err_NONE) {
                colors.accent = FromApp(color);
            }
        }
    }
    return DeriveHeaderTheme(colors);
}

// Draws the header image through the host's drawing suites and marks the event handled; without the
// suites nothing is drawn and the event stays unhandled.
void DrawHeaderControl(const PF_InData* in_data, PF_EventExtra* extra)
{
    if (!in_data) {
        return;
    }
    // Released in the reverse order on every way out.
    const SuiteScope<PF_EffectCustomUISuite1> custom_ui(in_data, kPFEffectCustomUISuite,
                                                        kPFEffectCustomUISuiteVersion1);
    const SuiteScope<DRAWBOT_DrawbotSuite1> draw(in_data, kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1);
    const SuiteScope<DRAWBOT_SupplierSuite1> supplier(in_data, kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1);
    const SuiteScope<DRAWBOT_SurfaceSuite2> surface_2(in_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2);
    const SuiteScope<DRAWBOT_SurfaceSuite1> surface_1(in_data, kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1);
    const DRAWBOT_SurfaceSuite2* surface_suite = surface_2 ? surface_2.get() : surface_1.get();
    if (!custom_ui || !draw || !supplier || !surface_suite) {
        return;
    }
    DRAWBOT_DrawRef reference = nullptr;
    if (!custom_ui->PF_GetDrawingReference ||
        custom_ui->PF_GetDrawingReference(extra->contextH, &reference) != PF_Err_NONE || !reference) {
        return;
    }
    HeaderSurface surface;
    if (!OpenHeaderSurface(HeaderDrawing{draw.get(), supplier.get(), surface_suite, surface_2.get(), reference},
                           surface)) {
        return;
    }
    DrawHeader(surface, ThemeColors(in_data), OriginOf(*extra));
    extra->evt_out_flags = PF_EO_HANDLED_EVENT;
}

}   // namespace

PF_Err HeaderEvent(const PF_InData* in_data, PF_OutData* out_data, PF_EventExtra* extra)
{
    if (!IsHeaderEvent(extra)) {
        return PF_Err_NONE;
    }
    switch (extra->e_type) {
    case PF_Event_DO_CLICK:
        HandleClick(out_data, extra);
        return PF_Err_NONE;
    case PF_Event_DRAW:
        DrawHeaderControl(in_data, extra);
        return PF_Err_NONE;
    case PF_Event_ADJUST_CURSOR:
        AdjustCursor(extra);
        return PF_Err_NONE;
    default:
        return PF_Err_NONE;
    }
}
