lumora_add_test(ui_knob_interaction
    SOURCES ui/KnobInteractionTest.cpp
    LIBS lumora_ui)
lumora_add_test(ui_knob_widgets QT
    SOURCES ui/KnobWidgetTest.cpp
    LIBS lumora_ui)
