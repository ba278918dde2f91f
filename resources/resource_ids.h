/* The module's dialog templates, shared by the resource script and the code. */
#pragma once

#define IDD_TRIGGER 101 /* the tiny, empty dialog whose procedure presses a launchpad button */
#define IDD_USAGE 102   /* the dialog that shows the command-line syntax */
