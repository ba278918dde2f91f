# The module's source list, shared by the main build and by the fuzz and benchmark projects, so
# that all of them compile exactly what the product and the unit tests compile; the testbed's
# libraries are in testbed/CMakeLists.txt. Sets SKARVEL_ROOT and MODULE_SOURCES (absolute paths).
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

