lumora_add_test(engine_tests
    SOURCES
        engine/CatalogueTest.cpp
        engine/ColorTest.cpp
        engine/RendererTest.cpp
        engine/FixedMaterialTest.cpp
    LIBS lumora_engine)
