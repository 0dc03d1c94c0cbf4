lumora_add_test(ui_tuning_panel_test QT
    SOURCES ui/TuningPanelTest.cpp
    LIBS lumora_ui)
lumora_add_test(ui_control_ranges_test QT
    SOURCES ui/ControlRangesTest.cpp
    LIBS lumora_ui)
