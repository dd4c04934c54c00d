// The complete frame record of one frame.
#include "FrameBuilder.h"

#include "WaveGeneration.h"

QF_Frame MakeFrame(const SanitizedSettings& settings, double time, float dsx, float dsy, const FrameLayout& layout)
{
    QF_Frame frame{};   // reserved words and unused wave records stay 0
    BuildFrame(settings, time, frame);
    FillGeometry(layout, dsx, dsy, frame);
    frame.out_pitch = layout.output.pitch;
    frame.in_pitch = layout.input.pitch;
    frame.map_pitch = frame.has_map ? layout.map.pitch : 0;
    return frame;
}
