// The parameter table's rows as the host's parameter definitions, and PF_Cmd_PARAMS_SETUP's adding of them.
#pragma once

#include "AE_Effect.h"
#include "ParamTable.h"

// The host definition of one row, from a cleared record: type, name (cut to 31 characters), flags, UI
// flags and area, disk id, and the type's fields with the value at its default.
void FillParamDef(const ParamSpec& row, PF_ParamDef& def);

// Adds rows 1 to PARAM_COUNT - 1 in order through add_param (index -1, append). The first non-zero
// result is returned at once and the remaining rows are not added. A missing in_data or add_param
// callback is PF_Err_INVALID_CALLBACK.
PF_Err AddParams(const PF_InData* in_data);
