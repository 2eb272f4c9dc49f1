# The raster canvas, the three displays, the display refresh and the main
# window's state and handlers: plain C++, drawn into pixel buffers that a
# toolkit's paint boxes show.
add_library(vx_ui_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Canvas.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DisplayText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Displays.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DisplayRefresh.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundApp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundFaders.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundLifecycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundSegment.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VxSoundVisual.cpp
)
target_include_directories(vx_ui_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vx_ui_core PUBLIC vx_analysis vx_capture_core vx_capture_state vx_hostlink vx_hostsync vx_settings
    vx_platform)

# The spectrum bars' picture, beside the program.
set(VX_AUDIOLEVEL_BMP ${CMAKE_SOURCE_DIR}/Source-Images/Glyphs/AudioLevel.bmp)
add_custom_command(
    OUTPUT ${VX_BIN_DIR}/Source-Images/Glyphs/AudioLevel.bmp
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VX_AUDIOLEVEL_BMP} ${VX_BIN_DIR}/Source-Images/Glyphs/AudioLevel.bmp
    DEPENDS ${VX_AUDIOLEVEL_BMP}
    COMMENT "Copying AudioLevel.bmp into the program folder")
add_custom_target(vx_ui_pictures ALL DEPENDS ${VX_BIN_DIR}/Source-Images/Glyphs/AudioLevel.bmp)
add_dependencies(vx_ui_core vx_ui_pictures)
