// What touching a control does to the others, on plain values: choosing a look writes its thirteen
// controls, touching one of them by hand turns the Preset menu to "Custom", and Loop Duration is greyed
// while Loop is off. Hosts apply the changes to their own records.
#pragma once

#include "ParamValues.h"
#include "Presets.h"

#include <array>
#include <iterator>

// One control to write.
struct ParamChange {
    int index;
    ParamValue value;
};

// The writes one edit calls for, in the order to make them. A fixed capacity: a look writes the most.
struct ParamChanges {
    std::array<ParamChange, std::size(PRESET_CONTROLLED_PARAMS)> items{};
    int count = 0;

    const ParamChange* begin() const { return items.data(); }
    const ParamChange* end() const { return items.data() + count; }
    void Add(int index, ParamValue value) { items[static_cast<std::size_t>(count++)] = ParamChange{index, value}; }
};

// The user changed control `index`; `values` are the controls as they are now (the new value included).
// Choosing a look (Preset 2 to 15) writes its thirteen controls, Wave Size fitted to the layer
// (layer_scale, LayerScale.h) when Scale With Layer is off and at least 2; touching one of those thirteen
// turns a Preset that is not "Custom" to "Custom". Anything else, "Custom" itself included, changes
// nothing.
ParamChanges ChangesAfterEdit(int index, const ParamValues& values, double layer_scale);

// Whether Loop Duration is shown greyed: while Loop is off.
bool LoopDurationGreyed(const ParamValues& values);
