// The start-up sequence that InitModule runs.
#pragma once

#include "platform/platform.h"

// Runs the five phases in their fixed order: reset the flags, locate the launchpad,
// read the command line, stage the scenario, open the dialog that the outcome calls for.
void RunStartUp(InstanceHandle instance);
