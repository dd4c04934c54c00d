// The effect's About text, from its identity: shown for PF_Cmd_ABOUT and by the header's "About" link.
#pragma once

#include "AboutText.h"

#include <cstddef>

// The effect's own values for the About text.
AboutValues EffectAboutValues();

// FormatAboutText with the effect's own values; callers pass out_data's return_msg and its 256 bytes.
void WriteAboutText(char* buffer, std::size_t capacity);
