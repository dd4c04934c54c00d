// The header's pointer handling through the host: where the links answer (relative to the content's origin
// in frames of several heights), what a click does, and which events the control ignores.
#include "EffectAbout.h"
#include "EffectIdentity.h"
#include "UiTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

enum Target { NOTHING, WEB_PAGE, ABOUT };

struct Probe {
    int dx, dy;   // from the content's origin
    Target target;
};

// Edges of the badge, the web address and "About".
constexpr Probe PROBES[] = {
    {160, 30, NOTHING}, {161, 30, WEB_PAGE}, {239, 30, WEB_PAGE}, {240, 30, NOTHING},
    {200, 25, NOTHING}, {200, 26, WEB_PAGE}, {200, 42, WEB_PAGE}, {200, 43, NOTHING},
    {250, 30, NOTHING}, {251, 30, ABOUT},    {285, 30, ABOUT},    {286, 30, NOTHING},
    {270, 25, NOTHING}, {270, 26, ABOUT},    {270, 42, ABOUT},    {270, 43, NOTHING},
    {30, 6, NOTHING},   {30, 7, WEB_PAGE},   {30, 42, WEB_PAGE},  {30, 43, NOTHING},
    {5, 20, NOTHING},   {6, 20, WEB_PAGE},   {67, 20, WEB_PAGE},  {68, 20, NOTHING},
    {100, 20, NOTHING}, {-1, 30, NOTHING},
};

// A control frame and where its content starts.
struct Frame {
    PF_LRect rect;
    int x, y;
};

constexpr Frame FRAMES[] = {
    {{30, 100, 500, 180}, 30, 115},   // 80 tall: 15 below the top
    {{0, 10, 400, 61}, 0, 10},        // 51 tall: (51 - 50) / 2 rounds down to 0
    {{12, 0, 312, 50}, 12, 0},        // 50 tall
};

std::string Where(const Frame& frame, const Probe& probe)
{
    return "frame top " + std::to_string(frame.rect.top) + ", dx " + std::to_string(probe.dx) + ", dy " +
           std::to_string(probe.dy);
}

std::string AboutText()
{
    char text[256];
    WriteAboutText(text, sizeof text);
    return text;
}

class HeaderClick : public HeaderHost {
protected:
    void SetUp() override
    {
        HeaderHost::SetUp();
        std::memset(host.module().out_data().return_msg, 0, sizeof host.module().out_data().return_msg);
    }

    std::string ReturnMessage() { return host.module().out_data().return_msg; }

    FakeBrowser browser;
    const std::string opened_page = "1|" + std::string(SUPPORT_URL);
};

TEST_F(HeaderClick, TheCursorBecomesAFingerOverTheLinksOnly)
{
    for (const Frame& frame : FRAMES) {
        ui.settings().frame = frame.rect;
        for (const Probe& probe : PROBES) {
            SCOPED_TRACE(Where(frame, probe));
            const EventResult moved = ui.SendCursor(frame.x + probe.dx, frame.y + probe.dy);
            EXPECT_EQ(moved.err, PF_Err_NONE);
            EXPECT_EQ(moved.event.u.adjust_cursor.set_cursor, probe.target == NOTHING ? 0 : PF_Cursor_FINGER_POINTER);
            EXPECT_EQ(moved.event.evt_out_flags, probe.target == NOTHING ? 0 : PF_EO_HANDLED_EVENT);
        }
    }
}

TEST_F(HeaderClick, ClicksOpenThePageOrShowAboutAndAreAlwaysHandled)
{
    for (const Frame& frame : FRAMES) {
        ui.settings().frame = frame.rect;
        for (const Probe& probe : PROBES) {
            SCOPED_TRACE(Where(frame, probe));
            host.module().out_data().return_msg[0] = '\0';
            const EventResult clicked = ui.SendClick(frame.x + probe.dx, frame.y + probe.dy);
            EXPECT_EQ(clicked.err, PF_Err_NONE);
            EXPECT_EQ(clicked.event.evt_out_flags, PF_EO_HANDLED_EVENT);
            EXPECT_EQ(browser.Opened(), probe.target == WEB_PAGE ? std::vector<std::string>{opened_page}
                                                                 : std::vector<std::string>{});
            EXPECT_EQ(ReturnMessage(), probe.target == ABOUT ? AboutText() : "");
            std::filesystem::remove(browser.folder() / "opened.txt");
        }
    }
}

TEST_F(HeaderClick, ADoubleClickDoesNothingButIsHandled)
{
    for (A_long clicks : {2, 3}) {
        for (const A_long h : {200, 270, 30}) {   // web address, "About", badge
            const EventResult clicked = ui.SendClick(h, 30, clicks);
            EXPECT_EQ(clicked.event.evt_out_flags, PF_EO_HANDLED_EVENT);
        }
    }
    EXPECT_TRUE(browser.Opened().empty());
    EXPECT_EQ(ReturnMessage(), "");
}

TEST_F(HeaderClick, EventsForOtherControlsOrWindowsAreIgnored)
{
    PF_ContextPtr no_context = nullptr;
    PF_Context comp_window{};
    comp_window.w_type = PF_Window_COMP;
    PF_ContextPtr comp_context = &comp_window;

    const auto variants = {
        +[](PF_EventExtra& e, PF_ContextPtr*, PF_ContextPtr*) { e.effect_win.index = 2; },
        +[](PF_EventExtra& e, PF_ContextPtr*, PF_ContextPtr*) { e.effect_win.index = 0; },
        +[](PF_EventExtra& e, PF_ContextPtr*, PF_ContextPtr*) { e.contextH = nullptr; },
        +[](PF_EventExtra& e, PF_ContextPtr* none, PF_ContextPtr*) { e.contextH = none; },
        +[](PF_EventExtra& e, PF_ContextPtr*, PF_ContextPtr* comp) { e.contextH = comp; },
    };
    for (PF_EventType type : {PF_Event_DRAW, PF_Event_DO_CLICK, PF_Event_ADJUST_CURSOR}) {
        for (auto change : variants) {
            ui.ClearLogs();
            PF_EventExtra event = ui.MakeEvent(type);
            PF_Point& point = type == PF_Event_ADJUST_CURSOR ? event.u.adjust_cursor.screen_point
                                                              : event.u.do_click.screen_point;
            point.h = 270;   // on "About"
            point.v = 30;
            change(event, &no_context, &comp_context);
            const EventResult result = ui.SendEvent(event);
            EXPECT_EQ(result.err, PF_Err_NONE);
            EXPECT_EQ(result.event.evt_out_flags, 0);
            EXPECT_TRUE(ui.images().empty());
        }
    }
    // No extra record at all, and an event type the header has no use for.
    EXPECT_EQ(host.module().SendCommand(PF_Cmd_EVENT, nullptr), PF_Err_NONE);
    const EventResult other = ui.SendEvent(ui.MakeEvent(3));
    EXPECT_EQ(other.err, PF_Err_NONE);
    EXPECT_EQ(other.event.evt_out_flags, 0);
    EXPECT_TRUE(browser.Opened().empty());
    EXPECT_EQ(ReturnMessage(), "");
    EXPECT_EQ(host.suites().Outstanding(), 0);
}

}   // namespace
