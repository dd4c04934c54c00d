// Control values in the table's encodings.
#include "ParamValues.h"

#include "ParamTable.h"

#include <cmath>
#include <limits>

namespace {

// The nearest integer, halves away from zero, held inside the int32 range; 0 for a NaN.
std::int32_t HeldInteger(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(std::lround(value));
}

}   // namespace

std::int32_t AngleToFixed(double degrees)
{
    return HeldInteger(degrees * 65536.0);
}

ParamValue ParamValueFromNumber(int index, double value)
{
    if (index < 0 || index >= PARAM_COUNT) {
        return ParamValue{};
    }
    switch (PARAM_TABLE[index].kind) {
    case ParamKind::FloatSlider:
        return ParamValue::Number(std::isnan(value) ? 0.0 : value);
    case ParamKind::Angle:
        return ParamValue::Integer(AngleToFixed(value));
    case ParamKind::Slider:
    case ParamKind::Popup:
    case ParamKind::Checkbox:
        return ParamValue::Integer(HeldInteger(value));
    default:
        return ParamValue{};
    }
}

ParamValues DefaultParamValues()
{
    ParamValues values{};
    for (int index = 0; index < PARAM_COUNT; ++index) {
        values[index] = ParamValueFromNumber(index, PARAM_TABLE[index].dephault);
    }
    return values;
}
