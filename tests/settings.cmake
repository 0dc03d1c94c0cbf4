lumora_add_test(settings_tests QT
    SOURCES
        settings/SettingsLoadTest.cpp
        settings/SettingsAssignmentTest.cpp
        settings/PresetJsonTest.cpp
        settings/PresetOperationsTest.cpp
    LIBS lumora_settings)
