// The parameter UI commands: the Preset menu (PF_Cmd_USER_CHANGED_PARAM) and the greying of Loop
// Duration (PF_Cmd_UPDATE_PARAMS_UI). Both always return PF_Err_NONE.
#pragma once

#include "AE_Effect.h"

// A supervised control changed. Choosing a look writes its thirteen values into params (Wave Size scaled
// to the layer when Scale With Layer is off); touching one of those thirteen turns the menu to "Custom".
// Changes are written into the entries' values with change_flags PF_ChangeFlag_CHANGED_VALUE, for the
// host to take after the command.
PF_Err UserChangedParam(const PF_InData* in_data, PF_ParamDef* params[], const PF_UserChangedParamExtra* extra);

// Greys Loop Duration while Loop is off, through "PF Param Utils Suite" 3; its value is never touched.
PF_Err UpdateParamsUI(const PF_InData* in_data, PF_ParamDef* params[]);
