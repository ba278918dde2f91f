# The Windows build: Skarvel.dll, cross-built with MinGW-w64.
enable_language(RC)

# Orbiter's functions are imported from the host executable under the decorated names it
# exports them by, which differ between x86 and x64: one .def file per architecture names them.
# ORBITER_ABI_TARGET is the Microsoft-ABI target whose decorated names the tests derive.
# SKARVEL_WINE_ARCH names the Wine loader that runs this build's programs.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(ORBITER_ARCH x64)
    set(ORBITER_ABI_TARGET x86_64-pc-windows-msvc)
    set(SKARVEL_WINE_ARCH x64)
else()
    set(ORBITER_ARCH x86)
    set(ORBITER_ABI_TARGET i686-pc-windows-msvc)
    set(SKARVEL_WINE_ARCH i686)
endif()
set(ORBITER_DEF ${CMAKE_SOURCE_DIR}/platform/orbiter-${ORBITER_ARCH}.def)
set(ORBITER_IMPORT_LIB ${CMAKE_BINARY_DIR}/liborbiter.a)
add_custom_command(
    OUTPUT ${ORBITER_IMPORT_LIB}
    COMMAND ${MINGW_PREFIX}-dlltool -d ${ORBITER_DEF} -l ${ORBITER_IMPORT_LIB}
    DEPENDS ${ORBITER_DEF}
    COMMENT "Making the import library for orbiter.exe")
add_custom_target(orbiter_import DEPENDS ${ORBITER_IMPORT_LIB})

# The version resource carries the project's version.
configure_file(resources/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)

add_library(Skarvel SHARED
    ${MODULE_SOURCES}
    platform/win32/win32_platform.cpp
    platform/win32/win32_paths.cpp
    platform/win32/dll_main.cpp
    frame/exports.def
    resources/skarvel.rc
    ${CMAKE_BINARY_DIR}/version.rc)
