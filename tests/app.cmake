lumora_add_test(app_command_line_test QT
    SOURCES app/CommandLineTest.cpp
    LIBS lumora_app)
if(TARGET lumora)
    # The snapshot tests run the real program.
    add_dependencies(app_command_line_test lumora)
endif()

lumora_add_test(app_snapshot_modes_test QT
    SOURCES app/SnapshotModesTest.cpp
    LIBS lumora_app)
if(TARGET lumora)
    # The running application under Xvfb with a window manager and a tray host.
    add_test(NAME app_end_to_end
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run.sh $<TARGET_FILE:lumora>)
    set_tests_properties(app_end_to_end PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
    add_test(NAME app_end_to_end_without_tray
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run.sh $<TARGET_FILE:lumora> notray.sh)
    set_tests_properties(app_end_to_end_without_tray PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)

    # The bar on Wayland, each under a headless compositor the test starts, above another
    # window: a layer-shell surface on sway, an X11 window through XWayland on Mutter.
    add_executable(e2e_fullscreen_window e2e/FullscreenWindow.cpp)
    target_link_libraries(e2e_fullscreen_window PRIVATE Qt6::Gui)
    # The close button is clicked through a virtual pointer where wlroots offers one.
    find_package(PkgConfig REQUIRED)
    find_program(LUMORA_WAYLAND_SCANNER wayland-scanner)
    pkg_check_modules(E2E_WAYLAND_CLIENT QUIET IMPORTED_TARGET wayland-client)
    set(pointer_args "")
    if(LUMORA_WAYLAND_SCANNER AND TARGET PkgConfig::E2E_WAYLAND_CLIENT)
        set(pointer_xml ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wlr-virtual-pointer-unstable-v1.xml)
        set(pointer_gen ${CMAKE_CURRENT_BINARY_DIR}/wayland-wlr-virtual-pointer-unstable-v1)
        add_custom_command(OUTPUT ${pointer_gen}-client-protocol.h ${pointer_gen}-protocol.c
            COMMAND ${LUMORA_WAYLAND_SCANNER} client-header ${pointer_xml} ${pointer_gen}-client-protocol.h
            COMMAND ${LUMORA_WAYLAND_SCANNER} private-code ${pointer_xml} ${pointer_gen}-protocol.c
            DEPENDS ${pointer_xml})
        add_executable(e2e_virtual_pointer e2e/VirtualPointer.cpp ${pointer_gen}-protocol.c
                       ${pointer_gen}-client-protocol.h)
        target_include_directories(e2e_virtual_pointer PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
        target_link_libraries(e2e_virtual_pointer PRIVATE PkgConfig::E2E_WAYLAND_CLIENT)
        set(pointer_args $<TARGET_FILE:e2e_virtual_pointer>)
    endif()
    add_test(NAME app_wayland_layer_shell_end_to_end
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/sway.sh $<TARGET_FILE:lumora>
                     $<TARGET_FILE:e2e_fullscreen_window> ${pointer_args})
    set_tests_properties(app_wayland_layer_shell_end_to_end PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77)
    add_test(NAME app_wayland_xwayland_end_to_end
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/mutter.sh $<TARGET_FILE:lumora>
                     $<TARGET_FILE:e2e_fullscreen_window>)
    set_tests_properties(app_wayland_xwayland_end_to_end PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77)
endif()

lumora_add_test(app_delegate_test QT
    SOURCES app/AppDelegateTest.cpp app/AppIconsTest.cpp
    LIBS lumora_app)

lumora_add_test(app_bar_output_choice_test QT
    SOURCES app/BarOutputChoiceTest.cpp
    LIBS lumora_app)

# The D-Bus interface and `lumora ctl`, each on a private bus the test starts.
lumora_add_test(app_control_test QT
    SOURCES app/ControlServiceTest.cpp app/ControlClientTest.cpp
    LIBS lumora_app)
if(TARGET lumora)
    add_dependencies(app_control_test lumora)

    # The running application scripted through lumora ctl, under Xvfb on a private bus.
    add_test(NAME app_control_end_to_end
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run.sh $<TARGET_FILE:lumora> control.sh)
    set_tests_properties(app_control_end_to_end PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endif()

lumora_add_test(app_touch_bar_duty_test QT
    SOURCES app/TouchBarDutyTest.cpp
    LIBS lumora_app)

# The tray on panels that show StatusNotifierItems: the real program on a private bus and its
# own Xvfb, with a stand-in panel. One case at a time: an Xvfb that tries a display number
# while another takes it can leave the other's display unreachable after it has answered.
lumora_add_test(app_tray_over_dbus_test QT RESOURCE_LOCK xvfb_displayfd
    SOURCES app/TrayOverDBusTest.cpp
    LIBS lumora_app)
if(TARGET lumora)
    add_dependencies(app_tray_over_dbus_test lumora)
endif()
# Which Qt platform the bar's window needs on Wayland, decided before the application starts.
lumora_add_test(app_session_platform_test QT
    SOURCES app/SessionPlatformTest.cpp
    LIBS lumora_app)
