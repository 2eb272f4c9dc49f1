# Settings file: profile (INI) reader and writer and the analyzer's key table.
add_library(vx_settings STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ProfileFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsKeys.cpp
)
target_include_directories(vx_settings PUBLIC ${CMAKE_CURRENT_LIST_DIR})
