# The window against a host that writes random values into every setting
# while the analysis runs: vx_scribbler is that host, in its own process.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(vx_scribbler ${CMAKE_CURRENT_LIST_DIR}/Scribbler.cpp)
target_link_libraries(vx_scribbler PRIVATE vx_hostlink)
set_target_properties(vx_scribbler PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

vx_add_test(vx_window_robustness_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/WindowRobustnessTest.cpp
    LIBS vx_ui Qt6::Test
    LABELS threads)
target_compile_definitions(vx_window_robustness_test PRIVATE
    VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VX_SCRIBBLER_PATH="$<TARGET_FILE:vx_scribbler>")
add_dependencies(vx_window_robustness_test vx_scribbler)
