# The files that describe Lumora to desktops, software centres and man.
if(TARGET lumora)
    add_test(NAME package_metadata
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package/metadata.sh ${PROJECT_SOURCE_DIR}
                     $<TARGET_FILE:lumora> ${PROJECT_VERSION})
    set_tests_properties(package_metadata PROPERTIES TIMEOUT 60 SKIP_RETURN_CODE 77)
endif()

