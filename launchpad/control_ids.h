/* The identifiers of Orbiter's launchpad controls that the module drives. Plain defines, so
   that resource scripts can include this header as the code does. */
#pragma once

#define IDC_LAUNCH 1000        /* launch button, on the launchpad */
#define IDC_EXIT 1001          /* exit button, on the launchpad */
#define IDC_SCENARIO_TREE 1088 /* scenario tree-view, on the page window */
#define IDC_START_PAUSED 1090  /* start-paused check box, on the page window */
