// The renderer's host-independent entry: one frame of the warp from control values (or a settings
// snapshot) into a host's pixels, on the CPU. Every host stands on this: the compositing host's smart
// and legacy renders (host/), and any other plug-in format or program. It knows no host: values are in
// the parameter table's encodings (ParamValues.h), pixels are WorldViews (WorldView.h), rectangles are
// PixelRects (RenderGeometry.h).
//
// Coordinates. Every world says where its pixel (0, 0) lies in its layer (origin_x, origin_y), in layer
// pixels at the current downsample, x to the right and y downwards. The input and output may be any
// part of the layer: a host renders a whole frame with both at origin (0, 0) and the layer's size, or a
// tile by giving the output tile's position and an input at least as large as InputRegionFor says.
// Pixels outside the input world are what the Edges control makes of them. Channels are sampled as they
// are stored, alpha included: nothing is premultiplied or divided by alpha on the way in or out.
//
// A whole-frame host (one image in, one out):
//     WarpFrameRequest frame;
//     frame.controls = DefaultParamValues();               // then the user's values, e.g.
//     frame.controls[PARAM_AMOUNT] = ParamValueFromNumber(PARAM_AMOUNT, 150.0);
//     frame.time = seconds;
//     frame.layer_width = width;                           // full resolution, for Scale With Layer
//     frame.layer_height = height;
//     frame.worlds.input = WorldView{in_pixels, width, height, width * 4, WorldDepth::Bits8, ChannelOrder::RGBA};
//     frame.worlds.output = WorldView{out_pixels, width, height, width * 4, WorldDepth::Bits8, ChannelOrder::RGBA};
//     RenderWarpFrame(frame);
//
// A tiling host at a render scale: dsx, dsy are its scale (0.5 at half resolution), layer_width and
// layer_height the layer's full-resolution size, input_layer the layer's extent at the render scale,
// and the input world covers at least InputRegionFor(FrameSettings(...), dsx, dsy, tile) clipped to
// that extent. The strength map is another layer, stretched over the input layer: its world and its
// own extent (map_layer) at the render scale.
//
// Memory: the input and map are read where they are and every output row is written straight into the
// output world, in their own depths and orders; a frame allocates nothing of its size. Two exceptions are
// read through a float copy made once: an input or map whose memory the output world shares (the same
// world as input and output gives the frame it always gave), and a world whose rows are not a whole number
// of pixels apart where the processor's vector row shader is used, which cannot address it in place.
//
// Threads: the frame's rows are shaded on up to 64 threads (one per logical processor) that live for the
// call; the abort callable is asked on the calling thread only, after every 4 of its rows. Several calls
// may run at once on different threads; worlds of different calls must not overlap.
#pragma once

#include "ParamValues.h"
#include "RenderBandCPU.h"
#include "RenderGeometry.h"
#include "WarpSettings.h"
#include "WorldView.h"

#include <cstdint>

// The pixels of one frame and where they lie.
struct FrameWorlds {
    // The input layer's pixels (all of it, or the part the output needs). Without pixels the output is
    // cleared to transparent black.
    WorldView input;
    // The input layer's whole extent; empty: the input world is the whole layer.
    PixelRect input_layer;
    // Written row by row; every pixel of it is written unless the render is aborted. Without pixels
    // nothing is done.
    WorldView output;
    // The strength map layer's pixels, or a world without pixels for none, and the map layer's whole
    // extent (empty: no map).
    WorldView map;
    PixelRect map_layer;
};

// Everything a host hands over for one frame.
struct WarpFrameRequest {
    ParamValues controls = DefaultParamValues();
    double time = 0.0;             // seconds; non-finite counts as 0
    // Downsample (render scale): buffer pixels per full-resolution pixel. A factor that is not finite
    // and above 0 counts as 1.
    float dsx = 1.0f;
    float dsy = 1.0f;
    // The layer's full-resolution size, for Scale With Layer (LayerScaleFactor); 0 or less: factor 1.
    std::int32_t layer_width = 0;
    std::int32_t layer_height = 0;
    FrameWorlds worlds;
};

enum class RenderStatus { Done, Aborted };

// The sanitised settings of a frame from its control values and the layer's full-resolution size.
SanitizedSettings FrameSettings(const ParamValues& controls, std::int32_t layer_width, std::int32_t layer_height);

// Renders one frame into worlds.output. Done when every row was written (or there was nothing to write),
// Aborted when `abort` asked to stop; rows written before then stay. Running out of memory raises
// std::bad_alloc after every thread has stopped and every buffer is freed; the output is then partly
// written. Nothing else is raised.
RenderStatus RenderWarpFrame(const WarpFrameRequest& frame, const AbortCallback& abort = {});

// How RenderFrameCPU reads the worlds. Hosts leave it at InPlace: the row shaders read the input and map
// where they are and write the output rows straight into the output world, allocating nothing the size
// of a frame. WorkCopy is the road the renderer once took, through whole float copies of the input and
// map and float output rows; it gives the same bytes, and is kept so that tests and benchmarks can
// compare frames and memory with it.
enum class WorldReading { InPlace, WorkCopy };

// The same from a settings snapshot already taken (the compositing host reads the controls at pre-render
// and renders later): the path RenderWarpFrame takes after FrameSettings.
RenderStatus RenderFrameCPU(const SanitizedSettings& settings, double time, float dsx, float dsy,
                            const FrameWorlds& worlds, const AbortCallback& abort = {},
                            WorldReading reading = WorldReading::InPlace);
