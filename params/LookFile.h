// Look files as the command-line renderer saves them ({"effect": "Quaverflux", "controls": {"Wave Size":
// 440, "Waveform": "Sine", "Loop": false, ...}}), read strictly into control values with no JSON library,
// so a plug-in module that must stand alone can read them. The values and texts accepted are the
// renderer's: numbers in the panel's units (percent as the number shown, angles in degrees), popups by
// choice name or number, checkboxes as booleans, 0/1 or on/off, numbers also as text ("50%", "90°").
#pragma once

#include "ParamRules.h"

#include <string>
#include <string_view>
#include <vector>

// What a look file holds, or why it cannot be used.
struct LookReading {
    std::vector<ParamChange> values;   // in the file's order, in the table's encodings (ParamValues.h)
    std::string error;                 // empty when read; otherwise one line naming the fault
};

// The looks of a file's text. Any fault (not JSON, another effect's look, an unknown control, a value
// outside its valid range or of the wrong kind) gives an error and no values.
LookReading ParseLookText(std::string_view text);

// The same from a file; a file that cannot be read, or is larger than a look file can be (1 MiB), is an
// error naming the path. Errors start with "look file PATH".
LookReading LoadLookFile(const std::string& path);
