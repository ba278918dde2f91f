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

# The simulated desktop and Orbiter host: the platform back end for Linux.
set(SIM_SOURCES
    sim/desktop.cpp
    sim/dialog_template.cpp
    sim/host/date_to_int.cpp
    sim/host/module_list.cpp
    sim/host/scenario_entries.cpp
    sim/host/simulation_session.cpp
    sim/launchpad_window.cpp
    sim/module_image.cpp
    sim/orbiter_api.cpp
    sim/orbiter_run.cpp
    sim/sim_files.cpp
    sim/sim_platform.cpp
    sim/windows_path.cpp)
list(TRANSFORM SIM_SOURCES PREPEND "${SKARVEL_ROOT}/")
