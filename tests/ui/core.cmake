vx_add_test(vx_ui_canvas_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CanvasTest.cpp
    LIBS vx_ui_core)

vx_add_test(vx_ui_displays_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/DisplaysTest.cpp
    LIBS vx_ui_core)

vx_add_test(vx_ui_refresh_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/DisplayRefreshTest.cpp
    LIBS vx_ui_core)

vx_add_test(vx_ui_paintbox_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/PaintBoxTest.cpp
    LIBS vx_ui_widgets)
# The test sets QT_QPA_PLATFORM=offscreen itself.
target_compile_definitions(vx_ui_paintbox_test PRIVATE VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
