# The Debian package and the files that describe Lumora to desktops and software centres.
if(TARGET lumora)
    add_test(NAME package_metadata
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/metadata.sh ${PROJECT_SOURCE_DIR}
                     $<TARGET_FILE:lumora> ${PROJECT_VERSION})
    set_tests_properties(package_metadata PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77)
endif()

# A whole dpkg-buildpackage, only with LUMORA_PACKAGE_TEST=1 (CI sets it). It has both cores
# to itself: it is the slowest test, and beside it the timed end-to-end runs would starve.
add_test(NAME package_build
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/build_package.sh ${PROJECT_SOURCE_DIR}
                 ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(package_build PROPERTIES TIMEOUT 1200 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
