# The settings page: its sections, cards, previews and small controls.
target_sources(lumora_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/SettingsView.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PageContent.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AdaptiveGridLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EffectCard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EffectPreview.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EffectsPanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NamingPopover.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PresetChip.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PresetsPanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Switch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SnapshotPart.h
)
