# The Linux build: Skarvel.so, the testbed's simulator, orbiter-sim and the tests.

option(SKARVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(SKARVEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# The module's logic, built once for Skarvel.so and the unit tests. Nothing of it is
# visible outside the shared object but the five entry points.
add_library(skarvel_core OBJECT ${MODULE_SOURCES})
target_include_directories(skarvel_core PUBLIC ${CMAKE_SOURCE_DIR})
set_target_properties(skarvel_core PROPERTIES
    POSITION_INDEPENDENT_CODE ON CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_compile_options(skarvel_core PRIVATE -fno-exceptions -fno-rtti)

include(cmake/embedded_resources.cmake)
add_subdirectory(testbed)

# Skarvel.so: the module, with the loader's attach and detach glue. The platform and
# Orbiter functions it calls stay undefined here; the host that loads it provides them.
add_library(Skarvel MODULE testbed/sim-platform/library_events.cpp)
target_link_libraries(Skarvel PRIVATE skarvel_core sim_module_image)
set_target_properties(Skarvel PROPERTIES PREFIX "" OUTPUT_NAME Skarvel
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_link_options(Skarvel PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/frame/exports.map)
set_property(TARGET Skarvel APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/frame/exports.map)
embed_resources(Skarvel)

# orbiter-sim exports its functions so that the module, once loaded, binds to them.
add_executable(orbiter-sim testbed/hosts/orbiter-sim/host_main.cpp)
target_link_libraries(orbiter-sim PRIVATE sim_platform sim_orbiter host_core)
set_target_properties(orbiter-sim PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(orbiter-sim Skarvel)

add_subdirectory(tests)
