lumora_add_test(settings_tests QT
    SOURCES
        settings/SettingsLoadTest.cpp
        settings/SettingsAssignmentTest.cpp
        settings/SettingsHardeningTest.cpp
        settings/PresetJsonTest.cpp
        settings/PresetOperationsTest.cpp
        settings/PresetFileTest.cpp
        settings/SettingsReloadTest.cpp
    LIBS lumora_settings)

# A second process on the same settings file.
add_executable(settings_preset_writer settings/PresetWriter.cpp)
target_link_libraries(settings_preset_writer PRIVATE lumora_settings)
target_include_directories(settings_preset_writer PRIVATE ${PROJECT_SOURCE_DIR})
add_dependencies(settings_tests settings_preset_writer)
target_compile_definitions(settings_tests PRIVATE
    PRESET_WRITER="$<TARGET_FILE:settings_preset_writer>")
