// The record a smart pre-render leaves for its render: the settings snapshot, the frame's time and
// downsample, and the rectangles of the checkouts. Rectangles are layer pixels at the current downsample.
#pragma once

#include "AE_Effect.h"
#include "WarpSettings.h"

#include <type_traits>

// Made at pre-render, owned by the host until it calls the delete function, read by the render. Plain
// data: the host frees it as a block. The settings were sanitised when read; the render sanitises them
// again, since the record spends the time between the two commands in the host's hands.
struct PreRenderData {
    WarpSettings settings;
    double time = 0;                 // frame time, seconds
    float dsx = 1.0f;                // downsample factors, 1 = full resolution
    float dsy = 1.0f;
    PF_LRect input_rect{};           // result rectangle of the input checkout
    PF_LRect input_max_rect{};       // the layer's extent
    PF_LRect output_rect{};          // the result rectangle returned to the host
    bool has_map = false;            // a strength map layer is set and has pixels
    PF_LRect map_rect{};             // result rectangle of the map checkout
    PF_LRect map_max_rect{};         // the map layer's extent
};
static_assert(std::is_trivially_copyable_v<PreRenderData> && std::is_trivially_destructible_v<PreRenderData>);

// Keeps the input checkout's rectangles and sets output_rect to the request clipped to the layer.
void SetInputCheckout(PreRenderData& data, const PF_LRect& output_request, const PF_CheckoutResult& input);

// Keeps a successful map checkout's rectangles; there is a map only when both are non-empty.
void SetMapCheckout(PreRenderData& data, const PF_CheckoutResult& map);
