lumora_add_test(app_command_line_test QT
    SOURCES app/CommandLineTest.cpp
    LIBS lumora_app)
if(TARGET lumora)
    # The snapshot tests run the real program.
    add_dependencies(app_command_line_test lumora)
endif()
