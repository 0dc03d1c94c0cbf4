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
