# The window against a host that cuts the segment short or replaces it.
vx_add_test(vx_window_segment_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/WindowSegmentTest.cpp
    LIBS vx_ui Qt6::Test
    LABELS threads)
target_compile_definitions(vx_window_segment_test PRIVATE VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
