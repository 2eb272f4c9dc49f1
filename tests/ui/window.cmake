# The main window, under Qt's offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Test)
vx_add_test(vx_window_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/WindowCommandsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowFadersTest.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowDisplaysTest.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowSyncTest.cpp ${CMAKE_CURRENT_LIST_DIR}/WindowLayoutTest.cpp
    LIBS vx_ui Qt6::Test)
target_compile_definitions(vx_window_test PRIVATE VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
