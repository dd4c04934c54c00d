// One fuzz input, played as a hostile host: the bytes choose layers, control values, host settings,
// failing host calls and a short program of commands, which the plug-in module receives through the host
// simulator. After every command the harness checks what a host can check (every suite released, every
// parameter checked in, every drawing object given back, a clean command succeeding), and at the end a
// plain frame must still render exactly as in a fresh process. A broken rule aborts the process, which
// both libFuzzer and the corpus replay report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Loads the module once per process (path: QF_MODULE_PATH, or the environment's QF_FUZZ_MODULE) and
// renders the reference frame. Safe to call more than once.
void FuzzSetUp();

// Plays one input. Returns 0; aborts on a broken rule.
int FuzzOneInput(const std::uint8_t* data, std::size_t size);

// What the last input did, in a few words per step (for the replay's report and for debugging).
const std::string& FuzzTrace();
