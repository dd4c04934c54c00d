// Control values for the frame builder's tests: every control at its default from the parameter table,
// with setters for the cases that change one.
#pragma once

#include "ParamTable.h"
#include "ParamValues.h"
#include "WarpSettings.h"

#include <cstdint>

class Controls {
public:
    // Every value-carrying control at its default; the input, header, groups and map layer read as zeros,
    // as they do in the values a host reads for a frame.
    Controls() : values_(DefaultParamValues()) {}

    Controls& Float(int index, double value)
    {
        values_[index] = ParamValue::Number(value);
        return *this;
    }
    // Integer sliders, popups (1-based) and checkboxes.
    Controls& Int(int index, std::int32_t value)
    {
        values_[index] = ParamValue::Integer(value);
        return *this;
    }
    Controls& Angle(int index, double degrees)
    {
        values_[index] = ParamValue::Integer(AngleToFixed(degrees));
        return *this;
    }
    // A control the host does not have.
    Controls& Absent(int index)
    {
        values_[index] = ParamValue{};
        return *this;
    }

    const ParamValues& Values() const { return values_; }
    WarpSettings Read(double layer_scale = 1.0) const { return ReadSettings(values_, layer_scale).values(); }

private:
    ParamValues values_;
};

// A snapshot for the calls that take sanitised settings.
inline SanitizedSettings Sane(const WarpSettings& settings)
{
    return SanitizedSettings(settings);
}
