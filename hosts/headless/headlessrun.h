// Headless runs: frames rendered to PNG files, benchmarks, trace replays and
// the resource dump, drawn through the saver path with no window.
#pragma once

#include "hosts/common/commandline.h"

// Runs a headless render or benchmark; returns the exit code.
int runHeadless(const HeadlessRun &run);
