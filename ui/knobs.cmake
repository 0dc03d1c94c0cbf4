# The knob controls: their drag rules, drawing, widgets and accessibility.
target_sources(lumora_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/KnobInteraction.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KnobFace.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Knob.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SynthKnob.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AngleKnob.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KnobAccessibility.cpp
)
