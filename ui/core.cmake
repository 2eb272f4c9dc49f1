# The raster canvas, the three displays and the display refresh: plain C++,
# drawn into pixel buffers that the paint boxes show.
add_library(vx_ui_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Canvas.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DisplayText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Displays.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DisplayRefresh.cpp
)
target_include_directories(vx_ui_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vx_ui_core PUBLIC vx_analysis vx_capture_state vx_hostlink)

# The spectrum bars' picture, beside the program.
set(VX_AUDIOLEVEL_BMP ${CMAKE_SOURCE_DIR}/Source-Images/Glyphs/AudioLevel.bmp)
add_custom_command(
    OUTPUT ${VX_BIN_DIR}/Source-Images/Glyphs/AudioLevel.bmp
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VX_AUDIOLEVEL_BMP} ${VX_BIN_DIR}/Source-Images/Glyphs/AudioLevel.bmp
    DEPENDS ${VX_AUDIOLEVEL_BMP}
    COMMENT "Copying AudioLevel.bmp into the program folder")
add_custom_target(vx_ui_pictures ALL DEPENDS ${VX_BIN_DIR}/Source-Images/Glyphs/AudioLevel.bmp)
add_dependencies(vx_ui_core vx_ui_pictures)
