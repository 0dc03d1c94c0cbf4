lumora_add_test(display_effect_view_test QT
    SOURCES display/EffectViewTest.cpp display/FrameTickerTest.cpp
    LIBS lumora_display)
lumora_add_test(display_touch_bar_presenter_test QT
    SOURCES display/TouchBarPresenterTest.cpp
    LIBS lumora_display)
lumora_add_test(display_drm_core_test
    SOURCES display/DrmCoreTest.cpp
    LIBS lumora_drm)
lumora_add_test(display_touch_map_test
    SOURCES display/TouchMapTest.cpp
    LIBS lumora_display)
lumora_add_test(display_drm_bar_output_test QT
    SOURCES display/DrmBarOutputTest.cpp
    LIBS lumora_display)
lumora_add_test(display_panel_composer_test
    SOURCES display/PanelComposerTest.cpp
    LIBS lumora_panel_composer lumora_engine)
