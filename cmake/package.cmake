# The add-on package: a zip laid out like Orbiter's folder, packed from this build's DLL. The
# 32-bit one is what scripts/package.sh releases; a 64-bit build packs one for its install test
# only, named so, since no Orbiter with the launchpad the module drives runs on x64.
if(ORBITER_ARCH STREQUAL "x86")
    set(PACKAGE_ZIP ${CMAKE_BINARY_DIR}/Skarvel-${PROJECT_VERSION}.zip)
else()
    set(PACKAGE_ZIP ${CMAKE_BINARY_DIR}/Skarvel-${PROJECT_VERSION}-x64-test-only.zip)
endif()
add_custom_command(
    OUTPUT ${PACKAGE_ZIP}
    COMMAND ${CMAKE_SOURCE_DIR}/cmake/pack-zip.sh ${MINGW_PREFIX}-strip ${PROJECT_VERSION}
            $<TARGET_FILE:Skarvel> ${PACKAGE_ZIP}
    DEPENDS Skarvel $<TARGET_FILE:Skarvel> ${CMAKE_SOURCE_DIR}/cmake/pack-zip.sh
            ${CMAKE_SOURCE_DIR}/docs/Skarvel.txt ${CMAKE_SOURCE_DIR}/LICENSE
    COMMENT "Packing the add-on zip ${PACKAGE_ZIP}")
add_custom_target(package_zip ALL DEPENDS ${PACKAGE_ZIP})

# Packing the same DLL twice, a second apart, gives the same bytes: no clock time gets in.
add_test(NAME package_zip_is_reproducible
    COMMAND bash -c "\"$0\" \"$1\" \"$2\" \"$3\" \"$4/first.zip\" && sleep 1 &&
                     \"$0\" \"$1\" \"$2\" \"$3\" \"$4/second.zip\" && cmp \"$4/first.zip\" \"$4/second.zip\" &&
                     echo ok: two packings gave the same bytes"
            ${CMAKE_SOURCE_DIR}/cmake/pack-zip.sh ${MINGW_PREFIX}-strip ${PROJECT_VERSION}
            $<TARGET_FILE:Skarvel> ${CMAKE_BINARY_DIR}/Testing/reproducible-zip)
