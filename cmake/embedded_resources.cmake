# The dialog templates for Linux programs, compiled by windres from the resource script the
# Windows DLL is built from, so they are the templates the DLL carries. A module or program
# holds them in an ELF section named .rsrc, where the simulated Orbiter finds them through the
# module's instance, as Windows finds a DLL's resources. Needs SKARVEL_ROOT (cmake/sources.cmake).
find_program(SKARVEL_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres
    REQUIRED DOC "GNU windres, from Debian's binutils-mingw-w64-i686")
set(SKARVEL_RES ${CMAKE_BINARY_DIR}/skarvel.res)
add_custom_command(
    OUTPUT ${SKARVEL_RES}
    COMMAND ${SKARVEL_WINDRES} --preprocessor=cpp -i ${SKARVEL_ROOT}/resources/skarvel.rc
            -O res -o ${SKARVEL_RES}
    DEPENDS ${SKARVEL_ROOT}/resources/skarvel.rc ${SKARVEL_ROOT}/resources/resource_ids.h
    COMMENT "Compiling the dialog templates")
add_custom_target(skarvel_resources DEPENDS ${SKARVEL_RES})

# Adds the compiled templates to a linked module or program as its .rsrc section.
function(embed_resources target)
    add_dependencies(${target} skarvel_resources)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${SKARVEL_RES})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --add-section .rsrc=${SKARVEL_RES}
                --set-section-flags .rsrc=noload,readonly $<TARGET_FILE:${target}>
        COMMENT "Embedding the dialog templates in ${target}")
endfunction()
