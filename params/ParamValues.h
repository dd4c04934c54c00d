// Control values as every host hands them to the core: one per parameter index, in the table's
// encodings, so a frame read from the compositing host's parameter array and one read from any other
// host's controls give the same bits.
#pragma once

#include "ParamIndex.h"

#include <array>
#include <cstdint>

// One control's value. Float sliders use `number` (the value as shown, 100 for 100 %); integer sliders,
// popups (1-based choice), checkboxes (0 or 1) and angles (16.16 fixed-point degrees) use `integer`.
// The other field stays 0. A control a host does not have reads as all zeros.
struct ParamValue {
    double number = 0.0;
    std::int32_t integer = 0;

    static constexpr ParamValue Number(double value) { return ParamValue{value, 0}; }
    static constexpr ParamValue Integer(std::int32_t value) { return ParamValue{0.0, value}; }
};

using ParamValues = std::array<ParamValue, PARAM_COUNT>;

// Degrees as a 16.16 fixed-point angle, rounded to the nearest step with halves away from zero, and held
// inside the int32 range.
std::int32_t AngleToFixed(double degrees);

// A control's value from a plain number in the unit people use: float sliders keep it, angles take it as
// degrees, integer sliders, popups and checkboxes round it to the nearest integer (halves away from zero,
// held inside the int32 range). A NaN gives 0; controls without a value (layers, groups, the header) give
// all zeros.
ParamValue ParamValueFromNumber(int index, double value);

// Every control at the table's default.
ParamValues DefaultParamValues();
