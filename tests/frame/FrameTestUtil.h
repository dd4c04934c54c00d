// Parameter tables for the frame builder's tests: every control at its default from the parameter table,
// with setters for the cases that change one.
#pragma once

#include "ParamTable.h"
#include "WarpSettings.h"

#include <array>
#include <cmath>
#include <cstdint>

class Controls {
public:
    // Every value-carrying control at its default; the input, header, groups and map layer stay absent,
    // as they are in the table the render path builds.
    Controls()
    {
        for (int i = 0; i < PARAM_COUNT; ++i) {
            const ParamSpec& spec = PARAM_TABLE[i];
            PF_ParamDef& def = defs_[i];
            def.param_type = spec.type;
            switch (spec.type) {
            case PF_Param_FLOAT_SLIDER:
                def.u.fs_d.value = spec.dephault;
                break;
            case PF_Param_SLIDER:
            case PF_Param_POPUP:
            case PF_Param_CHECKBOX:
                def.u.sd.value = static_cast<std::int32_t>(spec.dephault);
                break;
            case PF_Param_ANGLE:
                def.u.ad.value = static_cast<PF_Fixed>(std::lround(spec.dephault * 65536.0));
                break;
            default:
                continue;
            }
            table_[i] = &def;
        }
    }
    Controls(const Controls&) = delete;
    Controls& operator=(const Controls&) = delete;

    Controls& Float(int index, double value)
    {
        defs_[index].u.fs_d.value = value;
        table_[index] = &defs_[index];
        return *this;
    }
    // Integer sliders, popups (1-based) and checkboxes.
    Controls& Int(int index, std::int32_t value)
    {
        defs_[index].u.sd.value = value;
        table_[index] = &defs_[index];
        return *this;
    }
    Controls& Angle(int index, double degrees)
    {
        defs_[index].u.ad.value = static_cast<PF_Fixed>(std::lround(degrees * 65536.0));
        table_[index] = &defs_[index];
        return *this;
    }
    Controls& Absent(int index)
    {
        table_[index] = nullptr;
        return *this;
    }

    const ParamTable& Table() const { return table_; }
    WarpSettings Read(double layer_scale = 1.0) const { return ReadSettings(table_, layer_scale); }

private:
    std::array<PF_ParamDef, PARAM_COUNT> defs_{};
    ParamTable table_{};
};
