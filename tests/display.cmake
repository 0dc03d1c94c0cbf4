lumora_add_test(display_effect_view_test QT
    SOURCES display/EffectViewTest.cpp
    LIBS lumora_display)
