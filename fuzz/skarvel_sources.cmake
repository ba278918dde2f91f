# The module's sources and the simulated back end's, read from the main build so that the
# fuzz and benchmark projects compile exactly what the product and the unit tests compile.
#
# Sets SKARVEL_ROOT, SKARVEL_MODULE_SOURCES and SKARVEL_SIM_SOURCES (absolute paths).

get_filename_component(SKARVEL_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# Reads the source list that `pattern` captures in `file` into `variable`, as absolute paths.
function(skarvel_read_sources variable file pattern)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${SKARVEL_ROOT}/${file}")
    file(READ "${SKARVEL_ROOT}/${file}" text)
    string(REGEX MATCH "${pattern}" found "${text}")
    if(NOT found)
        message(FATAL_ERROR "Could not find the source list '${pattern}' in ${file}. "
            "If it moved, update fuzz/skarvel_sources.cmake to read it where it is now.")
    endif()
    string(REGEX REPLACE "[ \t\r\n]+" ";" names "${CMAKE_MATCH_1}")
    set(paths)
    foreach(name IN LISTS names)
        if(name)
            list(APPEND paths "${SKARVEL_ROOT}/${name}")
        endif()
    endforeach()
    set(${variable} ${paths} PARENT_SCOPE)
endfunction()

# MODULE_SOURCES in the top-level CMakeLists.txt; the sim_backend library in cmake/linux.cmake.
skarvel_read_sources(SKARVEL_MODULE_SOURCES CMakeLists.txt "set\\(MODULE_SOURCES([^)]*)\\)")
skarvel_read_sources(SKARVEL_SIM_SOURCES cmake/linux.cmake
    "add_library\\(sim_backend OBJECT([^)]*)\\)")
