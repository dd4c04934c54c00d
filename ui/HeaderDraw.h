// The Effect Controls header on the host's drawing surface, and where on it the links are. Called by the
// host's event handling with the drawing suites it acquired; plain values otherwise.
#pragma once

#include "adobesdk/DrawbotSuite.h"
#include "HeaderTheme.h"

#include <cstdint>

// A point in the panel's coordinates, pixels.
struct HeaderPoint {
    std::int32_t h = 0;
    std::int32_t v = 0;
};

// The drawing suites of one draw and the drawing reference the host gave for it. surface_2 is the
// version 2 surface suite when the host has it (high-density screens need it), else null; surface is
// version 2 or, failing that, version 1 (whose table is the start of version 2's).
struct HeaderDrawing {
    const DRAWBOT_DrawbotSuite1* draw;
    const DRAWBOT_SupplierSuite1* supplier;
    const DRAWBOT_SurfaceSuite2* surface;
    const DRAWBOT_SurfaceSuite2* surface_2;
    DRAWBOT_DrawRef reference;
};

// The supplier and surface behind a drawing reference, and what the header image must be for them.
struct HeaderSurface {
    const DRAWBOT_SupplierSuite1* supplier_suite;
    const DRAWBOT_SurfaceSuite2* surface_suite;
    DRAWBOT_SupplierRef supplier;
    DRAWBOT_SurfaceRef surface;
    bool high_density;          // the surface maps more than 1.5 screen pixels to one of its own
    unsigned char byte_order;   // HEADER_ARGB or HEADER_BGRA (HeaderImage.h)
};

// Asks the drawing reference for its supplier and surface, then the surface's screen scale and the
// supplier's byte orders. False when there is no supplier or surface: nothing can be drawn.
bool OpenHeaderSurface(const HeaderDrawing& drawing, HeaderSurface& surface);

// Draws the header image with its top-left corner at origin: at 2x on a high-density surface (falling
// back to 1x when a step of that fails), else at 1x. A drawing call that fails leaves the header undrawn.
void DrawHeader(const HeaderSurface& surface, const HeaderTheme& theme, HeaderPoint origin);

// What lies under a point of the panel: the badge or the web address, or "About".
enum HeaderHit : int { HEADER_HIT_NONE = 0, HEADER_HIT_WEB_PAGE = 1, HEADER_HIT_ABOUT = 2 };
HeaderHit HeaderHitTest(HeaderPoint origin, HeaderPoint point);

// Where the header's content starts in a control frame from top to bottom at left: the frame's left, and
// its top moved down to centre the 50 pixels of content in a taller frame.
HeaderPoint HeaderOrigin(std::int32_t left, std::int32_t top, std::int32_t bottom);
