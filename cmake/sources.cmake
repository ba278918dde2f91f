# The source lists, shared by the main build and by the fuzz and benchmark projects, so that
# all of them compile exactly what the product and the unit tests compile.
# Sets SKARVEL_ROOT, MODULE_SOURCES and SIM_SOURCES (absolute paths).
get_filename_component(SKARVEL_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# The module's logic: the same sources for the Windows DLL and the Linux shared object.
set(MODULE_SOURCES
    frame/entry_points.cpp
    frame/load_glue.cpp
    frame/module_state.cpp
    frame/start_up.cpp
    launchpad/locator.cpp
    launchpad/trigger_dialogs.cpp
    request/command_line.cpp
    request/launch_request.cpp)
list(TRANSFORM MODULE_SOURCES PREPEND "${SKARVEL_ROOT}/")

# The Linux back end of platform.h and the simulated Orbiter around it, which the unit tests,
# orbiter-sim and the fuzz and benchmark projects link: the simulated platform calls
# (testbed/sim-platform), the simulated desktop (testbed/desktop), what both hosts share (testbed/hosts/core) and the
# simulated Orbiter's functions and run (testbed/hosts/orbiter-sim). What they know of Orbiter's
# launchpad and trace lines is in headers only (testbed/orbiter-model).
set(SIM_SOURCES
    testbed/sim-platform/module_image.cpp
    testbed/sim-platform/sim_files.cpp
    testbed/sim-platform/sim_platform.cpp
    testbed/sim-platform/windows_path.cpp
    testbed/desktop/desktop.cpp
    testbed/desktop/dialog_template.cpp
    testbed/desktop/launchpad_window.cpp
    testbed/hosts/core/date_to_int.cpp
    testbed/hosts/core/module_list.cpp
    testbed/hosts/core/orbiter_session.cpp
    testbed/hosts/core/scenario_entries.cpp
    testbed/hosts/core/simulation_session.cpp
    testbed/hosts/orbiter-sim/orbiter_api.cpp
    testbed/hosts/orbiter-sim/orbiter_run.cpp)
list(TRANSFORM SIM_SOURCES PREPEND "${SKARVEL_ROOT}/")
