# The displays, the paint box and the main window, under Qt's offscreen
# platform. The segment tests run the capture thread beside the window's
# ticks, so they run under ThreadSanitizer too.
find_package(Qt6 REQUIRED COMPONENTS Test)
vx_add_test(ui_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CanvasTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DisplaysTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/WindowCommandsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowLayoutTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/WindowSyncTest.cpp
    LIBS vx_ui Qt6::Test
    THREAD_TESTS "^WindowSegment[.]")
target_compile_definitions(ui_tests PRIVATE VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
