lumora_add_test(platform_glyph_rasterizer QT
    SOURCES platform/QtGlyphRasterizerTest.cpp
    LIBS lumora_platform)
lumora_add_test(platform_login_item_test QT
    SOURCES platform/LoginItemTest.cpp
    LIBS lumora_platform)
lumora_add_test(platform_color_scheme_test
    SOURCES platform/ColorSchemeTest.cpp
    LIBS lumora_platform)
lumora_add_test(platform_wake_monitor_test QT
    SOURCES platform/WakeMonitorTest.cpp
    LIBS lumora_platform)
lumora_add_test(platform_single_instance_test QT
    SOURCES platform/SingleInstanceTest.cpp
    LIBS lumora_platform)

add_executable(single_instance_host platform/SingleInstanceHost.cpp)
target_link_libraries(single_instance_host PRIVATE lumora_platform)
target_include_directories(single_instance_host PRIVATE ${PROJECT_SOURCE_DIR})
add_dependencies(platform_single_instance_test single_instance_host)
target_compile_definitions(platform_single_instance_test PRIVATE
    SINGLE_INSTANCE_HOST="$<TARGET_FILE:single_instance_host>")
