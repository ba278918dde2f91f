# The Windows build: Skarvel.dll, cross-built with MinGW-w64.
enable_language(RC)

# Orbiter's functions are imported from the host executable through an import library
# made from the one .def file that names them.
set(ORBITER_IMPORT_LIB ${CMAKE_BINARY_DIR}/liborbiter.a)
add_custom_command(
    OUTPUT ${ORBITER_IMPORT_LIB}
    COMMAND ${MINGW_PREFIX}-dlltool -d ${CMAKE_SOURCE_DIR}/platform/orbiter.def -l ${ORBITER_IMPORT_LIB}
    DEPENDS ${CMAKE_SOURCE_DIR}/platform/orbiter.def
    COMMENT "Making the import library for orbiter.exe")
add_custom_target(orbiter_import DEPENDS ${ORBITER_IMPORT_LIB})

add_library(Skarvel SHARED
    ${MODULE_SOURCES}
    platform/win32/win32_platform.cpp
    platform/win32/dll_main.cpp
    frame/exports.def
    resources/skarvel.rc
    resources/version.rc)
add_dependencies(Skarvel orbiter_import)
target_include_directories(Skarvel PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(Skarvel PRIVATE -fno-exceptions -fno-rtti)
set_target_properties(Skarvel PROPERTIES PREFIX "" OUTPUT_NAME Skarvel)
# The run-time is linked in, so the DLL needs nothing but Windows and Orbiter.
target_link_options(Skarvel PRIVATE -static -static-libgcc -static-libstdc++)
target_link_libraries(Skarvel PRIVATE ${ORBITER_IMPORT_LIB})

add_test(NAME dll_exports_exactly_the_entry_points
    COMMAND ${CMAKE_SOURCE_DIR}/tests/dll/check_dll_tables.sh ${MINGW_PREFIX}-objdump $<TARGET_FILE:Skarvel>)
