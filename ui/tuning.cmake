# The tuning panel of the settings page and its small controls.
target_sources(lumora_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/TuningPanel.h ${CMAKE_CURRENT_LIST_DIR}/TuningPanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SliderRow.h ${CMAKE_CURRENT_LIST_DIR}/SliderRow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ColorSwatch.h ${CMAKE_CURRENT_LIST_DIR}/ColorSwatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ColorWell.h ${CMAKE_CURRENT_LIST_DIR}/ColorWell.cpp)