add_dependencies(Skarvel orbiter_import)
target_include_directories(Skarvel PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(Skarvel PRIVATE -fno-exceptions -fno-rtti)
set_target_properties(Skarvel PROPERTIES PREFIX "" OUTPUT_NAME Skarvel)
# The run-time is linked in, so the DLL needs nothing but Windows and Orbiter. No link time in
# the PE header, so that the same sources give the same bytes.
target_link_options(Skarvel PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
target_link_libraries(Skarvel PRIVATE ${ORBITER_IMPORT_LIB})

add_test(NAME dll_exports_exactly_the_entry_points
    COMMAND ${CMAKE_SOURCE_DIR}/tests/dll/check_dll_tables.sh ${MINGW_PREFIX}-objdump $<TARGET_FILE:Skarvel>)

# The DLL imports from orbiter.exe and Windows' own DLLs only, and from orbiter.exe exactly
# the decorated names that Orbiter's declarations give.
add_test(NAME dll_imports_orbiter_by_decorated_name
    COMMAND ${CMAKE_SOURCE_DIR}/tests/dll/check_dll_imports.sh ${MINGW_PREFIX}-objdump
            ${ORBITER_ABI_TARGET} $<TARGET_FILE:Skarvel>)

# The DLL carries exactly the dialog templates compiled from the resource script.
add_test(NAME dll_carries_the_dialog_templates
    COMMAND ${CMAKE_SOURCE_DIR}/tests/dll/check_dll_resources.sh ${CMAKE_RC_COMPILER}
            $<TARGET_FILE:Skarvel> ${CMAKE_SOURCE_DIR}/resources/skarvel.rc)

include(cmake/package.cmake)

# The commands of README.md and docs/*.md, run as they stand in a fresh clone of HEAD, as a new
# user runs them: each must end with 0, the demo must print the trace shown, the package must
# leave its zip and print its sha256; the presets they build and test must be the test command's
# steps. Only the 32-bit build runs it, since the package needs its cross compiler.
if(ORBITER_ARCH STREQUAL "x86")
    add_test(NAME doc_commands_work_in_a_fresh_clone
        COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/docs/check_doc_commands.py)
    set_tests_properties(doc_commands_work_in_a_fresh_clone PROPERTIES TIMEOUT 900)
endif()

# Test equipment under Wine: the Win32 test host orbiter.exe, which exports Orbiter's functions
# under Orbiter's decorated names, and nothing else. It is built into tests/win32-host, where the
# Wine scripts and the trial's tests have always found it.
add_subdirectory(testbed)
add_subdirectory(testbed/hosts/win32 tests/win32-host)
add_test(NAME test_host_exports_orbiter_decorated_names
    COMMAND ${CMAKE_SOURCE_DIR}/tests/dll/check_dll_imports.sh --host-exports
            ${MINGW_PREFIX}-objdump ${ORBITER_ABI_TARGET} $<TARGET_FILE:orbiter>)

# Tests under Wine, which share one Wine prefix per build folder and run Wine's loader for
# this build's architecture.
set(SKARVEL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
add_subdirectory(tests/win32-unit)
add_test(NAME e2e_table_under_wine
    COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/run-e2e.sh ${SKARVEL_WINE_ARCH} $<TARGET_FILE:orbiter>
            $<TARGET_FILE:Skarvel> ${SKARVEL_WINE_PREFIX})
set_tests_properties(e2e_table_under_wine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)
add_test(NAME usage_dialog_under_wine
    COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/with-wine.sh ${SKARVEL_WINE_ARCH} ${SKARVEL_WINE_PREFIX}
            ${CMAKE_SOURCE_DIR}/tests/wine/check-usage-dialog.sh $<TARGET_FILE:orbiter> $<TARGET_FILE:Skarvel>
            ${CMAKE_BINARY_DIR}/usage-dialog.png)
set_tests_properties(usage_dialog_under_wine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
# The add-on zip installed into a scratch Orbiter folder and run there by the test host, which
# loads it from Modules\Plugin; and with the plain-names host, which must fail to load it.
add_test(NAME install_from_zip_under_wine
    COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/with-wine.sh ${SKARVEL_WINE_ARCH} ${SKARVEL_WINE_PREFIX}
            ${CMAKE_SOURCE_DIR}/tests/wine/check-install.sh ${PACKAGE_ZIP} $<TARGET_FILE:orbiter>
            $<TARGET_FILE:orbiter_plain_names> ${MINGW_PREFIX}-objdump ${ORBITER_ABI_TARGET})
set_tests_properties(install_from_zip_under_wine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
# scripts/try-in-orbiter.sh run against the test host laid out as an Orbiter folder: its reports,
# and the folder as it was and nothing left running, whatever way the run ends and whoever runs
# it. The trial makes its own display and Wine prefix. A hostile plug-in, ticked beside the module,
# runs a shell script from its DllMain: what it does must not outlive the sandbox.
add_library(hostile_plugin MODULE tests/trial/hostile_plugin.cpp)
target_link_options(hostile_plugin PRIVATE -static)
add_test(NAME try_in_orbiter_under_wine
    COMMAND python3 -P ${CMAKE_SOURCE_DIR}/tests/trial/wine_cases.py ${SKARVEL_WINE_ARCH}
            $<TARGET_FILE:orbiter> ${PACKAGE_ZIP} $<TARGET_FILE:hostile_plugin>)
set_tests_properties(try_in_orbiter_under_wine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900)

# On a kernel that runs no 32-bit programs every test above that runs under Wine must skip, and
# say why; SKARVEL_NO_32_BIT=1 takes that path here, whatever this machine's kernel.
if(ORBITER_ARCH STREQUAL "x86")
    add_test(NAME i686_wine_tests_skip_without_32_bit
        COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/setup/check_no_32_bit_skips.py ${CMAKE_BINARY_DIR})
endif()
