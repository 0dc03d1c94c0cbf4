lumora_add_test(engine_tests
    SOURCES
        engine/ValuesTest.cpp
        engine/RendererTest.cpp
        engine/FixedMaterialTest.cpp
        engine/EffectPixelsTest.cpp
        engine/FastMatchesReferenceTest.cpp
    LIBS lumora_engine lumora_reference)
