// The checkouts' rectangles kept in the pre-render record.
#include "PreRenderData.h"

#include "HostValues.h"

void SetInputCheckout(PreRenderData& data, const PF_LRect& output_request, const PF_CheckoutResult& input)
{
    data.input_rect = input.result_rect;
    data.input_max_rect = input.max_result_rect;
    data.output_rect = ToLRect(IntersectRect(ToPixelRect(output_request), ToPixelRect(data.input_max_rect)));
}

void SetMapCheckout(PreRenderData& data, const PF_CheckoutResult& map)
{
    data.has_map = !IsEmptyRect(ToPixelRect(map.max_result_rect)) && !IsEmptyRect(ToPixelRect(map.result_rect));
    if (data.has_map) {
        data.map_rect = map.result_rect;
        data.map_max_rect = map.max_result_rect;
    }
}
