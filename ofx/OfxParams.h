// The effect's controls as OpenFX parameters: defined from the parameter table, read at a time into the
// table's encodings, and written back in each parameter's own unit.
//
// Units. Percent sliders are scale doubles (the host shows 1.0 as 100 %), so their values are the
// table's divided by 100; angles are angle doubles in degrees; popups are choices, 0-based where the
// table's popups count from 1; checkboxes are booleans. The header has no OpenFX form, and the map
// layer is the general context's strength map clip.
#pragma once

#include "OfxHostApi.h"
#include "ParamRules.h"
#include "ParamValues.h"

#include <array>
#include <string>
#include <string_view>

// The parameter name of control `index` ("waveSize" for PARAM_WAVE_SIZE): what hosts store in their
// projects. Empty for the controls OpenFX does not show: the input, the header, group ends, the map layer.
std::string OfxParamName(int index);
// The control named `name`; -1 when none.
int OfxParamIndex(std::string_view name);

// Defines every control on a descriptor's parameter set, in the table's order, each in its group. The
// strength map's group only where there is a map clip (with_map). Throws ActionFailure when the host
// refuses a parameter.
void DescribeParams(OfxParamSetHandle param_set, bool with_map);

// An instance's parameters by control index; null where it has none.
using ParamHandles = std::array<OfxParamHandle, PARAM_COUNT>;
ParamHandles FindParams(OfxParamSetHandle param_set);

// Every control's value at `time` in the table's encodings; controls without a parameter read as zeros.
// Throws ActionFailure when the host cannot give a value.
ParamValues ReadControls(const ParamHandles& params, OfxTime time);

// Writes one control's value (a rule's change) into its parameter; the host's status.
OfxStatus WriteControl(const ParamHandles& params, const ParamChange& change);

// Greys Loop Duration while Loop is off, as the Effect Controls panel does.
void ShowLoopDurationState(const ParamHandles& params, const ParamValues& values);
