lumora_add_test(ui_settings_view QT
    SOURCES ui/SettingsViewTest.cpp
    LIBS lumora_ui)
lumora_add_test(ui_presets_panel QT
    SOURCES ui/PresetsPanelTest.cpp
    LIBS lumora_ui)
