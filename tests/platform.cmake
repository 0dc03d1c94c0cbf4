lumora_add_test(platform_glyph_rasterizer QT
    SOURCES platform/QtGlyphRasterizerTest.cpp
    LIBS lumora_platform)
