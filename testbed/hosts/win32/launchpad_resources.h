// Resource identifiers of the host's own launchpad templates (launchpad.rc).
#pragma once

#define IDD_LAUNCHPAD 201
#define IDD_SCENARIO_PAGE 202
