// Fault injection, call counting and launch recording shared by the stand-in GPU runtimes.
#pragma once

#include "FakeControl.h"

// Counts the call, logs its name and says whether it is to fail; on true, *status holds the status
// to report.
bool FakeCallFails(const char* call, int* status);

void FakeRecordLaunch(const QfFakeLaunch& launch);

// Defined by each runtime: forgets its own overrides and state on qf_fake_reset.
void FakeResetRuntime();
