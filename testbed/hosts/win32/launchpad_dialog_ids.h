// Resource identifiers of the host's own launchpad templates (launchpad_dialog.rc).
#pragma once

#define IDD_LAUNCHPAD 201
#define IDD_SCENARIO_PAGE 202
