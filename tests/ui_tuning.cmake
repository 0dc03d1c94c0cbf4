lumora_add_test(ui_tuning_panel_test QT
    SOURCES ui/TuningPanelTest.cpp
    LIBS lumora_ui)
