# The window and the programs against a sound server that stops answering;
# the test runs a sound server of its own.
vx_add_test(vx_sound_server_stall_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SoundServerStallTest.cpp
    LIBS vx_ui Qt6::Test
    LABELS pulse)
target_compile_definitions(vx_sound_server_stall_test PRIVATE VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VXSOUND_PATH="$<TARGET_FILE:vxsound>" VXPROBE_PATH="$<TARGET_FILE:vxsound-probe>")
add_dependencies(vx_sound_server_stall_test vxsound vxsound-probe)
