// A started effect instance in the host simulator, for the host-facing tests.
#pragma once

#include "HostSim.h"
#include "ParamTable.h"

#include <gtest/gtest.h>

class PluginHost : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.Start(), PF_Err_NONE); }

    HostSim host{QF_MODULE_PATH};
};
