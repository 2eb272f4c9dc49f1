# The raster canvas, the three displays and the display refresh: plain C++,
# drawn into pixel buffers that the paint boxes show.
add_library(vx_ui_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Canvas.cpp
)
target_include_directories(vx_ui_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
